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

// The older-partition sum of a partitioned convolver in one pass: for each bin,
// (re + i*im) += a[i] * b[(first + i) mod count] for i = 1 .. count-1 in that
// order, each step exactly as multiplyAccumulate would do it. Working through
// the bins in short runs keeps the sum in registers across all partitions.
void multiplyAccumulateSeries(double* re, double* im, const double* const* reA,
                              const double* const* imA, const double* const* reB,
                              const double* const* imB, std::size_t count, std::size_t first,
                              std::size_t n);

// The same sum in slices of bins, for an owner that spreads it over time: each
// of the seriesSliceCount(n) slices covers its own bins across all partitions,
// exactly as multiplyAccumulateSeries does them, so the slices in any order
// give its result bit for bit.
std::size_t seriesSliceCount(std::size_t n);
void multiplyAccumulateSeriesSlice(double* re, double* im, const double* const* reA,
                                   const double* const* imA, const double* const* reB,
                                   const double* const* imB, std::size_t count, std::size_t first,
                                   std::size_t n, std::size_t slice);

}  // namespace fftconvolver
