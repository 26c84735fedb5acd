#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "DspTestSupport.h"
#include "dsp/TwoStageFFTConvolver.h"

namespace {

using fftconvolver::TwoStageFFTConvolver;

constexpr std::size_t kHeadRequest = 102;
constexpr std::size_t kTailRequest = 1706;
constexpr std::size_t H = 128;
constexpr std::size_t T = 2048;
const std::size_t kCallSizes[] = {1, 7, 64, 1000, 0};  // 0: the whole signal at once

TEST(TwoStageFFTConvolver, MatchesDirectConvolutionAcrossAllPieces) {
    dsptest::withEachKernelSet([](const char* kernels) {
        SCOPED_TRACE(kernels);
        const std::vector<double> x = dsptest::noise(7000, 11);
        for (std::size_t irLen : {std::size_t{1}, H, H + 1, T, T + 1, 2 * T, 2 * T + 1}) {
            const std::vector<double> h = dsptest::noise(irLen, static_cast<unsigned>(irLen));
            const std::vector<double> ref = dsptest::directConvolution(x, h, 0, x.size());
            for (std::size_t call : kCallSizes) {
                SCOPED_TRACE(testing::Message() << "irLen " << irLen << " call " << call);
                TwoStageFFTConvolver conv;
                ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), h.size()));
                const std::vector<double> y = dsptest::runInCalls(conv, x, call);
                EXPECT_LT(dsptest::relativeError(y, 0, ref), 1e-9);
            }
        }
    });
}

TEST(TwoStageFFTConvolver, MatchesDirectConvolutionWithAFullLengthResponse) {
    // A decaying 128000-sample response and a burst of input followed by
    // silence; windows at the start, across the middle and at the end of the
    // response are compared against the direct sum.
    const std::size_t irLen = 128000;
    std::vector<double> h = dsptest::noise(irLen, 12);
    for (std::size_t i = 0; i < irLen; ++i) {
        h[i] *= std::exp(-3.0 * static_cast<double>(i) / static_cast<double>(irLen));
    }
    const std::vector<double> burst = dsptest::noise(3000, 13);
    std::vector<double> x(irLen + 3000, 0.0);
    std::copy(burst.begin(), burst.end(), x.begin());

    const std::size_t windows[][2] = {{0, 4500}, {61000, 62500}, {irLen - 500, irLen + 2999}};
    std::vector<std::vector<double>> refs;
    for (const auto& w : windows) {
        refs.push_back(dsptest::directConvolution(burst, h, w[0], w[1]));
    }
    for (std::size_t call : kCallSizes) {
        SCOPED_TRACE(testing::Message() << "call " << call);
        TwoStageFFTConvolver conv;
        ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), h.size()));
        EXPECT_EQ(conv.getHead().getPartitionCount(), 16u);
        EXPECT_EQ(conv.getNearTail().getPartitionCount(), 16u);
        EXPECT_EQ(conv.getFarTail().getPartitionSize(), T);
        EXPECT_EQ(conv.getFarTail().getPartitionCount(), 61u);
        const std::vector<double> y = dsptest::runInCalls(conv, x, call);
        for (std::size_t w = 0; w < refs.size(); ++w) {
            EXPECT_LT(dsptest::relativeError(y, windows[w][0], refs[w]), 1e-9) << "window " << w;
        }
    }
}

TEST(TwoStageFFTConvolver, AnImpulseAt2TPlus5ComesOutExactlyThatLate) {
    std::vector<double> h(2 * T + 6, 0.0);
    h[2 * T + 5] = 1.0;
    std::vector<double> x(3 * T + 700, 0.0);
    const std::size_t at = 300;
    x[at] = 1.0;
    for (std::size_t call : {std::size_t{1}, std::size_t{37}, std::size_t{0}}) {
        SCOPED_TRACE(call);
        TwoStageFFTConvolver conv;
        ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), h.size()));
        const std::vector<double> y = dsptest::runInCalls(conv, x, call);
        for (std::size_t i = 0; i < y.size(); ++i) {
            ASSERT_NEAR(y[i], i == at + 2 * T + 5 ? 1.0 : 0.0, 1e-12) << "sample " << i;
        }
    }
}

