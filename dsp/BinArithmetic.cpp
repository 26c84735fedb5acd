#include "dsp/BinArithmetic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/KernelChoice.h"

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define BRIGHTFALL_X86_KERNELS 1
#else
#define BRIGHTFALL_X86_KERNELS 0
#endif

namespace fftconvolver {
namespace {

inline std::size_t nextSlot(std::size_t slot, std::size_t count) {
    return slot + 1 == count ? 0 : slot + 1;
}

void multiplyAccumulatePlain(double* re, double* im, const double* reA, const double* imA,
                             const double* reB, const double* imB, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const double r = reA[i] * reB[i] - imA[i] * imB[i];
        const double m = reA[i] * imB[i] + imA[i] * reB[i];
        re[i] = r + re[i];
        im[i] = m + im[i];
    }
}

// One input spectrum b into `count` sums: sum[j] += a[j] * b, or for
// j == fresh, sum[j] = a[j] * b. That sum is stored where b is read, so it is
// taken last, once every other sum has read b. Sum by sum, so each inner loop
// keeps its six arrays in registers: bin by bin across the sums, the compiler
// reloaded every array's address for every vector of bins.
void fanPlain(double* const* re, double* const* im, const double* const* reA,
              const double* const* imA, const double* reB, const double* imB, std::size_t count,
              std::size_t fresh, std::size_t from, std::size_t n) {
    for (std::size_t j = 0; j < count; ++j) {
        if (j == fresh) {
            continue;
        }
        multiplyAccumulatePlain(re[j] + from, im[j] + from, reA[j] + from, imA[j] + from,
                                reB + from, imB + from, n - from);
    }
    if (fresh < count) {
        double* sr = re[fresh];
        double* si = im[fresh];
        const double* ar = reA[fresh];
        const double* ai = imA[fresh];
        for (std::size_t i = from; i < n; ++i) {
            const double br = reB[i], bi = imB[i];
            sr[i] = ar[i] * br - ai[i] * bi;
            si[i] = ar[i] * bi + ai[i] * br;
        }
    }
}

void convolveBlockStartPlain(double* out, const double* base, const double* x, const double* h,
                             std::size_t from, std::size_t to) {
    for (std::size_t p = from; p < to; ++p) {
        double sum = 0.0;
        for (std::size_t j = 0; j <= p; ++j) {
            sum = x[j] * h[p - j] + sum;
        }
        out[p - from] = base[p] + sum;
    }
}

#if BRIGHTFALL_X86_KERNELS
typedef double Vec4 __attribute__((vector_size(32)));

__attribute__((target("avx2,fma"))) inline Vec4 load4(const double* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

__attribute__((target("avx2,fma"))) inline void store4(double* p, Vec4 v) {
    std::memcpy(p, &v, sizeof(v));
}

// Four bins per step. The multiply-accumulates are three quarters of the
// convolution's arithmetic, and compilers leave the plain loop narrow.
__attribute__((target("avx2,fma"))) std::size_t multiplyAccumulateAvx2(
    double* re, double* im, const double* reA, const double* imA, const double* reB,
    const double* imB, std::size_t n) {
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const Vec4 ar = load4(reA + i), ai = load4(imA + i);
        const Vec4 br = load4(reB + i), bi = load4(imB + i);
        store4(re + i, (ar * br - ai * bi) + load4(re + i));
        store4(im + i, (ar * bi + ai * br) + load4(im + i));
    }
    return i;
}

__attribute__((target("avx2,fma"))) std::size_t fanAvx2(double* const* re, double* const* im,
                                                        const double* const* reA,
                                                        const double* const* imA, const double* reB,
                                                        const double* imB, std::size_t count,
                                                        std::size_t fresh, std::size_t n) {
    const std::size_t whole = n & ~std::size_t{3};
    for (std::size_t j = 0; j < count; ++j) {
        if (j != fresh) {
            multiplyAccumulateAvx2(re[j], im[j], reA[j], imA[j], reB, imB, whole);
        }
    }
    if (fresh < count) {
        double* sr = re[fresh];
        double* si = im[fresh];
        const double* ar = reA[fresh];
        const double* ai = imA[fresh];
        for (std::size_t i = 0; i < whole; i += 4) {
            const Vec4 a0 = load4(ar + i), a1 = load4(ai + i);
            const Vec4 br = load4(reB + i), bi = load4(imB + i);
            store4(sr + i, a0 * br - a1 * bi);
            store4(si + i, a0 * bi + a1 * br);
        }
    }
    return whole;
}

// Sixteen outputs a pass, in four independent sums so that the fused
// multiply-adds overlap; every input up to the pass's last output is taken
// by all four, the taps before h[0] being zeros. Lane p adds x[j] * h[p - j]
// for j = 0, 1, ... in order, as the wide kernel's lanes do. Whole passes
// only, stored straight from the registers (no array on the stack, whose
// alignment a sanitiser's relocated frames need not keep); returns where
// the outputs it left begin.
__attribute__((target("avx2,fma"))) std::size_t convolveBlockStartAvx2(
    double* out, const double* base, const double* x, const double* h, std::size_t from,
    std::size_t to) {
    std::size_t p0 = from;
    for (; p0 + 16 <= to; p0 += 16) {
        Vec4 s0 = {}, s1 = {}, s2 = {}, s3 = {};
        const double* tap = h + p0;
        for (std::size_t j = 0; j < p0 + 16; ++j, --tap) {
            const Vec4 xj = {x[j], x[j], x[j], x[j]};
            s0 = xj * load4(tap) + s0;
            s1 = xj * load4(tap + 4) + s1;
            s2 = xj * load4(tap + 8) + s2;
            s3 = xj * load4(tap + 12) + s3;
        }
        double* o = out + (p0 - from);
        store4(o, load4(base + p0) + s0);
        store4(o + 4, load4(base + p0 + 4) + s1);
        store4(o + 8, load4(base + p0 + 8) + s2);
        store4(o + 12, load4(base + p0 + 12) + s3);
    }
    return p0;
}

// The same two kernels eight bins a step, for processors with AVX-512.
// Each lane does what an AVX2 lane does, in the same order, so the results
// are the AVX2 kernels' bit for bit; the last bins short of eight are left
// to those.
typedef double Vec8 __attribute__((vector_size(64)));

__attribute__((target("avx512f"))) inline Vec8 load8(const double* p) {
    Vec8 v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

__attribute__((target("avx512f"))) inline void store8(double* p, Vec8 v) {
    std::memcpy(p, &v, sizeof(v));
}

__attribute__((target("avx512f"))) std::size_t multiplyAccumulateAvx512(
    double* re, double* im, const double* reA, const double* imA, const double* reB,
    const double* imB, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const Vec8 ar = load8(reA + i), ai = load8(imA + i);
        const Vec8 br = load8(reB + i), bi = load8(imB + i);
        store8(re + i, (ar * br - ai * bi) + load8(re + i));
        store8(im + i, (ar * bi + ai * br) + load8(im + i));
    }
    return i;
}

__attribute__((target("avx512f"))) std::size_t fanAvx512(double* const* re, double* const* im,
                                                         const double* const* reA,
                                                         const double* const* imA,
                                                         const double* reB, const double* imB,
                                                         std::size_t count, std::size_t fresh,
                                                         std::size_t n) {
    const std::size_t whole = n & ~std::size_t{7};
    for (std::size_t j = 0; j < count; ++j) {
        if (j != fresh) {
            multiplyAccumulateAvx512(re[j], im[j], reA[j], imA[j], reB, imB, whole);
        }
    }
    if (fresh < count) {
        double* sr = re[fresh];
        double* si = im[fresh];
        const double* ar = reA[fresh];
        const double* ai = imA[fresh];
        for (std::size_t i = 0; i < whole; i += 8) {
            const Vec8 a0 = load8(ar + i), a1 = load8(ai + i);
            const Vec8 br = load8(reB + i), bi = load8(imB + i);
            store8(sr + i, a0 * br - a1 * bi);
            store8(si + i, a0 * bi + a1 * br);
        }
    }
    return whole;
}

// Thirty-two outputs a pass, each lane as an AVX2 lane does it; whole
// passes only, as there.
__attribute__((target("avx512f"))) std::size_t convolveBlockStartAvx512(
    double* out, const double* base, const double* x, const double* h, std::size_t from,
    std::size_t to) {
    std::size_t p0 = from;
    for (; p0 + 32 <= to; p0 += 32) {
        Vec8 s0 = {}, s1 = {}, s2 = {}, s3 = {};
        const double* tap = h + p0;
        for (std::size_t j = 0; j < p0 + 32; ++j, --tap) {
            const Vec8 xj = {x[j], x[j], x[j], x[j], x[j], x[j], x[j], x[j]};
            s0 = xj * load8(tap) + s0;
            s1 = xj * load8(tap + 8) + s1;
            s2 = xj * load8(tap + 16) + s2;
            s3 = xj * load8(tap + 24) + s3;
        }
        double* o = out + (p0 - from);
        store8(o, load8(base + p0) + s0);
        store8(o + 8, load8(base + p0 + 8) + s1);
        store8(o + 16, load8(base + p0 + 16) + s2);
        store8(o + 24, load8(base + p0 + 24) + s3);
    }
    return p0;
}

#endif

void fan(double* const* re, double* const* im, const double* const* reA, const double* const* imA,
         const double* reB, const double* imB, std::size_t count, std::size_t fresh,
         std::size_t n) {
    std::size_t done = 0;
#if BRIGHTFALL_X86_KERNELS
    if (dspkernels::wideKernelsActive()) {
        done = fanAvx512(re, im, reA, imA, reB, imB, count, fresh, n);
    }
    if (dspkernels::vectorKernelsActive() && done < n) {
        // The bins the wide kernel left, from where it stopped.
        double* r[kMaxGroup];
        double* m[kMaxGroup];
        const double* ar[kMaxGroup];
        const double* ai[kMaxGroup];
        for (std::size_t j = 0; j < count && j < kMaxGroup; ++j) {
            r[j] = re[j] + done;
            m[j] = im[j] + done;
            ar[j] = reA[j] + done;
            ai[j] = imA[j] + done;
        }
        done += fanAvx2(r, m, ar, ai, reB + done, imB + done, count, fresh, n - done);
    }
#endif
    fanPlain(re, im, reA, imA, reB, imB, count, fresh, done, n);
}

}  // namespace

