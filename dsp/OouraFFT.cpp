#include "dsp/OouraFFT.h"

#include "dsp/KernelChoice.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define BRIGHTFALL_X86_KERNELS 1
#else
#define BRIGHTFALL_X86_KERNELS 0
#endif

namespace audiofft {
namespace {

// The complex transform works on M = N/2 points z[m] = x[2m] + i*x[2m+1] with a
// positive exponent, W = exp(+2*pi*i/M). It first permutes z into bit-reversed
// order and then runs decimation-in-frequency butterflies whose spans grow
// (1, 4, 16, ... points), which leaves the result in natural order. In that
// arrangement every butterfly of one block shares the same twiddle, and the
// twiddle of block b is entry b of a table kept in bit-reversed order: that is
// why the twiddle table is permuted once when it is built.

int log2Of(std::uint32_t powerOfTwo) {
    int bits = 0;
    while ((std::uint32_t{1} << bits) < powerOfTwo) {
        ++bits;
    }
    return bits;
}

void fillReversalTable(std::int32_t* rev, int bits) {
    const std::int32_t count = std::int32_t{1} << bits;
    rev[0] = 0;
    for (std::int32_t x = 1; x < count; ++x) {
        rev[x] = (rev[x >> 1] >> 1) | ((x & 1) << (bits - 1));
    }
}

inline void swapComplex(double* a, std::size_t i, std::size_t j) {
    std::swap(a[2 * i], a[2 * j]);
    std::swap(a[2 * i + 1], a[2 * j + 1]);
}

// Bit-reverses the order of `count` complex values (pairs of doubles). An index
// is split into high bits, an optional middle bit and low bits of equal width;
// its reversal swaps the reversed high and low parts. Walking the pairs
// (hi = rev[u], lo = v) for v < u visits every exchanged pair exactly once, so
// no comparison is needed. `scratch` holds at least sqrt(count) entries.
void reverseOrder(double* a, std::uint32_t count, std::int32_t* scratch) {
    const int bits = log2Of(count);
    if (bits < 2) {
        return;
    }
    const int lowBits = bits / 2;
    const int highShift = bits - lowBits;
    const std::size_t middleCount = std::size_t{1} << (highShift - lowBits);
    fillReversalTable(scratch, lowBits);
    const std::size_t sideCount = std::size_t{1} << lowBits;
    for (std::size_t u = 1; u < sideCount; ++u) {
        const std::size_t hiU = static_cast<std::size_t>(scratch[u]) << highShift;
        for (std::size_t v = 0; v < u; ++v) {
            const std::size_t hiV = static_cast<std::size_t>(scratch[v]) << highShift;
            for (std::size_t m = 0; m < middleCount; ++m) {
                const std::size_t mid = m << lowBits;
                swapComplex(a, hiU | mid | v, hiV | mid | u);
            }
        }
    }
}

// Bit reversal of single indices of a transform of `count` points, from the
// same split table as reverseOrder (built by prepare into `table`).
struct Reverser {
    const std::int32_t* table = nullptr;
    int lowBits = 0;
    int highShift = 0;
    std::size_t lowMask = 0;
    std::size_t middleMask = 0;

