#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

#include "DspTestSupport.h"
#include "dsp/NonUniformConvolver.h"
#include "dsp/TwoStageFFTConvolver.h"

namespace {

using fftconvolver::NonUniformConvolver;
using fftconvolver::TwoStageFFTConvolver;

constexpr std::size_t kHeadRequest = 102;
constexpr std::size_t kTailRequest = 1706;
constexpr std::size_t T = 2048;

// A decaying noise response, so that errors late in it are not hidden by a
// peak early on.
std::vector<double> decayingNoise(std::size_t n, unsigned seed) {
    std::vector<double> h = dsptest::noise(n, seed);
    for (std::size_t i = 0; i < n; ++i) {
        h[i] *= std::exp(-2.0 * static_cast<double>(i) / static_cast<double>(n));
    }
    return h;
}

// Where each stage's piece begins: the head's end, then every stage's.
std::size_t coveredLength(const NonUniformConvolver& conv, std::size_t stage) {
    const fftconvolver::SpreadStage& s = conv.getStage(stage);
    return 2 * s.getPartitionSize() + s.getDelay() + s.getPartitionSize() * s.getPartitionCount();
}

// The engine's layout: a head of H = 128 up to T/2, stages of T/4 from T/2
// and of 2T from 4T. Whatever the call sizes and wherever the response ends
// against the stage boundaries (the last stage starting late so its
// partitions end with the response, or not), the output is the two-stage
// convolver's to rounding; with the largest stage's work staggered (odd call
// sizes) as well.
TEST(NonUniformConvolver, MatchesTheTwoStageConvolverForEveryCallSizeAndLength) {
    const std::size_t callSizes[] = {1, 7, 64, 1000, 4 * T + 3, 0};
    struct Case {
        std::size_t irLen, stages, lastBlock, lastPartitions, lastDelay;
    };
    const Case cases[] = {
        {100, 0, 0, 0, 0},                    // less than one head block
        {300, 0, 0, 0, 0},                    // three head blocks, summed in pairs
        {T / 2, 0, 0, 0, 0},                  // the head alone
        {T / 2 + 1, 1, T / 4, 1, 0},          // one sample in the first stage
        {T / 2 + T / 4 + 5, 1, T / 4, 1, 5},  // a whole partition, starting 5 late
        {4 * T + 1, 2, 2 * T, 1, 0},          // one sample in the largest stage
        {6 * T, 2, 2 * T, 1, 0},              // exactly one partition of 2T
        {6 * T + 5, 2, 2 * T, 1, 5},          // one whole partition, 5 late
        {10 * T + 700, 2, 2 * T, 3, 700},     // three, 700 late
        {128000, 2, 2 * T, 29, 1024},         // a full-length response
    };
    // The full-length output, call by call of 7, of each kernel set: the
    // wide kernels must give the vector ones' bits exactly.
    std::vector<std::vector<double>> fullLength;
    dsptest::withEachKernelSet([&](const char* kernels) {
        SCOPED_TRACE(kernels);
        for (const Case& c : cases) {
            const std::vector<double> h = decayingNoise(c.irLen, static_cast<unsigned>(c.irLen));
            const std::vector<double> x = dsptest::noise(c.irLen + 9 * T, 27);
            TwoStageFFTConvolver reference;
            ASSERT_TRUE(reference.init(kHeadRequest, kTailRequest, h.data(), h.size()));
            const std::vector<double> expected = dsptest::runInCalls(reference, x, 512);
            for (std::size_t call : callSizes) {
                SCOPED_TRACE(testing::Message() << "irLen " << c.irLen << " call " << call);
                NonUniformConvolver conv;
                conv.setStaggered(call % 2 == 1);
                ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), h.size()));
                EXPECT_EQ(conv.getHeadSize(), 128u);
                ASSERT_EQ(conv.getStageCount(), c.stages);
                if (c.stages > 0) {
                    const fftconvolver::SpreadStage& last = conv.getStage(c.stages - 1);
                    EXPECT_EQ(last.getPartitionSize(), c.lastBlock);
                    EXPECT_EQ(last.getPartitionCount(), c.lastPartitions);
                    EXPECT_EQ(last.getDelay(), c.lastDelay);
                    // The last partition ends with the response when it can.
                    EXPECT_LT(coveredLength(conv, c.stages - 1) - c.irLen,
                              c.lastDelay > 0 ? 1u : c.lastBlock);
                }
                const std::vector<double> y = dsptest::runInCalls(conv, x, call);
                EXPECT_LT(dsptest::relativeError(y, 0, expected), 1e-9);
                if (c.irLen == 128000 && call == 7)
                    fullLength.push_back(y);
            }
        }
    });
    if (fullLength.size() == 3) {
        EXPECT_TRUE(fullLength[1] == fullLength[2]) << "wide kernels differ from vector ones";
    }
}