void convolveBlockStart(double* out, const double* base, const double* x, const double* h,
                        std::size_t from, std::size_t to) {
#if BRIGHTFALL_X86_KERNELS
    if (dspkernels::vectorKernelsActive()) {
        const std::size_t done = dspkernels::wideKernelsActive()
                                     ? convolveBlockStartAvx512(out, base, x, h, from, to)
                                     : convolveBlockStartAvx2(out, base, x, h, from, to);
        // The outputs short of a whole pass, each lane's fused steps one by
        // one: the same sums, bit for bit.
        for (std::size_t p = done; p < to; ++p) {
            double sum = 0.0;
            for (std::size_t j = 0; j <= p; ++j) {
                sum = std::fma(x[j], h[p - j], sum);
            }
            out[p - from] = base[p] + sum;
        }
        return;
    }
#endif
    convolveBlockStartPlain(out, base, x, h, from, to);
}

void addHalfTurned(double* re, double* im, const double* qRe, const double* qIm, std::size_t n) {
    for (std::size_t k = 0; k + 1 < n; k += 2) {
        re[k] = qRe[k] + re[k];
        im[k] = qIm[k] + im[k];
        re[k + 1] = qRe[k + 1] - re[k + 1];
        im[k + 1] = qIm[k + 1] - im[k + 1];
    }
    if (n % 2 == 1) {
        re[n - 1] = qRe[n - 1] + re[n - 1];
        im[n - 1] = qIm[n - 1] + im[n - 1];
    }
}

