#include "tools/render-cli/LevelMeter.h"

#include <cmath>
#include <limits>

void LevelMeter::Add(const double* samples, long count) {
    for (long i = 0; i < count; ++i) {
        const double a = std::fabs(samples[i]);
        if (a > mPeak)
            mPeak = a;
        if (a > 1.0)
            ++mOver;
        const double y = a * a - mCarry;
        const double t = mSum + y;
        mCarry = (t - mSum) - y;
        mSum = t;
    }
    mCount += count;
}

double LevelMeter::Rms() const {
    return mCount > 0 ? std::sqrt(mSum / static_cast<double>(mCount)) : 0.0;
}

double ToDecibels(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}
