#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "DspTestSupport.h"
#include "dsp/OouraFFT.h"
#include "dsp/RealFFT.h"

namespace {

const double kPi = std::acos(-1.0);

struct Spectrum {
    std::vector<double> re, im;
};

// Direct DFT with a negative exponent over bins 0 .. N/2; the angle index is
// reduced modulo N so the table lookup is exact.
Spectrum directDft(const std::vector<double>& x) {
    const std::size_t n = x.size();
    std::vector<double> c(n), s(n);
    for (std::size_t m = 0; m < n; ++m) {
        c[m] = std::cos(2.0 * kPi * static_cast<double>(m) / static_cast<double>(n));
        s[m] = std::sin(2.0 * kPi * static_cast<double>(m) / static_cast<double>(n));
    }
    Spectrum out{std::vector<double>(n / 2 + 1), std::vector<double>(n / 2 + 1)};
    for (std::size_t k = 0; k <= n / 2; ++k) {
        double re = 0.0, im = 0.0;
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t m = (j * k) % n;
            re += x[j] * c[m];
            im -= x[j] * s[m];
        }
        out.re[k] = re;
        out.im[k] = im;
    }
    return out;
}

TEST(RealFFT, MatchesDirectDftAndInvertsForEveryPowerOfTwo) {
    dsptest::withEachKernelSet([](const char* kernels) {
        SCOPED_TRACE(kernels);
        for (std::size_t n = 2; n <= 8192; n *= 2) {
            SCOPED_TRACE(n);
            audiofft::RealFFT fft;
            fft.init(static_cast<std::uint32_t>(n));
            const std::size_t bins = audiofft::RealFFT::complexSize(n);
            ASSERT_EQ(bins, n / 2 + 1);

            const std::vector<double> x = dsptest::noise(n, static_cast<unsigned>(n));
            std::vector<double> re(bins), im(bins);
            fft.fft(x.data(), re.data(), im.data());

            const Spectrum ref = directDft(x);
            const double tol = 1e-13 * static_cast<double>(n);
            for (std::size_t k = 0; k < bins; ++k) {
                ASSERT_NEAR(re[k], ref.re[k], tol) << "bin " << k;
                ASSERT_NEAR(im[k], ref.im[k], tol) << "bin " << k;
            }
            EXPECT_EQ(im[0], 0.0);
            EXPECT_EQ(im[n / 2], 0.0);

            std::vector<double> back(n);
            fft.ifft(back.data(), re.data(), im.data());
            for (std::size_t j = 0; j < n; ++j) {
                ASSERT_NEAR(back[j], x[j], 1e-14) << "sample " << j;
            }

            // In place, as a convolver's spectrum slots are used: the bins
            // written over the samples (re, then im from bin count on), and
            // back, give the same numbers.
            if (n >= 4) {
                std::vector<double> slot(x);
                slot.resize(2 * bins);
                fft.fft(slot.data(), slot.data(), slot.data() + bins);
                for (std::size_t k = 0; k < bins; ++k) {
                    ASSERT_EQ(slot[k], re[k]) << "bin " << k;
                    ASSERT_EQ(slot[bins + k], im[k]) << "bin " << k;
                }
                fft.ifft(slot.data(), slot.data(), slot.data() + bins);
                for (std::size_t j = 0; j < n; ++j) {
                    ASSERT_EQ(slot[j], back[j]) << "sample " << j;
                }
            }
        }
    });
}

TEST(RealFFT, ImpulsesAtZeroAndOne) {
    for (std::size_t n : {2u, 4u, 8u, 32u, 256u, 4096u}) {
        SCOPED_TRACE(n);
        audiofft::RealFFT fft;
        fft.init(static_cast<std::uint32_t>(n));
        std::vector<double> x(n, 0.0), re(n / 2 + 1), im(n / 2 + 1);

        x[0] = 1.0;
        fft.fft(x.data(), re.data(), im.data());
        for (std::size_t k = 0; k <= n / 2; ++k) {
            ASSERT_NEAR(re[k], 1.0, 1e-15);
            ASSERT_NEAR(im[k], 0.0, 1e-15);
        }

        x[0] = 0.0;
        x[1] = 1.0;
        fft.fft(x.data(), re.data(), im.data());
        for (std::size_t k = 0; k <= n / 2; ++k) {
            const double angle = 2.0 * kPi * static_cast<double>(k) / static_cast<double>(n);
            ASSERT_NEAR(re[k], std::cos(angle), 1e-14) << "bin " << k;
            ASSERT_NEAR(im[k], -std::sin(angle), 1e-14) << "bin " << k;
        }
    }
}

TEST(RealFFT, TwoPointTransform) {
    audiofft::RealFFT fft;
    fft.init(2);
    const double x[2] = {3.0, 5.0};
    double re[2], im[2] = {7.0, 7.0};
    fft.fft(x, re, im);
    EXPECT_EQ(re[0], 8.0);
    EXPECT_EQ(re[1], -2.0);
    EXPECT_EQ(im[0], 0.0);
    EXPECT_EQ(im[1], 0.0);
    double back[2];
    fft.ifft(back, re, im);
    EXPECT_EQ(back[0], 3.0);
    EXPECT_EQ(back[1], 5.0);
}

TEST(RealFFT, InverseIgnoresImaginaryPartsOfEdgeBins) {
    for (std::size_t n : {2u, 4u, 64u, 1024u}) {
        SCOPED_TRACE(n);
        audiofft::RealFFT fft;
        fft.init(static_cast<std::uint32_t>(n));
        const std::vector<double> x = dsptest::noise(n, 7);
        std::vector<double> re(n / 2 + 1), im(n / 2 + 1);
        fft.fft(x.data(), re.data(), im.data());

        std::vector<double> clean(n), dirty(n);
        fft.ifft(clean.data(), re.data(), im.data());
        im[0] = 123.0;
        im[n / 2] = std::numeric_limits<double>::quiet_NaN();
        fft.ifft(dirty.data(), re.data(), im.data());
        for (std::size_t j = 0; j < n; ++j) {
            ASSERT_EQ(dirty[j], clean[j]);
        }
    }
}

TEST(OouraFFT, TablesAreSizedPerTransformAndKeptForTheSameSize) {
    audiofft::OouraFFT fft;
    EXPECT_EQ(fft.getSize(), 0u);

    fft.init(256);
    EXPECT_EQ(fft.getBitReversalArea().size(), 18u);
    EXPECT_EQ(fft.getTable().size(), 128u);
    EXPECT_EQ(fft.getBitReversalArea()[0], 64);
    EXPECT_EQ(fft.getBitReversalArea()[1], 64);
    const std::vector<double> table256 = fft.getTable();
    const double* storage = fft.getTable().data();
    fft.init(256);
    EXPECT_EQ(fft.getTable().data(), storage);
    EXPECT_EQ(fft.getTable(), table256);

    fft.init(4096);
    EXPECT_EQ(fft.getBitReversalArea().size(), 66u);
    EXPECT_EQ(fft.getTable().size(), 2048u);

    fft.init(0);
    EXPECT_EQ(fft.getSize(), 0u);
    EXPECT_TRUE(fft.getTable().empty());

    // Rebuilding after a size change gives the same tables as a fresh object.
    fft.init(256);
    EXPECT_EQ(fft.getTable(), table256);
}

}  // namespace