void prefetchAhead(const double* p, std::size_t n) {
#if defined(__GNUC__) || defined(__clang__)
    constexpr std::size_t kLine = 64 / sizeof(double);
    for (std::size_t k = 0; k < n; k += kLine) {
        __builtin_prefetch(p + k, 0, 3);
    }
#else
    (void)p, (void)n;
#endif
}

void addSamples(double* result, const double* a, const double* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        result[i] = a[i] + b[i];
    }
}

void multiplyAccumulate(double* re, double* im, const double* reA, const double* imA,
                        const double* reB, const double* imB, std::size_t n) {
    std::size_t done = 0;
#if BRIGHTFALL_X86_KERNELS
    // The wide kernels leave the rest to plain code called from here, never
    // from inside them: a call out of a wide kernel can skip the vzeroupper
    // that keeps later scalar arithmetic free of false dependencies.
    if (dspkernels::wideKernelsActive()) {
        done = multiplyAccumulateAvx512(re, im, reA, imA, reB, imB, n);
    }
    if (dspkernels::vectorKernelsActive()) {
        done += multiplyAccumulateAvx2(re + done, im + done, reA + done, imA + done, reB + done,
                                       imB + done, n - done);
    }
#endif
    multiplyAccumulatePlain(re + done, im + done, reA + done, imA + done, reB + done, imB + done,
                            n - done);
}

