#include "framework/IParameter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/TextUtil.h"

namespace {

// A double truncated toward zero as an int, saturating instead of the
// undefined conversion of values beyond the int range.
int TruncateToInt(double v) {
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0)
        return 2147483647;
    if (v <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int>(v);
}

}  // namespace

void IParameter::InitContinuous(const char* name, const char* label, double defaultValue,
                                double minimum, double maximum, double step, double shape) {
    if (mKind == kKindNone)
        mKind = kKindContinuous;
    CopyText(mName, sizeof(mName), name);
    CopyText(mLabel, sizeof(mLabel), label);
    mValue = defaultValue;
    mMinimum = minimum;
    mStep = step;
    mDefault = defaultValue;
    mMaximum = std::max(maximum, minimum + step);
    mDisplayPrecision = 0;
    double s = step;
    while (s != std::floor(s) && mDisplayPrecision < 6) {
        s *= 10.0;
        ++mDisplayPrecision;
    }
    if (shape != 0.0)
        mShape = shape;
}

void IParameter::SetFromNormalised(double normalised) {
    if (std::isnan(normalised))
        return;
    // The ends of the normalised line are the ends of the range. Infinity is
    // settled here rather than through the shape: pow(-inf, 2) is +inf, and
    // -inf would otherwise pass below the minimum, where a finite negative
    // value is allowed to land, and on into the engine.
    if (std::isinf(normalised)) {
        mValue = normalised > 0.0 ? mMaximum : mMinimum;
        return;
    }
    double v = std::pow(normalised, mShape) * (mMaximum - mMinimum) + mMinimum;
    if (mKind != kKindContinuous)
        v = std::floor(v / mStep + 0.5) * mStep;
    v = std::min(v, mMaximum);
    if (std::isfinite(v))
        mValue = v;
}

double IParameter::GetNormalised() const {
    const double v = mValue < mMinimum ? mMinimum : std::min(mValue, mMaximum);
    return std::pow((v - mMinimum) / (mMaximum - mMinimum), 1.0 / mShape);
}

void IParameter::SetClamped(double value) {
    if (std::isnan(value))
        return;
    mValue = value < mMinimum ? mMinimum : std::min(value, mMaximum);
}

const char* IParameter::DisplayTextFor(double value) const {
    const int key = TruncateToInt(value);
    for (const DisplayText& d : mDisplayTexts) {
        if (d.value == key)
            return d.text[0] ? d.text : nullptr;
    }
    return nullptr;
}

void IParameter::FormatForHost(double value, bool normalised, char* out, int outSize,
                               bool useDisplayTexts) const {
    if (!out || outSize <= 0)
        return;
    if (normalised)
        value = std::pow(value, mShape) * (mMaximum - mMinimum) + mMinimum;
    if (useDisplayTexts && !mDisplayTexts.empty()) {
        if (const char* text = DisplayTextFor(value)) {
            CopyText(out, static_cast<std::size_t>(outSize), text);
            return;
        }
    }
    if (mNegateDisplay)
        value = -value;
    char buf[64];
    if (mDisplayPrecision == 0) {
        std::snprintf(buf, sizeof(buf), "%d", TruncateToInt(value));
    } else {
        std::snprintf(buf, sizeof(buf), "%.*f", mDisplayPrecision, value);
    }
    CopyText(out, static_cast<std::size_t>(outSize), buf);
}

const char* IParameter::LabelForHost() const {
    if (!mDisplayTexts.empty() && DisplayTextFor(mValue))
        return "";
    return mLabel;
}

bool IParameter::MatchDisplayText(const char* text, int* valueOut) const {
    if (!text)
        return false;
    for (const DisplayText& d : mDisplayTexts) {
        if (std::strcmp(d.text, text) == 0) {
            if (valueOut)
                *valueOut = d.value;
            return true;
        }
    }
    return false;
}

bool IParameter::ValueFromText(const char* text, double* valueOut) const {
    if (!text || !valueOut)
        return false;
    if (!mDisplayTexts.empty()) {
        int v = 0;
        if (!MatchDisplayText(text, &v))
            return false;
        *valueOut = v;
        return true;
    }
    double v = std::strtod(text, nullptr);  // leading number; 0.0 when none
    if (mNegateDisplay)
        v = -v;
    *valueOut = v;
    return true;
}

void IParameter::AddDisplayText(int value, const char* text) {
    DisplayText d{};
    d.value = value;
    CopyText(d.text, sizeof(d.text), text);
    mDisplayTexts.push_back(d);
}
