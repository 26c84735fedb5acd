#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "DspTestSupport.h"
#include "dsp/FFTConvolver.h"

namespace {

using fftconvolver::FFTConvolver;

const std::size_t kCallSizes[] = {1, 7, 64, 1000, 0};  // 0: the whole signal at once

TEST(FFTConvolver, MatchesDirectConvolutionWhateverTheCallSizes) {
    // Blocks of 128 and 1024: short spectra are summed bin run by bin run,
    // long ones in blocks of bins; both under each kernel set.
    const std::vector<double> x = dsptest::noise(3000, 1);
    struct Case {
        std::size_t block, irLen;
    };
    const Case cases[] = {{128, 1},   {128, 127},  {128, 128},   {128, 129},
                          {128, 389}, {128, 2048}, {1024, 1025}, {1024, 5 * 1024 + 3}};
    std::vector<std::vector<double>> refs;
    for (const Case& c : cases) {
        const std::vector<double> h = dsptest::noise(c.irLen, static_cast<unsigned>(c.irLen));
        refs.push_back(dsptest::directConvolution(x, h, 0, x.size()));
    }
    dsptest::withEachKernelSet([&](const char* kernels) {
        SCOPED_TRACE(kernels);
        for (std::size_t n = 0; n < refs.size(); ++n) {
            const Case& c = cases[n];
            const std::vector<double> h = dsptest::noise(c.irLen, static_cast<unsigned>(c.irLen));
            for (std::size_t call : kCallSizes) {
                SCOPED_TRACE(testing::Message()
                             << "block " << c.block << " irLen " << c.irLen << " call " << call);
                FFTConvolver conv;
                ASSERT_TRUE(conv.init(c.block, h.data(), h.size()));
                const std::vector<double> y = dsptest::runInCalls(conv, x, call);
                EXPECT_LT(dsptest::relativeError(y, 0, refs[n]), 1e-9);
            }
        }
    });
}

TEST(FFTConvolver, ProcessesInPlace) {
    const std::vector<double> h = dsptest::noise(300, 2);
    const std::vector<double> x = dsptest::noise(1000, 3);
    FFTConvolver a, b;
    ASSERT_TRUE(a.init(64, h.data(), h.size()));
    ASSERT_TRUE(b.init(64, h.data(), h.size()));
    std::vector<double> separate(x.size());
    std::vector<double> inPlace = x;
    for (std::size_t done = 0; done < x.size(); done += 100) {
        a.process(x.data() + done, separate.data() + done, 100);
        b.process(inPlace.data() + done, inPlace.data() + done, 100);
    }
    EXPECT_EQ(inPlace, separate);
}

TEST(FFTConvolver, ShortResponsesReproduceAndDelayTheInput) {
    const std::vector<double> x = dsptest::noise(500, 4);
    const double identity[] = {1.0};
    const double delay[] = {0.0, 1.0};
    FFTConvolver conv;
    ASSERT_TRUE(conv.init(16, identity, 1));
    std::vector<double> y = dsptest::runInCalls(conv, x, 13);
    for (std::size_t i = 0; i < x.size(); ++i) {
        ASSERT_NEAR(y[i], x[i], 1e-15);
    }
    ASSERT_TRUE(conv.init(16, delay, 2));
    y = dsptest::runInCalls(conv, x, 13);
    EXPECT_NEAR(y[0], 0.0, 1e-15);
    for (std::size_t i = 1; i < x.size(); ++i) {
        ASSERT_NEAR(y[i], x[i - 1], 1e-15);
    }
}

TEST(FFTConvolver, RoundsBlockSizeUpAndCountsPartitions) {
    const std::vector<double> h = dsptest::noise(2049, 5);
    FFTConvolver conv;
    ASSERT_TRUE(conv.init(102, h.data(), 2048));
    EXPECT_EQ(conv.getPartitionSize(), 128u);
    EXPECT_EQ(conv.getFftSize(), 256u);
    EXPECT_EQ(conv.getSpectrumSize(), 129u);
    EXPECT_EQ(conv.getPartitionCount(), 16u);

    ASSERT_TRUE(conv.init(102, h.data(), 2049));  // last partition zero-padded
    EXPECT_EQ(conv.getPartitionCount(), 17u);

    ASSERT_TRUE(conv.init(1706, h.data(), h.size()));
    EXPECT_EQ(conv.getPartitionSize(), 2048u);
    EXPECT_EQ(conv.getFftSize(), 4096u);
    EXPECT_EQ(conv.getSpectrumSize(), 2049u);
    EXPECT_EQ(conv.getPartitionCount(), 2u);

    ASSERT_TRUE(conv.init(128, h.data(), h.size()));
    EXPECT_EQ(conv.getPartitionSize(), 128u);
    ASSERT_TRUE(conv.init(1, h.data(), 5));
    EXPECT_EQ(conv.getPartitionSize(), 1u);
    EXPECT_EQ(conv.getPartitionCount(), 5u);
}

TEST(FFTConvolver, UnusableBlockSizesAndSilentResponsesGiveZeros) {
    const std::vector<double> h = dsptest::noise(100, 6);
    const std::vector<double> x = dsptest::noise(300, 7);
    const std::vector<double> quiet = {5e-7, -9e-7, 0.0};
    FFTConvolver conv;

    EXPECT_FALSE(conv.init(0, h.data(), h.size()));
    EXPECT_EQ(conv.getPartitionCount(), 0u);
    EXPECT_FALSE(conv.init(FFTConvolver::kMaxBlockSize + 1, h.data(), h.size()));
    EXPECT_TRUE(conv.init(64, h.data(), 0));
    EXPECT_TRUE(conv.init(64, quiet.data(), quiet.size()));
    EXPECT_EQ(conv.getPartitionCount(), 0u);

    EXPECT_TRUE(dsptest::outputsSilence(conv, x));

    ASSERT_TRUE(conv.init(64, h.data(), h.size()));
    conv.reset();
    EXPECT_EQ(conv.getPartitionCount(), 0u);
    EXPECT_TRUE(dsptest::outputsSilence(conv, x));
}

// A refused size leaves the buffer as it was; sizing down keeps the storage,
// so a convolver prepared again for a shorter response allocates nothing.
TEST(Buffer, RefusesSizesWhoseByteCountWouldWrapAround) {
    fftconvolver::Buffer<double> buffer;
    buffer.resize(4);
    const double* storage = buffer.data();
    EXPECT_THROW(buffer.resize(std::numeric_limits<std::size_t>::max() / 4), std::bad_alloc);
    EXPECT_EQ(buffer.size(), 4u);
    EXPECT_EQ(buffer.data(), storage);
    buffer.resize(2);
    EXPECT_EQ(buffer.data(), storage);
    EXPECT_EQ(buffer.capacity(), 4u);
}

TEST(FFTConvolver, TrimsTrailingSamplesBelowTheSinglePrecisionThreshold) {
    const double threshold = static_cast<double>(1e-6f);  // 9.999999974752427e-7
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::vector<double> ir;
        std::size_t kept;
    };
    const Case cases[] = {
        {{1.0, 0.5, threshold}, 3},                       // at the threshold: kept
        {{1.0, 0.5, std::nextafter(threshold, 0.0)}, 2},  // just below: dropped
        {{1.0, 0.5, 1e-6}, 3},                            // 1e-6 in double is above
        {{1.0, -1e-3, -9e-7, 0.0, 0.0}, 2},               // magnitudes count
        {{1e-9, 1e-9, 1.0, 1e-9, 0.0}, 3},                // leading and inner kept
        {{1.0, nan, 0.0, 1e-7}, 2},                       // a NaN stops the trim
    };
    for (const Case& c : cases) {
        FFTConvolver conv;
        ASSERT_TRUE(conv.init(1, c.ir.data(), c.ir.size()));
        EXPECT_EQ(conv.getPartitionCount(), c.kept);
    }
}

