// A response the convolvers load, read where it lies: samples in double
// precision, or in single precision (the reverb's responses, synthesised in
// single precision and held so at half the memory), widened as they are
// copied. Owns nothing; the samples must outlive every load from them.
#pragma once

#include <cstddef>
#include <cstring>

namespace fftconvolver {

class ResponseView {
  public:
    ResponseView() = default;
    ResponseView(const double* samples) : wide(samples) {}   // NOLINT: as a plain pointer
    ResponseView(const float* samples) : narrow(samples) {}  // NOLINT: as a plain pointer

    double operator[](std::size_t i) const {
        return wide ? wide[i] : static_cast<double>(narrow[i]);
    }
    // The response from sample `offset` on.
    ResponseView from(std::size_t offset) const {
        ResponseView v;
        v.wide = wide ? wide + offset : nullptr;
        v.narrow = narrow ? narrow + offset : nullptr;
        return v;
    }
    // Samples [offset, offset + n) into `out`.
    void copyTo(double* out, std::size_t offset, std::size_t n) const {
        if (wide) {
            std::memcpy(out, wide + offset, n * sizeof(double));
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                out[i] = static_cast<double>(narrow[offset + i]);
            }
        }
    }

  private:
    const double* wide = nullptr;
    const float* narrow = nullptr;
};

}  // namespace fftconvolver