// Long spectra (the far tail's) are summed in blocks of this many bins, each
// partition streamed through once per block with the accumulator held in the
// first-level cache: walking dozens of partitions a few bins at a time would
// defeat the hardware prefetchers.
constexpr std::size_t kLongRun = 256;

// Asks for the next partition's run while the current one is summed: each run
// is a short stream of its own, too short for the hardware prefetchers to
// find before it is over. The hint is for data read once: a period's partitions
// should not push the head's small working set out of the caches.
inline void prefetchRun(const double* reA, const double* imA, const double* reB, const double* imB,
                        std::size_t run) {
#if defined(__GNUC__) || defined(__clang__)
    constexpr std::size_t kLine = 64 / sizeof(double);
    for (std::size_t k = 0; k < run; k += kLine) {
        __builtin_prefetch(reA + k, 0, 0);
        __builtin_prefetch(imA + k, 0, 0);
        __builtin_prefetch(reB + k, 0, 0);
        __builtin_prefetch(imB + k, 0, 0);
    }
#else
    (void)reA, (void)imA, (void)reB, (void)imB, (void)run;
#endif
}

// Bins per slice of a long sum spread over time: smaller slices make shorter
// calls, but each one streams its part of every partition through the cache
// and pushes out what the calls around it work on; two blocks was the best
// trade in the tail-schedule benchmark.
constexpr std::size_t kSliceBins = 2 * kLongRun;

std::size_t seriesSliceCount(std::size_t n) {
    return n > 2 * kLongRun ? n / kSliceBins : 1;
}

void multiplyAccumulateSeriesSlice(double* re, double* im, const double* const* reA,
                                   const double* const* imA, const double* const* reB,
                                   const double* const* imB, std::size_t count, std::size_t first,
                                   std::size_t n, std::size_t slice) {
    if (slice >= seriesSliceCount(n)) {
        return;
    }
    if (n > 2 * kLongRun) {
        // The last slice also takes the bins past the last whole slice; within
        // a slice, the blocks fall where the one-pass sum puts them.
        const std::size_t begin = slice * kSliceBins;
        const std::size_t end = slice + 1 >= n / kSliceBins ? n : begin + kSliceBins;
        for (std::size_t c = begin; c < end; c += kLongRun) {
            const std::size_t run = std::min(kLongRun, end - c);
            std::size_t slot = first;
            for (std::size_t i = 1; i < count; ++i) {
                slot = nextSlot(slot, count);
                if (i + 1 < count) {
                    const std::size_t ahead = nextSlot(slot, count);
                    prefetchRun(reA[i + 1] + c, imA[i + 1] + c, reB[ahead] + c, imB[ahead] + c,
                                run);
                }
                multiplyAccumulate(re + c, im + c, reA[i] + c, imA[i] + c, reB[slot] + c,
                                   imB[slot] + c, run);
            }
        }
        return;
    }
    // Short spectra (a head's) partition after partition: each partition and
    // input is then one short stretch read front to back, which the hardware
    // prefetchers follow when other instances' work has pushed it out of the
    // second-level cache. The sum stays in the first-level cache; runs of a
    // few bins across every partition, with the sum in registers, were no
    // faster alone and waited on every line among many instances.
    std::size_t slot = first;
    for (std::size_t i = 1; i < count; ++i) {
        slot = nextSlot(slot, count);
        multiplyAccumulate(re, im, reA[i], imA[i], reB[slot], imB[slot], n);
    }
}