TEST(FFTConvolver, ZeroLengthCallsAndNewResponsesLeaveNoTrace) {
    const std::vector<double> h = dsptest::noise(200, 8);
    const std::vector<double> x = dsptest::noise(400, 9);
    FFTConvolver conv;
    ASSERT_TRUE(conv.init(32, h.data(), h.size()));
    double untouched = 42.0;
    conv.process(x.data(), &untouched, 0);
    EXPECT_EQ(untouched, 42.0);

    // History from an earlier response must not leak into a new one.
    dsptest::runInCalls(conv, x, 50);
    ASSERT_TRUE(conv.init(32, h.data(), h.size()));
    const std::vector<double> y = dsptest::runInCalls(conv, x, 50);
    EXPECT_LT(dsptest::relativeError(y, 0, dsptest::directConvolution(x, h, 0, x.size())), 1e-12);
}

TEST(FFTConvolver, ABlockInStagesEqualsTheBlockProcessedAtOnce) {
    // The slices of bins, taken in any order, must add up to the one-pass sum
    // bit for bit, for short spectra (one slice) and long ones (several, the
    // last with the bins past the last whole slice). Stages asked for while a
    // block is part-filled do nothing.
    dsptest::withEachKernelSet([](const char* kernels) {
        SCOPED_TRACE(kernels);
        for (std::size_t block : {std::size_t{64}, std::size_t{2048}}) {
            SCOPED_TRACE(testing::Message() << "block " << block);
            const std::vector<double> h = dsptest::noise(7 * block + 5, 31);
            const std::vector<double> x = dsptest::noise(12 * block, 32);
            FFTConvolver atOnce, staged;
            ASSERT_TRUE(atOnce.init(block, h.data(), h.size()));
            ASSERT_TRUE(staged.init(block, h.data(), h.size()));
            const std::size_t slices = staged.getBlockSliceCount();
            EXPECT_EQ(slices > 1, block > 256);
            std::vector<double> expected(x.size()), actual(x.size());
            atOnce.process(x.data(), expected.data(), x.size());
            for (std::size_t b = 0; b < x.size() / block; ++b) {
                staged.beginBlock(x.data() + b * block);
                for (std::size_t s = slices; s-- > 0;) {
                    staged.accumulateBlockSlice(s);
                }
                staged.accumulateBlockSlice(slices);  // past the last: nothing
                staged.accumulateBlockSlice(slices + 7);
                staged.finishBlock(actual.data() + b * block);
            }
            EXPECT_EQ(actual, expected);

            std::vector<double> before(block, 7.0), after(block, 7.0);
            staged.process(x.data(), before.data(), 3);
            staged.beginBlock(x.data());
            staged.accumulateBlockSlice(0);
            staged.finishBlock(after.data());
            EXPECT_EQ(after, std::vector<double>(block, 7.0));
        }
    });
}

}  // namespace
