// Radix-4 real FFT in the manner of Ooura's fft4g: a complex transform of N/2
// points plus real post/pre-processing; owns its tables and work buffer.
// Prepared while a convolver is initialised; fft/ifft run on the audio thread.
#pragma once

#include <cstdint>
#include <vector>

#include "dsp/AudioFFTImpl.h"

namespace audiofft {

class OouraFFT final : public detail::AudioFFTImpl {
  public:
    OouraFFT() = default;

    void init(std::uint32_t size) override;
    void fft(const double* data, double* re, double* im) override;
    void ifft(double* data, const double* re, const double* im) override;

    std::uint32_t getSize() const { return size; }
    const std::vector<std::int32_t>& getBitReversalArea() const { return bitReversal; }
    const std::vector<double>& getTable() const { return table; }

  private:
    std::uint32_t size = 0;
    // Entry 0: twiddle count N/4, entry 1: cosine count N/4, from entry 2 on:
    // the reversal table that the bit-reversal permutation works from.
    std::vector<std::int32_t> bitReversal;
    // [0, N/4): twiddles of the complex passes, as N/8 (cos, sin) pairs in
    // bit-reversed order; [N/4, N/2): cosines of the real post/pre-processing.
    std::vector<double> table;
    std::vector<double> work;  // the interleaved working copy, N doubles
};

}  // namespace audiofft
