#include "dsp/OouraFFT.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

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
            u1r = w[2 * b];
            u1i = w[2 * b + 1];
            // u^2 is table entry b/2; for odd b it is i times entry (b-1)/2.
            if ((b & 1) == 0) {
                u2r = w[b];
                u2i = w[b + 1];
            } else {
                u2r = -w[b];
                u2i = w[b - 1];
            }
        }
        u1i *= sign;
        u2i *= sign;
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

void radix2Pass(double* a, std::size_t h) {
    double* q1 = a + 2 * h;
    for (std::size_t j = 0; j < 2 * h; ++j) {
        const double d = a[j] - q1[j];
        a[j] += q1[j];
        q1[j] = d;
    }
}

template <bool kForward>
void complexTransform(double* a, std::size_t points, const double* w) {
    std::size_t h = 1;
    for (; 4 * h <= points; h *= 4) {
        radix4Pass<kForward>(a, points, h, w);
    }
    if (2 * h == points) {
        radix2Pass(a, h);
    }
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
    const std::size_t n = size;
    const std::size_t half = n / 2;
    double* b = work.data();
    std::memcpy(b, data, n * sizeof(double));

    const std::size_t nw = static_cast<std::size_t>(bitReversal[0]);
    if (n > 4) {
        reverseOrder(b, static_cast<std::uint32_t>(half), bitReversal.data() + 2);
        complexTransform<true>(b, half, table.data());
        // Separate the spectra of the even and odd samples out of the complex
        // result: X[k] = Z[k] - c*D, X[M-k] = Z[M-k] + conj(c*D), with
        // D = Z[k] - conj(Z[M-k]) and c = (1 + i*exp(i*pi*k/M)) / 2.
        const std::size_t nc = static_cast<std::size_t>(bitReversal[1]);
        const double* ct = table.data() + nw;
        for (std::size_t k = 1; k < nc; ++k) {
            const std::size_t j = 2 * k;
            const std::size_t l = n - j;
            const double cr = 0.5 - ct[nc - k];
            const double ci = ct[k];
            const double dr = b[j] - b[l];
            const double di = b[j + 1] + b[l + 1];
            const double yr = cr * dr - ci * di;
            const double yi = cr * di + ci * dr;
            b[j] -= yr;
            b[j + 1] -= yi;
            b[l] += yr;
            b[l + 1] -= yi;
        }
    } else if (n == 4) {
        complexTransform<true>(b, half, table.data());
    }
    const double sum = b[0] + b[1];
    const double alternating = b[0] - b[1];

    // b now holds cosine sums at even and sine sums at odd places: negating the
    // sine sums gives the negative-exponent spectrum.
    re[0] = sum;
    im[0] = 0.0;
    for (std::size_t k = 1; k < half; ++k) {
        re[k] = b[2 * k];
        im[k] = -b[2 * k + 1];
    }
    re[half] = alternating;
    im[half] = 0.0;
}

void OouraFFT::ifft(double* data, const double* re, const double* im) {
    const std::size_t n = size;
    const std::size_t half = n / 2;
    double* b = work.data();
    for (std::size_t k = 1; k < half; ++k) {
        b[2 * k] = re[k];
        b[2 * k + 1] = -im[k];
    }
    b[1] = 0.5 * (re[0] - re[half]);
    b[0] = re[0] - b[1];

    const std::size_t nw = static_cast<std::size_t>(bitReversal[0]);
    if (n > 4) {
        // Inverse of the separation in fft: Z[k] = X[k] - conj(c)*D,
        // Z[M-k] = X[M-k] + conj(conj(c)*D), D = X[k] - conj(X[M-k]).
        const std::size_t nc = static_cast<std::size_t>(bitReversal[1]);
        const double* ct = table.data() + nw;
        for (std::size_t k = 1; k < nc; ++k) {
            const std::size_t j = 2 * k;
            const std::size_t l = n - j;
            const double cr = 0.5 - ct[nc - k];
            const double ci = ct[k];
            const double dr = b[j] - b[l];
            const double di = b[j + 1] + b[l + 1];
            const double yr = cr * dr + ci * di;
            const double yi = cr * di - ci * dr;
            b[j] -= yr;
            b[j + 1] -= yi;
            b[l] += yr;
            b[l + 1] -= yi;
        }
        reverseOrder(b, static_cast<std::uint32_t>(half), bitReversal.data() + 2);
        complexTransform<false>(b, half, table.data());
    } else if (n == 4) {
        complexTransform<true>(b, half, table.data());
    }

    const double scale = 2.0 / static_cast<double>(size);
    for (std::size_t j = 0; j < n; ++j) {
        data[j] = b[j] * scale;
    }
}

}  // namespace audiofft
