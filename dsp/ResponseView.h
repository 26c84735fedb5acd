// A response the convolvers load, read where it lies: samples in double
// precision, or in single precision (the reverb's responses, synthesised in
// single precision and held so at half the memory), widened as they are
// copied, with up to two ranges read as silence (taps a layout drops). Owns
// nothing; the samples must outlive every load from them.
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
        if (silent(i)) {
            return 0.0;
        }
        return wide ? wide[i] : static_cast<double>(narrow[i]);
    }
    // The response from sample `offset` on.
    ResponseView from(std::size_t offset) const {
        ResponseView v = *this;
        v.wide = wide ? wide + offset : nullptr;
        v.narrow = narrow ? narrow + offset : nullptr;
        for (Range& r : v.silences) {
            r.begin = r.begin > offset ? r.begin - offset : 0;
            r.end = r.end > offset ? r.end - offset : 0;
        }
        return v;
    }
    // The same response with samples [begin, end) read as silence; a view
    // holds two such ranges at most (later ones are ignored).
    ResponseView silencing(std::size_t begin, std::size_t end) const {
        ResponseView v = *this;
        for (Range& r : v.silences) {
            if (r.begin == r.end) {
                r = {begin, end};
                break;
            }
        }
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
        for (const Range& r : silences) {
            const std::size_t b = r.begin > offset ? r.begin : offset;
            const std::size_t e = r.end < offset + n ? r.end : offset + n;
            for (std::size_t i = b; i < e; ++i) {
                out[i - offset] = 0.0;
            }
        }
    }

  private:
    struct Range {
        std::size_t begin = 0, end = 0;
    };
    bool silent(std::size_t i) const {
        return (i >= silences[0].begin && i < silences[0].end) ||
               (i >= silences[1].begin && i < silences[1].end);
    }

    const double* wide = nullptr;
    const float* narrow = nullptr;
    Range silences[2];
};

}  // namespace fftconvolver