// Single taps at the edges of every piece land at their own sample, whatever
// the call size: an off-by-one in a stage's start or delay moves one of them.
// Small samples at the end of the two-stage near tail (T .. 2T) are dropped
// as that piece drops them; inside a far piece they still sound.
TEST(NonUniformConvolver, ImpulsesAtThePieceEdgesComeOutAtTheirPlaces) {
    const std::size_t irLen = 10 * T + 700;  // the last stage starts 700 late
    std::vector<double> h(irLen, 0.0);
    const std::size_t taps[] = {5,           T / 2 - 1,   T / 2,    2 * T - 1,
                                4 * T + 699, 4 * T + 700, irLen - 1};
    // The head's last tap is below the silence threshold but sounds: the
    // two-stage head piece runs on past it.
    const double values[] = {0.5, 2e-7, -0.25, 3e-7, -1e-7, 1.0, 0.75};
    for (std::size_t i = 0; i < 7; ++i) {
        h[taps[i]] = values[i];
    }
    // Two impulses: the second puts the last stage's first tap in the first
    // samples of one of its blocks, which come from the result before.
    std::vector<double> x(irLen + 3 * T, 0.0);
    const std::size_t at[] = {777, 3 * 2 * T + 100 - (4 * T + 700)};
    const double gain[] = {1.0, 0.5};
    x[at[0]] = gain[0];
    x[at[1]] = gain[1];
    for (std::size_t call : {std::size_t{1}, std::size_t{64}, std::size_t{1000}}) {
        SCOPED_TRACE(call);
        NonUniformConvolver conv;
        ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), h.size()));
        ASSERT_EQ(conv.getStageCount(), 2u);
        ASSERT_EQ(conv.getStage(1).getDelay(), 700u);
        const std::vector<double> y = dsptest::runInCalls(conv, x, call);
        std::vector<double> heard = h;
        heard[2 * T - 1] = 0.0;  // the near tail holds nothing else: trimmed whole
        for (std::size_t i = 0; i < y.size(); ++i) {
            double expected = 0.0;
            for (int k = 0; k < 2; ++k) {
                expected += i >= at[k] && i - at[k] < irLen ? gain[k] * heard[i - at[k]] : 0.0;
            }
            ASSERT_NEAR(y[i], expected, 1e-12) << "sample " << i;
        }
    }
}

// Responses whose head (0 .. T) and near tail (T .. 2T) end in samples below
// the silence threshold, as a synthesised response now and then does: the
// two-stage convolver trims each piece, and so does the engine's layout.
TEST(NonUniformConvolver, TrimsTheTwoStagePiecesAsTheTwoStageConvolverDoes) {
    std::vector<double> h = decayingNoise(20000, 31);
    const double headEnd[] = {4e-7, -2e-7, 9e-7, -1e-7};
    const double nearEnd[] = {-5e-7, 1e-7, 8e-7};
    for (std::size_t i = 0; i < 4; ++i)
        h[T - 4 + i] = headEnd[i];
    for (std::size_t i = 0; i < 3; ++i)
        h[2 * T - 3 + i] = nearEnd[i];
    const std::vector<double> x = dsptest::noise(h.size() + 3 * T, 32);
    TwoStageFFTConvolver reference;
    ASSERT_TRUE(reference.init(kHeadRequest, kTailRequest, h.data(), h.size()));
    const std::vector<double> expected = dsptest::runInCalls(reference, x, 512);
    for (std::size_t call : {std::size_t{64}, std::size_t{333}}) {
        NonUniformConvolver conv;
        ASSERT_TRUE(conv.init(kHeadRequest, kTailRequest, h.data(), h.size()));
        EXPECT_LT(dsptest::relativeError(dsptest::runInCalls(conv, x, call), 0, expected), 1e-9)
            << call;
    }
}