    void prepare(std::int32_t* scratch, std::uint32_t count) {
        const int bits = log2Of(count);
        lowBits = bits / 2;
        highShift = bits - lowBits;
        lowMask = (std::size_t{1} << lowBits) - 1;
        middleMask = ((std::size_t{1} << (highShift - lowBits)) - 1) << lowBits;
        fillReversalTable(scratch, lowBits);
        table = scratch;
    }
    std::size_t operator()(std::size_t k) const {
        return (static_cast<std::size_t>(table[k & lowMask]) << highShift) | (k & middleMask) |
               static_cast<std::size_t>(table[k >> highShift]);
    }
};

// The twiddles of block b: u = table entry b; u^2 is entry b/2, or for odd b
// i times entry (b-1)/2; conjugated for the backward transform.
template <bool kForward>
inline void blockTwiddles(const double* w, std::size_t b, double& u1r, double& u1i, double& u2r,
                          double& u2i) {
    u1r = w[2 * b];
    u1i = w[2 * b + 1];
    if ((b & 1) == 0) {
        u2r = w[b];
        u2i = w[b + 1];
    } else {
        u2r = -w[b];
        u2i = w[b - 1];
    }
    if (!kForward) {
        u1i = -u1i;
        u2i = -u2i;
    }
}

// One radix-4 pass over blocks of 4h points. With x0 = q0 + q1, x1 = q0 - q1,
// x2 = q2 + q3, x3 = q2 - q3, a block computes
//   q0 = x0 + x2, q2 = (x0 - x2) u^2, q1 = (x1 + i x3) u, q3 = (x1 - i x3) u^3
// where u is the block's twiddle (conjugated, with -i for i, when backward).
template <bool kForward>
void radix4Pass(double* a, std::size_t points, std::size_t h, const double* w) {
    const double sign = kForward ? 1.0 : -1.0;
    const std::size_t blocks = points / (4 * h);
    for (std::size_t b = 0; b < blocks; ++b) {
        double u1r = 1.0, u1i = 0.0, u2r = 1.0, u2i = 0.0;
        if (b > 0) {
            blockTwiddles<kForward>(w, b, u1r, u1i, u2r, u2i);
        }
        const double u3r = u1r * u2r - u1i * u2i;
        const double u3i = u1r * u2i + u1i * u2r;
        double* q0 = a + 2 * (b * 4 * h);
        double* q1 = q0 + 2 * h;
        double* q2 = q1 + 2 * h;
        double* q3 = q2 + 2 * h;
        for (std::size_t j = 0; j < 2 * h; j += 2) {
            const double x0r = q0[j] + q1[j];
            const double x0i = q0[j + 1] + q1[j + 1];
            const double x1r = q0[j] - q1[j];
            const double x1i = q0[j + 1] - q1[j + 1];
            const double x2r = q2[j] + q3[j];
            const double x2i = q2[j + 1] + q3[j + 1];
            // x3 pre-multiplied by +i (forward) or -i (backward)
            const double x3r = -sign * (q2[j + 1] - q3[j + 1]);
            const double x3i = sign * (q2[j] - q3[j]);
            q0[j] = x0r + x2r;
            q0[j + 1] = x0i + x2i;
            const double dr = x0r - x2r;
            const double di = x0i - x2i;
            q2[j] = dr * u2r - di * u2i;
            q2[j + 1] = dr * u2i + di * u2r;
            const double pr = x1r + x3r;
            const double pi = x1i + x3i;
            const double mr = x1r - x3r;
            const double mi = x1i - x3i;
            q1[j] = pr * u1r - pi * u1i;
            q1[j + 1] = pr * u1i + pi * u1r;
            q3[j] = mr * u3r - mi * u3i;
            q3[j + 1] = mr * u3i + mi * u3r;
        }
    }
}

// The last pass has a single block, so no twiddles. It writes to `out`,
// scaled: the inverse transform's 2/N costs no separate pass that way, and
// (sum) * scale rounds exactly as scaling afterwards would.
template <bool kForward>
void finalPass(const double* a, std::size_t points, std::size_t h, double* out, double scale) {
    if (4 * h == points) {
        const double sign = kForward ? 1.0 : -1.0;
        const double* q0 = a;
        const double* q1 = a + 2 * h;
        const double* q2 = a + 4 * h;
        const double* q3 = a + 6 * h;
        for (std::size_t j = 0; j < 2 * h; j += 2) {
            const double x0r = q0[j] + q1[j];
            const double x0i = q0[j + 1] + q1[j + 1];
            const double x1r = q0[j] - q1[j];
            const double x1i = q0[j + 1] - q1[j + 1];
            const double x2r = q2[j] + q3[j];
            const double x2i = q2[j + 1] + q3[j + 1];
            const double x3r = -sign * (q2[j + 1] - q3[j + 1]);
            const double x3i = sign * (q2[j] - q3[j]);
            out[j] = (x0r + x2r) * scale;
            out[j + 1] = (x0i + x2i) * scale;
            out[4 * h + j] = (x0r - x2r) * scale;
            out[4 * h + j + 1] = (x0i - x2i) * scale;
            out[2 * h + j] = (x1r + x3r) * scale;
            out[2 * h + j + 1] = (x1i + x3i) * scale;
            out[6 * h + j] = (x1r - x3r) * scale;
            out[6 * h + j + 1] = (x1i - x3i) * scale;
        }
    } else {
        for (std::size_t j = 0; j < 2 * h; ++j) {
            const double x = a[j];
            const double y = a[2 * h + j];
            out[j] = (x + y) * scale;
            out[2 * h + j] = (x - y) * scale;
        }
    }
}

// The span of the last pass: radix-4 passes with spans 1, 4, 16, ... and one
// closing radix-2 pass when the point count is not a power of four.
std::size_t finalSpan(std::size_t points) {
    std::size_t h = 1;
    while (16 * h <= points) {
        h *= 4;
    }
    return 4 * h == points ? h : (8 * h == points ? 4 * h : h);
}

template <bool kForward>
void complexTransformPlain(double* a, std::size_t points, const double* w, double* out,
                           double scale) {
    const std::size_t last = finalSpan(points);
    for (std::size_t h = 1; h < last; h *= 4) {
        radix4Pass<kForward>(a, points, h, w);
    }
    finalPass<kForward>(a, points, last, out, scale);
}

// The first pass (span 1) reading its points straight from the source in
// natural order: places 4b .. 4b+3 of the bit-reversed order hold
// z[r], z[r + M/2], z[r + M/4], z[r + 3M/4] with r the reversal of b over M/4
// points. Folding the permutation in here saves a pass over the data.
template <bool kForward>
void firstPassGather(const double* src, double* a, std::size_t points, const double* w,
                     const Reverser& quarterRev) {
    const double sign = kForward ? 1.0 : -1.0;
    const std::size_t halfOffset = points;  // M/2 points, in doubles
    const std::size_t quarterOffset = points / 2;
    for (std::size_t b = 0; b < points / 4; ++b) {
        const double* s0 = src + 2 * quarterRev(b);
        const double* s1 = s0 + halfOffset;
        const double* s2 = s0 + quarterOffset;
        const double* s3 = s1 + quarterOffset;
        double u1r = 1.0, u1i = 0.0, u2r = 1.0, u2i = 0.0;
        if (b > 0) {
            blockTwiddles<kForward>(w, b, u1r, u1i, u2r, u2i);
        }
        const double u3r = u1r * u2r - u1i * u2i;
        const double u3i = u1r * u2i + u1i * u2r;
        const double x0r = s0[0] + s1[0];
        const double x0i = s0[1] + s1[1];
        const double x1r = s0[0] - s1[0];
        const double x1i = s0[1] - s1[1];
        const double x2r = s2[0] + s3[0];
        const double x2i = s2[1] + s3[1];
        const double x3r = -sign * (s2[1] - s3[1]);
        const double x3i = sign * (s2[0] - s3[0]);
        double* q = a + 8 * b;
        q[0] = x0r + x2r;
        q[1] = x0i + x2i;
        const double dr = x0r - x2r;
        const double di = x0i - x2i;
        q[4] = dr * u2r - di * u2i;
        q[5] = dr * u2i + di * u2r;
        const double pr = x1r + x3r;
        const double pi = x1i + x3i;
        const double mr = x1r - x3r;
        const double mi = x1i - x3i;
        q[2] = pr * u1r - pi * u1i;
        q[3] = pr * u1i + pi * u1r;
        q[6] = mr * u3r - mi * u3i;
        q[7] = mr * u3i + mi * u3r;
    }
}

// Forward post-processing for bins [kBegin, kEnd): separates the spectra of
// the even and odd samples out of the complex result Z (positive exponent):
// X[k] = Z[k] - c*D, X[M-k] = Z[M-k] + conj(c*D), D = Z[k] - conj(Z[M-k]),
// c = (1 + i*exp(i*pi*k/M))/2, and stores conj(X), the negative-exponent
// spectrum, in split form.
void separatePlain(const double* b, double* re, double* im, std::size_t half, const double* ct,
                   std::size_t nc, std::size_t kBegin, std::size_t kEnd) {
    const std::size_t n = 2 * half;
    for (std::size_t k = kBegin; k < kEnd; ++k) {
        const std::size_t j = 2 * k;
        const std::size_t l = n - j;
        const double cr = 0.5 - ct[nc - k];
        const double ci = ct[k];
        const double dr = b[j] - b[l];
        const double di = b[j + 1] + b[l + 1];
        const double yr = cr * dr - ci * di;
        const double yi = cr * di + ci * dr;
        re[k] = b[j] - yr;
        im[k] = yi - b[j + 1];
        re[half - k] = b[l] + yr;
        im[half - k] = yi - b[l + 1];
    }
}

// Backward pre-processing for bins [kBegin, kEnd), the inverse of the
// separation: Z[k] = X[k] - conj(c)*D, Z[M-k] = X[M-k] + conj(conj(c)*D),
// D = X[k] - conj(X[M-k]), X = conj of the split spectrum; Z is written to z
// in natural order (interleaved).
void combinePlain(const double* re, const double* im, double* z, std::size_t half, const double* ct,
                  std::size_t nc, std::size_t kBegin, std::size_t kEnd) {
    for (std::size_t k = kBegin; k < kEnd; ++k) {
        const double xr = re[k];
        const double xi = -im[k];
        const double mr = re[half - k];
        const double mi = -im[half - k];
        const double cr = 0.5 - ct[nc - k];
        const double ci = ct[k];
        const double dr = xr - mr;
        const double di = xi + mi;
        const double yr = cr * dr + ci * di;
        const double yi = cr * di - ci * dr;
        z[2 * k] = xr - yr;
        z[2 * k + 1] = xi - yi;
        z[2 * (half - k)] = mr + yr;
        z[2 * (half - k) + 1] = mi - yi;
    }
}

#if BRIGHTFALL_X86_KERNELS
// The same steps with 256-bit vectors: two complex points (re, im, re, im) in
// the butterflies, four bins (split) in the separation and its inverse.
typedef double Vec4 __attribute__((vector_size(32)));
typedef double Vec2 __attribute__((vector_size(16)));

#define BRIGHTFALL_AVX2 __attribute__((target("avx2,fma")))

BRIGHTFALL_AVX2 inline Vec4 load4(const double* p) {
    Vec4 v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

BRIGHTFALL_AVX2 inline void store4(double* p, Vec4 v) {
    std::memcpy(p, &v, sizeof(v));
}

BRIGHTFALL_AVX2 inline Vec2 load2(const double* p) {
    Vec2 v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

BRIGHTFALL_AVX2 inline Vec4 join(Vec2 lo, Vec2 hi) {
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3);
}

BRIGHTFALL_AVX2 inline Vec4 swapParts(Vec4 v) {
    return __builtin_shufflevector(v, v, 1, 0, 3, 2);
}

BRIGHTFALL_AVX2 inline Vec4 reversed(Vec4 v) {
    return __builtin_shufflevector(v, v, 3, 2, 1, 0);
}

BRIGHTFALL_AVX2 inline Vec4 splat(double x) {
    return Vec4{x, x, x, x};
}

// v * (wr + i*wi) per complex lane, with wi given as (-wi, wi) pairs.
BRIGHTFALL_AVX2 inline Vec4 rotate(Vec4 v, Vec4 wr, Vec4 wi) {
    return v * wr + swapParts(v) * wi;
}

// Multiplying by i (forward) or -i (backward): swap parts, flip one sign.
template <bool kForward>
BRIGHTFALL_AVX2 inline Vec4 timesI(Vec4 v) {
    return swapParts(v) * (kForward ? Vec4{-1.0, 1.0, -1.0, 1.0} : Vec4{1.0, -1.0, 1.0, -1.0});
}

// The first pass gathering from the source (see firstPassGather), one block
// per pair of vectors, its four points loaded so that the two halves of the
// butterfly line up.
template <bool kForward>
BRIGHTFALL_AVX2 void firstPassGatherAvx2(const double* src, double* a, std::size_t points,
                                         const double* w, const Reverser& quarterRev) {
    const std::size_t halfOffset = points;
    const std::size_t quarterOffset = points / 2;
    for (std::size_t b = 0; b < points / 4; ++b) {
        const double* s0 = src + 2 * quarterRev(b);
        const double* s1 = s0 + halfOffset;
        const Vec4 s = join(load2(s0), load2(s0 + quarterOffset));           // (q0 q2)
        const Vec4 t = join(load2(s1), load2(s1 + quarterOffset));           // (q1 q3)
        const Vec4 sum = s + t;                                              // (x0 x2)
        const Vec4 diff = s - t;                                             // (x1 x3)
        const Vec4 turned = timesI<kForward>(diff);                          // (. ix3)
        const Vec4 odd = __builtin_shufflevector(diff, turned, 0, 1, 6, 7);  // (x1 ix3)
        const Vec4 u = __builtin_shufflevector(sum, odd, 0, 1, 4, 5);        // (x0 x1)
        const Vec4 v = __builtin_shufflevector(sum, odd, 2, 3, 6, 7);        // (x2 ix3)
        Vec4 first = u + v;
        Vec4 second = u - v;
        if (b > 0) {
            double u1r, u1i, u2r, u2i;
            blockTwiddles<kForward>(w, b, u1r, u1i, u2r, u2i);
            const double u3r = u1r * u2r - u1i * u2i;
            const double u3i = u1r * u2i + u1i * u2r;
            first = rotate(first, Vec4{1.0, 1.0, u1r, u1r}, Vec4{0.0, 0.0, -u1i, u1i});
            second = rotate(second, Vec4{u2r, u2r, u3r, u3r}, Vec4{-u2i, u2i, -u3i, u3i});
        }
        store4(a + 8 * b, first);
        store4(a + 8 * b + 4, second);
    }
}

template <bool kForward>
BRIGHTFALL_AVX2 void radix4PassAvx2(double* a, std::size_t points, std::size_t h, const double* w) {
    const std::size_t blocks = points / (4 * h);
    for (std::size_t b = 0; b < blocks; ++b) {
        double* q0 = a + 2 * (b * 4 * h);
        double* q1 = q0 + 2 * h;
        double* q2 = q1 + 2 * h;
        double* q3 = q2 + 2 * h;
        if (b == 0) {
            for (std::size_t j = 0; j < 2 * h; j += 4) {
                const Vec4 a0 = load4(q0 + j), a1 = load4(q1 + j);
                const Vec4 a2 = load4(q2 + j), a3 = load4(q3 + j);
                const Vec4 x0 = a0 + a1, x1 = a0 - a1, x2 = a2 + a3;
                const Vec4 x3 = timesI<kForward>(a2 - a3);
                store4(q0 + j, x0 + x2);
                store4(q2 + j, x0 - x2);
                store4(q1 + j, x1 + x3);
                store4(q3 + j, x1 - x3);
            }
            continue;
        }
        double u1r, u1i, u2r, u2i;
        blockTwiddles<kForward>(w, b, u1r, u1i, u2r, u2i);
        const double u3r = u1r * u2r - u1i * u2i;
        const double u3i = u1r * u2i + u1i * u2r;
        const Vec4 w1r = splat(u1r), w1i = {-u1i, u1i, -u1i, u1i};
        const Vec4 w2r = splat(u2r), w2i = {-u2i, u2i, -u2i, u2i};
        const Vec4 w3r = splat(u3r), w3i = {-u3i, u3i, -u3i, u3i};
        for (std::size_t j = 0; j < 2 * h; j += 4) {
            const Vec4 a0 = load4(q0 + j), a1 = load4(q1 + j);
            const Vec4 a2 = load4(q2 + j), a3 = load4(q3 + j);
            const Vec4 x0 = a0 + a1, x1 = a0 - a1, x2 = a2 + a3;
            const Vec4 x3 = timesI<kForward>(a2 - a3);
            store4(q0 + j, x0 + x2);
            store4(q2 + j, rotate(x0 - x2, w2r, w2i));
            store4(q1 + j, rotate(x1 + x3, w1r, w1i));
            store4(q3 + j, rotate(x1 - x3, w3r, w3i));
        }
    }
}

template <bool kForward>
BRIGHTFALL_AVX2 void finalPassAvx2(const double* a, std::size_t points, std::size_t h, double* out,
                                   double scale) {
    const Vec4 k = splat(scale);
    if (4 * h == points) {
        const double* q0 = a;
        const double* q1 = a + 2 * h;
        const double* q2 = a + 4 * h;
        const double* q3 = a + 6 * h;
        for (std::size_t j = 0; j < 2 * h; j += 4) {
            const Vec4 a0 = load4(q0 + j), a1 = load4(q1 + j);
            const Vec4 a2 = load4(q2 + j), a3 = load4(q3 + j);
            const Vec4 x0 = a0 + a1, x1 = a0 - a1, x2 = a2 + a3;
            const Vec4 x3 = timesI<kForward>(a2 - a3);
            store4(out + j, (x0 + x2) * k);
            store4(out + 4 * h + j, (x0 - x2) * k);
            store4(out + 2 * h + j, (x1 + x3) * k);
            store4(out + 6 * h + j, (x1 - x3) * k);
        }
    } else {
        for (std::size_t j = 0; j < 2 * h; j += 4) {
            const Vec4 x = load4(a + j), y = load4(a + 2 * h + j);
            store4(out + j, (x + y) * k);
            store4(out + 2 * h + j, (x - y) * k);
        }
    }
}

// The passes after the first four complex points a step, for processors
// with AVX-512: each lane does what an AVX2 lane does, in the same order, so
// the results are the AVX2 passes' bit for bit.
typedef double Vec8 __attribute__((vector_size(64)));
#define BRIGHTFALL_AVX512 __attribute__((target("avx512f")))

BRIGHTFALL_AVX512 inline Vec8 load8(const double* p) {
    Vec8 v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

BRIGHTFALL_AVX512 inline void store8(double* p, Vec8 v) {
    std::memcpy(p, &v, sizeof(v));
}

BRIGHTFALL_AVX512 inline Vec8 splat8(double x) {
    return Vec8{x, x, x, x, x, x, x, x};
}

BRIGHTFALL_AVX512 inline Vec8 rotate8(Vec8 v, Vec8 wr, Vec8 wi) {
    return v * wr + __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6) * wi;
}

template <bool kForward>
BRIGHTFALL_AVX512 inline Vec8 timesI8(Vec8 v) {
    return __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6) *
           (kForward ? Vec8{-1.0, 1.0, -1.0, 1.0, -1.0, 1.0, -1.0, 1.0}
                     : Vec8{1.0, -1.0, 1.0, -1.0, 1.0, -1.0, 1.0, -1.0});
}

BRIGHTFALL_AVX512 inline Vec8 pairs8(double a, double b) {
    return Vec8{a, b, a, b, a, b, a, b};
}

// h >= 4: every block's rows are whole vectors of four points.
template <bool kForward>
BRIGHTFALL_AVX512 void radix4PassAvx512(double* a, std::size_t points, std::size_t h,
                                        const double* w) {
    const std::size_t blocks = points / (4 * h);
    for (std::size_t b = 0; b < blocks; ++b) {
        double* q0 = a + 2 * (b * 4 * h);
        double* q1 = q0 + 2 * h;
        double* q2 = q1 + 2 * h;
        double* q3 = q2 + 2 * h;
        if (b == 0) {
            for (std::size_t j = 0; j < 2 * h; j += 8) {
                const Vec8 a0 = load8(q0 + j), a1 = load8(q1 + j);
                const Vec8 a2 = load8(q2 + j), a3 = load8(q3 + j);
                const Vec8 x0 = a0 + a1, x1 = a0 - a1, x2 = a2 + a3;
                const Vec8 x3 = timesI8<kForward>(a2 - a3);
                store8(q0 + j, x0 + x2);
                store8(q2 + j, x0 - x2);
                store8(q1 + j, x1 + x3);
                store8(q3 + j, x1 - x3);
            }
            continue;
        }
        double u1r, u1i, u2r, u2i;
        blockTwiddles<kForward>(w, b, u1r, u1i, u2r, u2i);
        const double u3r = u1r * u2r - u1i * u2i;
        const double u3i = u1r * u2i + u1i * u2r;
        const Vec8 w1r = splat8(u1r), w1i = pairs8(-u1i, u1i);
        const Vec8 w2r = splat8(u2r), w2i = pairs8(-u2i, u2i);
        const Vec8 w3r = splat8(u3r), w3i = pairs8(-u3i, u3i);
        for (std::size_t j = 0; j < 2 * h; j += 8) {
            const Vec8 a0 = load8(q0 + j), a1 = load8(q1 + j);
            const Vec8 a2 = load8(q2 + j), a3 = load8(q3 + j);
            const Vec8 x0 = a0 + a1, x1 = a0 - a1, x2 = a2 + a3;
            const Vec8 x3 = timesI8<kForward>(a2 - a3);
            store8(q0 + j, x0 + x2);
            store8(q2 + j, rotate8(x0 - x2, w2r, w2i));
            store8(q1 + j, rotate8(x1 + x3, w1r, w1i));
            store8(q3 + j, rotate8(x1 - x3, w3r, w3i));
        }
    }
}

template <bool kForward>
BRIGHTFALL_AVX512 void finalPassAvx512(const double* a, std::size_t points, std::size_t h,
                                       double* out, double scale) {
    const Vec8 k = splat8(scale);
    if (4 * h == points) {
        const double* q0 = a;
        const double* q1 = a + 2 * h;
        const double* q2 = a + 4 * h;
        const double* q3 = a + 6 * h;
        for (std::size_t j = 0; j < 2 * h; j += 8) {
            const Vec8 a0 = load8(q0 + j), a1 = load8(q1 + j);
            const Vec8 a2 = load8(q2 + j), a3 = load8(q3 + j);
            const Vec8 x0 = a0 + a1, x1 = a0 - a1, x2 = a2 + a3;
            const Vec8 x3 = timesI8<kForward>(a2 - a3);
            store8(out + j, (x0 + x2) * k);
            store8(out + 4 * h + j, (x0 - x2) * k);
            store8(out + 2 * h + j, (x1 + x3) * k);
            store8(out + 6 * h + j, (x1 - x3) * k);
        }
    } else {
        for (std::size_t j = 0; j < 2 * h; j += 8) {
            const Vec8 x = load8(a + j), y = load8(a + 2 * h + j);
            store8(out + j, (x + y) * k);
            store8(out + 2 * h + j, (x - y) * k);
        }
    }
}

// The whole transform on 8 or more points, the first pass gathering from src.
template <bool kForward>
BRIGHTFALL_AVX2 void transformAvx2(const double* src, double* a, std::size_t points,
                                   const double* w, const Reverser& quarterRev, double* out,
                                   double scale) {
    const std::size_t last = finalSpan(points);
    firstPassGatherAvx2<kForward>(src, a, points, w, quarterRev);
    if (dspkernels::wideKernelsActive() && last >= 4) {
        for (std::size_t h = 4; h < last; h *= 4) {
            radix4PassAvx512<kForward>(a, points, h, w);
        }
        finalPassAvx512<kForward>(a, points, last, out, scale);
        return;
    }
    for (std::size_t h = 4; h < last; h *= 4) {
        radix4PassAvx2<kForward>(a, points, h, w);
    }
    finalPassAvx2<kForward>(a, points, last, out, scale);
}

// Returns the first bin left to the plain code. Like every wide kernel here it
// calls no plain code itself (see multiplyAccumulate).
BRIGHTFALL_AVX2 std::size_t separateAvx2(const double* b, double* re, double* im, std::size_t half,
                                         const double* ct, std::size_t nc) {
    const std::size_t n = 2 * half;
    const std::size_t quarter = half / 2;
    // Groups start at k = 2 mod 4 so that the loads of Z[k ..] line up with
    // the last pass's vector stores; the mirrored points, which cannot line up
    // as well, are loaded in halves that each lie within one such store.
    std::size_t k = 2;
    for (; k + 4 <= quarter; k += 4) {
        const Vec4 zLo = load4(b + 2 * k), zHi = load4(b + 2 * k + 4);
        const Vec4 zr = __builtin_shufflevector(zLo, zHi, 0, 2, 4, 6);
        const Vec4 zi = __builtin_shufflevector(zLo, zHi, 1, 3, 5, 7);
        const double* m = b + n - 2 * k - 6;
        const Vec4 mLo = join(load2(m), load2(m + 2)), mHi = join(load2(m + 4), load2(m + 6));
        const Vec4 mr = __builtin_shufflevector(mLo, mHi, 6, 4, 2, 0);
        const Vec4 mi = __builtin_shufflevector(mLo, mHi, 7, 5, 3, 1);
        const Vec4 cr = splat(0.5) - reversed(load4(ct + nc - k - 3));
        const Vec4 ci = load4(ct + k);
        const Vec4 dr = zr - mr;
        const Vec4 di = zi + mi;
        const Vec4 yr = cr * dr - ci * di;
        const Vec4 yi = cr * di + ci * dr;
        store4(re + k, zr - yr);
        store4(im + k, yi - zi);
        store4(re + half - k - 3, reversed(mr + yr));
        store4(im + half - k - 3, reversed(yi - mi));
    }
    return k;
}

// Returns the first bin left to the plain code.
BRIGHTFALL_AVX2 std::size_t combineAvx2(const double* re, const double* im, double* z,
                                        std::size_t half, const double* ct, std::size_t nc) {
    const std::size_t quarter = half / 2;
    std::size_t k = 1;
    for (; k + 4 <= quarter; k += 4) {
        const Vec4 xr = load4(re + k);
        const Vec4 xi = -load4(im + k);
        const Vec4 mr = reversed(load4(re + half - k - 3));
        const Vec4 mi = -reversed(load4(im + half - k - 3));
        const Vec4 cr = splat(0.5) - reversed(load4(ct + nc - k - 3));
        const Vec4 ci = load4(ct + k);
        const Vec4 dr = xr - mr;
        const Vec4 di = xi + mi;
        const Vec4 yr = cr * dr + ci * di;
        const Vec4 yi = cr * di - ci * dr;
        const Vec4 zr = xr - yr, zi = xi - yi;
        store4(z + 2 * k, __builtin_shufflevector(zr, zi, 0, 4, 1, 5));
        store4(z + 2 * k + 4, __builtin_shufflevector(zr, zi, 2, 6, 3, 7));
        // Mirrors M-k .. M-k-3 go to places M-k-3 .. M-k, lowest first.
        const Vec4 wr = mr + yr, wi = mi - yi;
        double* m = z + 2 * (half - k - 3);
        store4(m, __builtin_shufflevector(wr, wi, 3, 7, 2, 6));
        store4(m + 4, __builtin_shufflevector(wr, wi, 1, 5, 0, 4));
    }
    return k;
}
#endif

// The complex transform of `points` points read from src in natural order
// into the work buffer a, the last pass writing to out scaled by `scale`.
template <bool kForward>
void transform(const double* src, double* a, std::size_t points, const double* w,
               std::int32_t* scratch, double* out, double scale) {
    if (points < 8) {
        // Two or four points: permute, then the plain passes.
        Reverser rev;
        rev.prepare(scratch, static_cast<std::uint32_t>(points));
        for (std::size_t m = 0; m < points; ++m) {
            std::memcpy(a + 2 * rev(m), src + 2 * m, 2 * sizeof(double));
        }
        complexTransformPlain<kForward>(a, points, w, out, scale);
        return;
    }
    Reverser quarterRev;
    quarterRev.prepare(scratch, static_cast<std::uint32_t>(points / 4));
#if BRIGHTFALL_X86_KERNELS
    if (dspkernels::vectorKernelsActive()) {
        transformAvx2<kForward>(src, a, points, w, quarterRev, out, scale);
        return;
    }
#endif
    firstPassGather<kForward>(src, a, points, w, quarterRev);
    const std::size_t last = finalSpan(points);
    for (std::size_t h = 4; h < last; h *= 4) {
        radix4Pass<kForward>(a, points, h, w);
    }
    finalPass<kForward>(a, points, last, out, scale);
}

}  // namespace

void OouraFFT::init(std::uint32_t n) {
    if (n == size) {
        return;
    }
    bitReversal.assign(2 + static_cast<std::size_t>(std::sqrt(static_cast<double>(n))), 0);
    table.assign(n / 2, 0.0);
    work.assign(n, 0.0);
    size = n;

    const std::int32_t nw = static_cast<std::int32_t>(n / 4);
    bitReversal[0] = nw;
    bitReversal[1] = 1;
    if (nw > 2) {
        const std::int32_t h = nw / 2;
        const double delta = std::atan(1.0) / h;
        table[0] = 1.0;
        table[1] = 0.0;
        table[h] = std::cos(delta * h);
        table[h + 1] = table[h];
        if (h > 2) {
            for (std::int32_t j = 2; j < h; j += 2) {
                const double x = std::cos(delta * j);
                const double y = std::sin(delta * j);
                table[j] = x;
                table[j + 1] = y;
                table[nw - j] = y;
                table[nw - j + 1] = x;
            }
            reverseOrder(table.data(), static_cast<std::uint32_t>(nw / 2), bitReversal.data() + 2);
        }
    }

    const std::int32_t nc = static_cast<std::int32_t>(n / 4);
    bitReversal[1] = nc;
    if (nc > 1) {
        double* ct = table.data() + nw;
        const std::int32_t h = nc / 2;
        const double delta = std::atan(1.0) / h;
        ct[0] = std::cos(delta * h);
        ct[h] = 0.5 * ct[0];
        for (std::int32_t j = 1; j < h; ++j) {
            ct[j] = 0.5 * std::cos(delta * j);
            ct[nc - j] = 0.5 * std::sin(delta * j);
        }
    }
}

void OouraFFT::fft(const double* data, double* re, double* im) {
    if (size == 2) {
        re[0] = data[0] + data[1];
        re[1] = data[0] - data[1];
        im[0] = 0.0;
        im[1] = 0.0;
        return;
    }
    const std::size_t half = size / 2;
    const std::size_t quarter = half / 2;
    double* b = work.data();
    transform<true>(data, b, half, table.data(), bitReversal.data() + 2, b, 1.0);

    const std::size_t nc = static_cast<std::size_t>(bitReversal[1]);
    const double* ct = table.data() + static_cast<std::size_t>(bitReversal[0]);
    std::size_t k = 1;
#if BRIGHTFALL_X86_KERNELS
    if (dspkernels::vectorKernelsActive() && quarter >= 8) {
        separatePlain(b, re, im, half, ct, nc, 1, 2);
        k = separateAvx2(b, re, im, half, ct, nc);
    }
#endif
    separatePlain(b, re, im, half, ct, nc, k, quarter);
    // Bin 0 and bin N/2 come from the first point; bin N/4 is its own mirror.
    re[0] = b[0] + b[1];
    im[0] = 0.0;
    re[quarter] = b[half];
    im[quarter] = -b[half + 1];
    re[half] = b[0] - b[1];
    im[half] = 0.0;
}

void OouraFFT::ifft(double* data, const double* re, const double* im) {
    const double scale = 2.0 / static_cast<double>(size);
    if (size == 2) {
        const double odd = 0.5 * (re[0] - re[1]);
        data[0] = (re[0] - odd) * scale;
        data[1] = odd * scale;
        return;
    }
    const std::size_t half = size / 2;
    const std::size_t quarter = half / 2;

    // The complex spectrum is assembled in the work buffer, which the
    // transform reads in bit-reversed order into `data`: the spectrum may lie
    // where the result goes, as a convolver summing in place keeps it.
    const std::size_t nc = static_cast<std::size_t>(bitReversal[1]);
    const double* ct = table.data() + static_cast<std::size_t>(bitReversal[0]);
    double* z = work.data();
    std::size_t k = 1;
#if BRIGHTFALL_X86_KERNELS
    if (dspkernels::vectorKernelsActive()) {
        k = combineAvx2(re, im, z, half, ct, nc);
    }
#endif
    combinePlain(re, im, z, half, ct, nc, k, quarter);
    // Bins 0 and N/2 share the first point (im[0] and im[N/2] are not read);
    // bin N/4 is its own mirror.
    const double odd = 0.5 * (re[0] - re[half]);
    z[0] = re[0] - odd;
    z[1] = odd;
    z[half] = re[quarter];
    z[half + 1] = -im[quarter];
    transform<false>(z, data, half, table.data(), bitReversal.data() + 2, data, scale);
}

}  // namespace audiofft
