// Independent references for the DSP tests: a direct time-domain convolution,
// seeded noise, and a driver that feeds a processor in calls of a given size.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

#include "dsp/KernelChoice.h"

namespace dsptest {

inline std::vector<double> noise(std::size_t n, unsigned seed, double amplitude = 1.0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-amplitude, amplitude);
    std::vector<double> v(n);
    for (double& x : v) {
        x = dist(rng);
    }
    return v;
}

// y[n] = sum_j x[j] * h[n - j] for n in [first, last); x is zero past its end.
inline std::vector<double> directConvolution(const std::vector<double>& x,
                                             const std::vector<double>& h, std::size_t first,
                                             std::size_t last) {
    std::vector<double> y(last - first, 0.0);
    if (h.empty() || x.empty()) {
        return y;
    }
    for (std::size_t n = first; n < last; ++n) {
        const std::size_t jMin = n + 1 > h.size() ? n + 1 - h.size() : 0;
        const std::size_t jMax = std::min(n, x.size() - 1);
        double sum = 0.0;
        for (std::size_t j = jMin; j <= jMax; ++j) {
            sum += x[j] * h[n - j];
        }
        y[n - first] = sum;
    }
    return y;
}

// Runs x through `processor` in calls of `chunk` samples (0: one call).
template <typename Processor>
std::vector<double> runInCalls(Processor& processor, const std::vector<double>& x,
                               std::size_t chunk) {
    std::vector<double> y(x.size(), 0.0);
    const std::size_t step = chunk == 0 ? std::max<std::size_t>(x.size(), 1) : chunk;
    for (std::size_t done = 0; done < x.size(); done += step) {
        const std::size_t n = std::min(step, x.size() - done);
        processor.process(x.data() + done, y.data() + done, n);
    }
    return y;
}

// Largest difference between `actual` (from index `offset`) and `expected`,
// relative to the largest magnitude in `expected`.
inline double relativeError(const std::vector<double>& actual, std::size_t offset,
                            const std::vector<double>& expected) {
    double err = 0.0;
    double peak = 0.0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        err = std::max(err, std::fabs(actual[offset + i] - expected[i]));
        peak = std::max(peak, std::fabs(expected[i]));
    }
    return peak > 0.0 ? err / peak : err;
}

// Runs check() with the plain kernels and again with the vector and the wide
// kernels where the processor has them, leaving the default (the widest
// available) behind.
template <typename Check>
void withEachKernelSet(Check check) {
    dspkernels::selectKernels(dspkernels::KernelChoice::Plain);
    check("plain kernels");
    if (dspkernels::selectKernels(dspkernels::KernelChoice::Vector)) {
        check("vector kernels");
    }
    if (dspkernels::selectKernels(dspkernels::KernelChoice::Wide)) {
        check("wide kernels");
    }
}

// A convolver with nothing to convolve (never set up, refused, or reset)
// writes silence over whatever its output held.
template <typename Convolver>
bool outputsSilence(Convolver& conv, const std::vector<double>& x) {
    std::vector<double> y(x.size(), 99.0);
    conv.process(x.data(), y.data(), y.size());
    return y == std::vector<double>(x.size(), 0.0);
}

}  // namespace dsptest
