// A spectrum in split form: real and imaginary parts in two aligned buffers of
// `size` bins each. Owned by a partitioned convolver, sized while it is
// prepared, read and accumulated into on the audio thread.
#pragma once

#include <cstddef>

#include "dsp/Buffer.h"

namespace fftconvolver {

class SplitSpectrum {
  public:
    SplitSpectrum() = default;
    SplitSpectrum(const SplitSpectrum&) = delete;
    SplitSpectrum& operator=(const SplitSpectrum&) = delete;

    // Zero-filled; the storage only grows, as a Buffer's.
    void resize(std::size_t n) {
        real.resize(n);
        imag.resize(n);
        bins = n;
    }
    void reserve(std::size_t n) {
        real.reserve(n);
        imag.reserve(n);
    }
    void clear() {
        real.clear();
        imag.clear();
        bins = 0;
    }
    void zero() {
        real.zero();
        imag.zero();
    }
    void assignFrom(const SplitSpectrum& other) {
        real.assignFrom(other.real);
        imag.assignFrom(other.imag);
    }

    std::size_t size() const { return bins; }
    std::size_t heldBytes() const { return (real.capacity() + imag.capacity()) * sizeof(double); }
    double* re() { return real.data(); }
    const double* re() const { return real.data(); }
    double* im() { return imag.data(); }
    const double* im() const { return imag.data(); }

  private:
    std::size_t bins = 0;
    Buffer<double> real;
    Buffer<double> imag;
};

}  // namespace fftconvolver