// Layouts that cannot work are refused and leave the convolver silent; so
// does reset. A new response while a block's work is still spread over the
// coming calls starts from a clean state.
TEST(NonUniformConvolver, RefusedLayoutsResetAndNewResponsesLeaveNoTrace) {
    const std::vector<double> h = decayingNoise(20000, 5);
    const std::vector<double> x = dsptest::noise(3 * T, 6);
    NonUniformConvolver conv;
    EXPECT_FALSE(conv.init(0, kTailRequest, h.data(), h.size()));
    EXPECT_FALSE(conv.init(kHeadRequest, 0, h.data(), h.size()));
    EXPECT_FALSE(
        conv.init(kHeadRequest, fftconvolver::FFTConvolver::kMaxBlockSize, h.data(), h.size()));
    const std::size_t notPowerOfTwo[] = {512, 3000};
    const std::size_t notGrowing[] = {2048, 512};
    const std::size_t notAboveHead[] = {128, 512};
    const std::size_t tooMany[NonUniformConvolver::kMaxStages + 1] = {256,  512,  1024, 2048,
                                                                      4096, 8192, 16384};
    EXPECT_FALSE(conv.initStages(128, notPowerOfTwo, 2, h.data(), h.size()));
    EXPECT_FALSE(conv.initStages(128, notGrowing, 2, h.data(), h.size()));
    EXPECT_FALSE(conv.initStages(128, notAboveHead, 2, h.data(), h.size()));
    EXPECT_FALSE(
        conv.initStages(128, tooMany, NonUniformConvolver::kMaxStages + 1, h.data(), h.size()));
    EXPECT_EQ(conv.getHeadSize(), 0u);
    EXPECT_TRUE(dsptest::outputsSilence(conv, x));

    EXPECT_FALSE(conv.initStages(128, notAboveHead + 1, 1, h.data(), h.size(), 0));
    EXPECT_FALSE(
        conv.initStages(128, notAboveHead + 1, 1, h.data(), h.size(), fftconvolver::kMaxGroup + 1));

    // Any growing layout, its stages summing blocks in groups of any size
    // (more or fewer than their partitions: 14, 6 and 1 here), gives the
    // same sound.
    const std::size_t layout[] = {256, 2048, 8192};
    NonUniformConvolver engineLayout;
    ASSERT_TRUE(engineLayout.init(kHeadRequest, kTailRequest, h.data(), h.size()));
    const std::vector<double> y = dsptest::noise(24 * T, 7);
    const std::vector<double> expected = dsptest::runInCalls(engineLayout, y, 64);
    dsptest::withEachKernelSet([&](const char* kernels) {
        SCOPED_TRACE(kernels);
        for (std::size_t group = 1; group <= fftconvolver::kMaxGroup; ++group) {
            SCOPED_TRACE(group);
            ASSERT_TRUE(conv.initStages(100, layout, 3, h.data(), h.size(), group));
            ASSERT_EQ(conv.getStage(0).getGroupSize(), group);
            EXPECT_EQ(conv.getStage(2).getGroupSize(), 1u);
            EXPECT_LT(dsptest::relativeError(dsptest::runInCalls(conv, y, 333), 0, expected),
                      1e-12);
        }
    });

    conv.reset();
    EXPECT_EQ(conv.getStageCount(), 0u);
    EXPECT_TRUE(dsptest::outputsSilence(conv, x));

    // Work under way in every stage when the new response arrives.
    const std::vector<double> other = decayingNoise(30000, 8);
    NonUniformConvolver reused, fresh;
    ASSERT_TRUE(reused.init(kHeadRequest, kTailRequest, h.data(), h.size()));
    dsptest::runInCalls(reused, dsptest::noise(8 * T + 64, 9), 64);
    ASSERT_TRUE(reused.init(kHeadRequest, kTailRequest, other.data(), other.size()));
    ASSERT_TRUE(fresh.init(kHeadRequest, kTailRequest, other.data(), other.size()));
    EXPECT_EQ(dsptest::runInCalls(reused, y, 64), dsptest::runInCalls(fresh, y, 64));
}

}  // namespace
