// Sample and spectrum arithmetic of the convolvers' inner loops: pure functions
// over caller-owned arrays, called on the audio thread, allocating nothing. The
// vector kernels (KernelChoice.h) use fused multiply-adds: only rounding differs.
#pragma once

#include <cstddef>

namespace fftconvolver {

// result[i] = a[i] + b[i]
void addSamples(double* result, const double* a, const double* b, std::size_t n);

// (re + i*im) += (reA + i*imA) * (reB + i*imB), bin by bin: the two products of
// each part are combined first and the accumulator is added last.
void multiplyAccumulate(double* re, double* im, const double* reA, const double* imA,
                        const double* reB, const double* imB, std::size_t n);

// Part of the older-partition sum of a partitioned convolver in one pass: for
// each bin, (re + i*im) += a[i] * b[(newest + i) mod count] for the partitions
// i = begin .. end-1 in that order, each step exactly as multiplyAccumulate
// would do it, so that a sum taken in consecutive ranges equals the sum taken
// at once. Short spectra are worked through in runs of bins that keep the sum
// in registers across all partitions.
void multiplyAccumulateSeries(double* re, double* im, const double* const* reA,
                              const double* const* imA, const double* const* reB,
                              const double* const* imB, std::size_t count, std::size_t newest,
                              std::size_t begin, std::size_t end, std::size_t n);

}  // namespace fftconvolver