TEST(TwoStageFFTConvolver, BlockSizesRoundUpAndAreOrdered) {
    const std::vector<double> h = dsptest::noise(5000, 14);
    TwoStageFFTConvolver conv;
    ASSERT_TRUE(conv.init(102, 1706, h.data(), h.size()));
    EXPECT_EQ(conv.getHeadSize(), H);
    EXPECT_EQ(conv.getTailSize(), T);
    ASSERT_TRUE(conv.init(1706, 102, h.data(), h.size()));
    EXPECT_EQ(conv.getHeadSize(), H);
    EXPECT_EQ(conv.getTailSize(), T);
    EXPECT_EQ(conv.getHead().getPartitionSize(), H);
    EXPECT_EQ(conv.getFarTail().getPartitionSize(), T);

    // Equal sizes: H = T, and the result is still the full convolution.
    ASSERT_TRUE(conv.init(256, 256, h.data(), 1000));
    EXPECT_EQ(conv.getHeadSize(), 256u);
    EXPECT_EQ(conv.getTailSize(), 256u);
    const std::vector<double> x = dsptest::noise(2000, 15);
    const std::vector<double> hShort(h.begin(), h.begin() + 1000);
    const std::vector<double> y = dsptest::runInCalls(conv, x, 100);
    EXPECT_LT(dsptest::relativeError(y, 0, dsptest::directConvolution(x, hShort, 0, x.size())),
              1e-9);
}

TEST(TwoStageFFTConvolver, PiecesFollowTheResponseLength) {
    const std::vector<double> h = dsptest::noise(3 * T, 16);
    TwoStageFFTConvolver conv;
    ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), T));
    EXPECT_EQ(conv.getHead().getPartitionCount(), 16u);
    EXPECT_EQ(conv.getNearTail().getPartitionCount(), 0u);
    EXPECT_EQ(conv.getFarTail().getPartitionCount(), 0u);

    ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), 2 * T));
    EXPECT_EQ(conv.getNearTail().getPartitionCount(), 16u);
    EXPECT_EQ(conv.getFarTail().getPartitionCount(), 0u);

    ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), 2 * T + 1));
    EXPECT_EQ(conv.getFarTail().getPartitionCount(), 1u);
}

TEST(TwoStageFFTConvolver, ZeroBlockSizesAndResetGiveZeros) {
    const std::vector<double> h = dsptest::noise(5000, 17);
    const std::vector<double> x = dsptest::noise(3000, 18);
    TwoStageFFTConvolver conv;

    EXPECT_FALSE(conv.init(0, 1706, h.data(), h.size()));
    EXPECT_FALSE(conv.init(102, 0, h.data(), h.size()));
    EXPECT_FALSE(conv.init(102, fftconvolver::FFTConvolver::kMaxBlockSize + 1, h.data(), h.size()));
    EXPECT_EQ(conv.getHeadSize(), 0u);
    EXPECT_TRUE(dsptest::outputsSilence(conv, x));

    ASSERT_TRUE(conv.init(102, 1706, h.data(), h.size()));
    dsptest::runInCalls(conv, x, 64);
    conv.reset();
    EXPECT_EQ(conv.getTailSize(), 0u);
    EXPECT_TRUE(dsptest::outputsSilence(conv, x));
}

// The sliced far-tail work must give every output sample bit for bit, whatever
// the call sizes, the number of far-tail partitions and the kernel set (long
// spectra are summed block of bins by block, short ones bin run by run).
TEST(TwoStageFFTConvolver, SpreadingTheTailWorkChangesNoOutputSample) {
    using Schedule = TwoStageFFTConvolver::TailSchedule;
    struct Case {
        std::size_t head, tail, irLen;
    };
    const Case cases[] = {{kHeadRequest, kTailRequest, 2 * T + 1},
                          {kHeadRequest, kTailRequest, 6 * T + 17},
                          {16, 128, 40 * 128 + 5}};
    const std::vector<double> x = dsptest::noise(9 * T + 321, 21);
    dsptest::withEachKernelSet([&](const char* kernels) {
        SCOPED_TRACE(kernels);
        for (const Case& c : cases) {
            const std::vector<double> h = dsptest::noise(c.irLen, static_cast<unsigned>(c.irLen));
            for (std::size_t call : {std::size_t{1}, std::size_t{7}, std::size_t{64},
                                     std::size_t{1000}, 2 * T + 3, std::size_t{0}}) {
                SCOPED_TRACE(testing::Message() << "irLen " << c.irLen << " call " << call);
                TwoStageFFTConvolver atOnce, spread;
                spread.setTailSchedule(Schedule::SpreadOverPeriod);
                ASSERT_TRUE(atOnce.init(c.head, c.tail, h.data(), h.size()));
                ASSERT_TRUE(spread.init(c.head, c.tail, h.data(), h.size()));
                EXPECT_EQ(dsptest::runInCalls(spread, x, call),
                          dsptest::runInCalls(atOnce, x, call));
            }
        }
    });
}

