// Sample and spectrum arithmetic of the convolvers' inner loops: pure functions
// over caller-owned arrays, called on the audio thread, allocating nothing. The
// vector kernels (KernelChoice.h) use fused multiply-adds: only rounding differs.
#pragma once

#include <cstddef>

namespace fftconvolver {

// result[i] = a[i] + b[i]
void addSamples(double* result, const double* a, const double* b, std::size_t n);

// The start of a block's convolution with the response's first taps, as the
// block arrives: out[p - from] = base[p] + (x[0] * h[p] + x[1] * h[p-1] +
// ... + x[p] * h[0]) for p in [from, to), reading x[0 .. to) and h[-kTapLead ..
// to + kTapLead), which must be zeros outside the taps. Each sum is taken in
// order of j, so an output is the same whichever calls the block arrives in;
// the vector kernels also add products of the zeros, which change nothing.
constexpr std::size_t kTapLead = 32;
void convolveBlockStart(double* out, const double* base, const double* x, const double* h,
                        std::size_t from, std::size_t to);

// (re + i*im) = (qRe + i*qIm) + (-1)^k (re + i*im) at bin k: a spectrum's
// transform moved by half its length (k from 0), added to another.
void addHalfTurned(double* re, double* im, const double* qRe, const double* qIm, std::size_t n);

// Asks for n doubles from p to be brought into the caches, for data a call
// is about to read after other work: its misses then overlap that work
// instead of following one another.
void prefetchAhead(const double* p, std::size_t n);

// (re + i*im) += (reA + i*imA) * (reB + i*imB), bin by bin: the two products of
// each part are combined first and the accumulator is added last.
void multiplyAccumulate(double* re, double* im, const double* reA, const double* imA,
                        const double* reB, const double* imB, std::size_t n);

// The older-partition sum of a partitioned convolver in one pass: for each bin,
// (re + i*im) += a[i] * b[(first + i) mod count] for i = 1 .. count-1 in that
// order, each step exactly as multiplyAccumulate would do it. Long spectra are
// taken in runs of bins, each partition streamed once per run; short ones (a
// head's) partition after partition, each read front to back.
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

// (re + i*im) += a_k * b_k for k = 0 .. count-1 in that order, each step
// exactly as multiplyAccumulate does it, over n bins in runs: while one pair's
// run is summed the next pair's is asked for, so that spectra just out of
// memory stream instead of waiting line by line.
void multiplyAccumulatePairs(double* re, double* im, const double* const* reA,
                             const double* const* imA, const double* const* reB,
                             const double* const* imB, std::size_t count, std::size_t n);

// The sums of a group of consecutive blocks in one pass, for an owner that
// sums its blocks in groups of `group` (1 .. kMaxGroup, at most count): for
// j = 0 .. group-1, the sum S_j = sum over i of a[i + j] * b[(first + i) mod
// count], i = 0 .. count-1-j: the whole sum of the newest block for j = 0,
// and for j > 0 the sum of the block j later but for its j newest inputs,
// which the owner adds as they come. Every input spectrum and partition is
// read from memory once for all of them. S_j is written in place of the input
// count-1-j blocks old, the oldest inputs being the ones no later sum needs;
// inputs are taken oldest first, so each S_j starts as the product that
// overwrites its own input. Bins are taken in `slices` slices, in any order.
constexpr std::size_t kMaxGroup = 8;
// Where slice `slice` of `slices` over n bins begins: on whole vectors of
// bins, n for slice == slices.
std::size_t sliceEdge(std::size_t n, std::size_t slice, std::size_t slices);
void multiplyAccumulateGroupSlice(const double* const* reA, const double* const* imA,
                                  double* const* reB, double* const* imB, std::size_t count,
                                  std::size_t first, std::size_t group, std::size_t n,
                                  std::size_t slice, std::size_t slices);

}  // namespace fftconvolver