std::size_t sliceEdge(std::size_t n, std::size_t slice, std::size_t slices) {
    return slice >= slices ? n : (n * slice / slices) & ~std::size_t{3};
}

void multiplyAccumulateGroupSlice(const double* const* reA, const double* const* imA,
                                  double* const* reB, double* const* imB, std::size_t count,
                                  std::size_t first, std::size_t group, std::size_t n,
                                  std::size_t slice, std::size_t slices) {
    if (group == 0 || group > kMaxGroup || group > count || slice >= slices) {
        return;
    }
    const std::size_t begin = sliceEdge(n, slice, slices);
    const std::size_t end = sliceEdge(n, slice + 1, slices);
    double* sumRe[kMaxGroup];
    double* sumIm[kMaxGroup];
    for (std::size_t j = 0; j < group; ++j) {
        const std::size_t slot = (first + count - 1 - j) % count;
        sumRe[j] = reB[slot];
        sumIm[j] = imB[slot];
    }
    // The group's sums of one run stay in the first-level cache.
    const std::size_t longRun = group > 4 ? kLongRun / 2 : kLongRun;
    for (std::size_t c = begin; c < end; c += longRun) {
        const std::size_t run = std::min(longRun, end - c);
        double* re[kMaxGroup];
        double* im[kMaxGroup];
        const double* ar[kMaxGroup];
        const double* ai[kMaxGroup];
        for (std::size_t j = 0; j < group; ++j) {
            re[j] = sumRe[j] + c;
            im[j] = sumIm[j] + c;
        }
        for (std::size_t i = count; i-- > 0;) {
            const std::size_t slot = (first + i) % count;
            if (i > 0) {
                // The next input's run and the one partition it adds; the
                // others it meets were read for this input.
                const std::size_t ahead = slot > 0 ? slot - 1 : count - 1;
                prefetchRun(reA[i - 1] + c, imA[i - 1] + c, reB[ahead] + c, imB[ahead] + c, run);
            }
            // Sums j <= count-1-i take this input; the last of them starts here.
            const std::size_t sums = std::min(group, count - i);
            const std::size_t fresh = count - 1 - i < group ? count - 1 - i : kMaxGroup;
            for (std::size_t j = 0; j < sums; ++j) {
                ar[j] = reA[i + j] + c;
                ai[j] = imA[i + j] + c;
            }
            const double* br = reB[slot] + c;
            const double* bi = imB[slot] + c;
            fan(re, im, ar, ai, br, bi, sums, fresh, run);
        }
    }
}

void multiplyAccumulatePairs(double* re, double* im, const double* const* reA,
                             const double* const* imA, const double* const* reB,
                             const double* const* imB, std::size_t count, std::size_t n) {
    for (std::size_t c = 0; c < n; c += kLongRun) {
        const std::size_t run = std::min(kLongRun, n - c);
        for (std::size_t k = 0; k < count; ++k) {
            if (k + 1 < count) {
                prefetchRun(reA[k + 1] + c, imA[k + 1] + c, reB[k + 1] + c, imB[k + 1] + c, run);
            }
            multiplyAccumulate(re + c, im + c, reA[k] + c, imA[k] + c, reB[k] + c, imB[k] + c, run);
        }
    }
}

void multiplyAccumulateSeries(double* re, double* im, const double* const* reA,
                              const double* const* imA, const double* const* reB,
                              const double* const* imB, std::size_t count, std::size_t first,
                              std::size_t n) {
    const std::size_t slices = seriesSliceCount(n);
    for (std::size_t s = 0; s < slices; ++s) {
        multiplyAccumulateSeriesSlice(re, im, reA, imA, reB, imB, count, first, n, s);
    }
}

}  // namespace fftconvolver
