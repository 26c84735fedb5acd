// The real FFT a partitioned convolver owns: a handle holding one transform
// implementation (always OouraFFT), created and destroyed with the convolver.
// Prepared by the convolver's init/reset; fft/ifft run on the audio thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "dsp/AudioFFTImpl.h"

namespace audiofft {

class RealFFT {
  public:
    RealFFT();
    ~RealFFT();
    RealFFT(const RealFFT&) = delete;
    RealFFT& operator=(const RealFFT&) = delete;

    void init(std::uint32_t size) { impl->init(size); }
    void fft(const double* data, double* re, double* im) { impl->fft(data, re, im); }
    void ifft(double* data, const double* re, const double* im) { impl->ifft(data, re, im); }

    // Bins produced by a transform of `size` real samples.
    static std::size_t complexSize(std::size_t size) { return size / 2 + 1; }

  private:
    std::unique_ptr<detail::AudioFFTImpl> impl;
};

}  // namespace audiofft
