#include "graphics/IControl.h"

#include <cmath>

#include "framework/IPlugBase.h"

IControl::IControl(IPlugBase* plug, const IRect& rect, int paramIdx, IBlend blend)
    : mPlug(plug), mDrawRect(rect), mHitRect(rect), mParamIdx(paramIdx), mBlend(blend) {}

void IControl::MouseDoubleClick(int, int, const IModifierKeys&) {
    if (mDefaultValue >= 0.0) {
        mValue = mDefaultValue;
        MarkChanged(true);
    }
}

void IControl::ApplyPluginValue(double value) {
    if (mDefaultValue < 0.0)
        mDefaultValue = mValue = value;
    // NaN on either side never compares equal, so it is always replaced.
    if (!(mValue == value)) {
        mValue = value;
        MarkChanged(false);
        mRedrawAgain = true;
    }
}

void IControl::ApplyUserValue(double value) {
    if (!(mValue == value)) {
        mValue = value;
        MarkChanged(true);
        mRedrawAgain = true;
    }
}

void IControl::SetHidden(bool hidden) {
    mHidden = hidden;
    mRedrawAgain = true;
    MarkChanged(false);
}

void IControl::SetDisabled(bool disabled) {
    mDisabled = disabled;
    mBlend.weight = disabled ? 0.25f : 1.0f;
    MarkChanged(false);
}

bool IControl::Contains(int x, int y) const {
    if (mHitRect.Empty())
        return false;
    return x >= mHitRect.left && x < mHitRect.right && y >= mHitRect.top && y < mHitRect.bottom;
}

void IControl::MarkChanged(bool send) {
    mValue = mValue < mClampLow ? mClampLow : std::fmin(mClampHigh, mValue);
    mDirty = true;
    if (send && mParamIdx >= 0 && mPlug)
        mPlug->SetParameterFromEditor(mParamIdx, mValue);
}

void IControl::MarkDrawn() {
    mDirty = mRedrawAgain;
    mRedrawAgain = false;
}
