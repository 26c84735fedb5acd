// Abstract real-FFT implementation: the transform a RealFFT handle forwards to.
// An implementation owns its tables and working memory; a partitioned convolver
// prepares it while being initialised and calls fft/ifft on the audio thread.
#pragma once

#include <cstdint>

namespace audiofft {
namespace detail {

class AudioFFTImpl {
  public:
    AudioFFTImpl() = default;
    virtual ~AudioFFTImpl() = default;
    AudioFFTImpl(const AudioFFTImpl&) = delete;
    AudioFFTImpl& operator=(const AudioFFTImpl&) = delete;

    // Prepares for transforms of `size` real samples: 0 or a power of two >= 2.
    virtual void init(std::uint32_t size) = 0;

    // Forward transform of size samples into size/2 + 1 bins in split form:
    // re[k] + i*im[k] = sum_j data[j] * exp(-2*pi*i*j*k/size); im[0] and
    // im[size/2] come out exactly 0. The bins may be written over the
    // samples (for sizes of 4 and more).
    virtual void fft(const double* data, double* re, double* im) = 0;

    // Inverse of fft, scaled by 1/size; im[0] and im[size/2] are not read.
    // The samples may be written over the bins.
    virtual void ifft(double* data, const double* re, const double* im) = 0;
};

}  // namespace detail
}  // namespace audiofft