TEST(TwoStageFFTConvolver, SpreadTailWorkIsPacedByTheSamplesEachCallBrings) {
    // A full-length response at 64-sample calls: 32 calls a period. No call
    // may do more than its share of the slices, the work must advance through
    // the period, and one period's work must be done before the next starts.
    const std::vector<double> h = dsptest::noise(128000, 22, 0.1);
    const std::vector<double> x = dsptest::noise(64, 23);
    std::vector<double> y(64);
    TwoStageFFTConvolver conv;
    conv.setTailSchedule(TwoStageFFTConvolver::TailSchedule::SpreadOverPeriod);
    ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), h.size()));
    const std::size_t slices = conv.getFarTail().getBlockSliceCount() + 2;
    ASSERT_GT(slices, 4u);
    const std::size_t callsPerPeriod = T / 64;
    const std::size_t share = (slices * 64 + T - 1) / T;

    for (std::size_t call = 0; call + 1 < callsPerPeriod; ++call) {
        conv.process(x.data(), y.data(), 64);
        ASSERT_EQ(conv.getTailStepsLeft(), 0u) << "no work before a period is complete";
    }
    for (int period = 0; period < 3; ++period) {
        conv.process(x.data(), y.data(), 64);
        ASSERT_EQ(conv.getTailStepsLeft(), slices) << "a complete period starts its work";
        std::size_t left = slices;
        for (std::size_t call = 0; call + 1 < callsPerPeriod; ++call) {
            conv.process(x.data(), y.data(), 64);
            const std::size_t now = conv.getTailStepsLeft();
            ASSERT_LE(now, left);
            EXPECT_LE(left - now, share) << "call " << call << " did more than its share";
            if (call + 1 == callsPerPeriod / 2) {
                EXPECT_LE(now, slices / 2 + share) << "half a period, under half the work done";
            }
            left = now;
        }
        EXPECT_LE(left, share);
    }

    // The schedule survives init and reset; pending work does not.
    ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), h.size()));
    EXPECT_EQ(conv.getTailStepsLeft(), 0u);
    EXPECT_EQ(conv.getTailSchedule(), TwoStageFFTConvolver::TailSchedule::SpreadOverPeriod);
}

TEST(TwoStageFFTConvolver, ANewResponseInTheMiddleOfSpreadWorkStartsClean) {
    // init while slices of the old response are pending must not let them run
    // against the new one.
    const std::vector<double> h1 = dsptest::noise(5 * T, 24);
    const std::vector<double> h2 = dsptest::noise(4 * T + 9, 25);
    const std::vector<double> x = dsptest::noise(6 * T, 26);
    TwoStageFFTConvolver reused, fresh;
    reused.setTailSchedule(TwoStageFFTConvolver::TailSchedule::SpreadOverPeriod);
    fresh.setTailSchedule(TwoStageFFTConvolver::TailSchedule::SpreadOverPeriod);
    ASSERT_TRUE(reused.init(kHeadRequest, kTailRequest, h1.data(), h1.size()));
    std::vector<double> y(T + 300);
    reused.process(x.data(), y.data(), y.size());
    ASSERT_GT(reused.getTailStepsLeft(), 0u);

    ASSERT_TRUE(reused.init(kHeadRequest, kTailRequest, h2.data(), h2.size()));
    ASSERT_TRUE(fresh.init(kHeadRequest, kTailRequest, h2.data(), h2.size()));
    EXPECT_EQ(dsptest::runInCalls(reused, x, 64), dsptest::runInCalls(fresh, x, 64));
}

}  // namespace
