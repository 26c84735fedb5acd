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
    std::vector<double> y(x.size(), 99.0);
    TwoStageFFTConvolver conv;

    EXPECT_FALSE(conv.init(0, 1706, h.data(), h.size()));
    EXPECT_FALSE(conv.init(102, 0, h.data(), h.size()));
    EXPECT_FALSE(conv.init(102, fftconvolver::FFTConvolver::kMaxBlockSize + 1, h.data(), h.size()));
    EXPECT_EQ(conv.getHeadSize(), 0u);
    conv.process(x.data(), y.data(), y.size());
    EXPECT_EQ(y, std::vector<double>(x.size(), 0.0));

    ASSERT_TRUE(conv.init(102, 1706, h.data(), h.size()));
    dsptest::runInCalls(conv, x, 64);
    conv.reset();
    EXPECT_EQ(conv.getTailSize(), 0u);
    std::fill(y.begin(), y.end(), 99.0);
    conv.process(x.data(), y.data(), y.size());
    EXPECT_EQ(y, std::vector<double>(x.size(), 0.0));
}

}  // namespace
