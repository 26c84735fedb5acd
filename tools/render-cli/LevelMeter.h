// Peak and RMS level of a stream of samples, fed block by block, plus the
// count of samples beyond full scale (|x| > 1). Owns only its sums.
#pragma once

#include <cstdint>

class LevelMeter {
  public:
    void Add(const double* samples, long count);

    double Peak() const { return mPeak; }
    double Rms() const;
    std::int64_t Samples() const { return mCount; }
    std::int64_t OverFullScale() const { return mOver; }

  private:
    double mPeak = 0.0;
    // Compensated sum of squares, so an hour of quiet audio after a loud
    // start still adds up.
    double mSum = 0.0;
    double mCarry = 0.0;
    std::int64_t mCount = 0;
    std::int64_t mOver = 0;
};

// 20 log10 of a linear level; minus infinity for silence.
double ToDecibels(double linear);
