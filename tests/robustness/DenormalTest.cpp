// Input that decays through the subnormal range and into zero: the output
// stays finite in both precisions and silence in gives silence out once the
// tail has passed. While it processes, the plug-in treats subnormals as zero
// (they cost many times the time of other numbers on most x86 processors),
// and it leaves the caller's floating-point control state as it found it.
// (How long such blocks take is a benchmark's business:
// bench/DenormalBenchmarks.cpp.)
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "PluginHarness.h"

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

namespace {

using robustness::Instance;
using robustness::Random;
using robustness::StereoBuffers;

// Noise under an envelope falling by a factor `decay` per sample from 1.
void FillDecaying(StereoBuffers& b, Random& random, double& level, double decay) {
    for (std::size_t i = 0; i < b.in[0].size(); ++i) {
        for (int c = 0; c < 2; ++c) {
            b.in[c][i] = level * (2.0 * random.Unit() - 1.0);
            b.inF[c][i] = static_cast<float>(b.in[c][i]);
        }
        level *= decay;
    }
}

TEST(Denormals, DecayThroughTheSubnormalRangeStaysFinite) {
    for (int precision = 0; precision < 2; ++precision) {
        Instance plug;
        ASSERT_NE(plug.Effect(), nullptr);
        plug.Start(44100.0f, 512);
        AEffect* e = plug.Effect();
        e->setParameter(e, 1, 0.2f);  // a tail of 25600 samples
        StereoBuffers b(512);
        Random random(5);
        // From 1 down past the smallest subnormal in about 300 blocks.
        double level = 1.0;
        const double decay = std::pow(2.0, -1100.0 / (300.0 * 512.0));
        bool sawSubnormalInput = false;
        for (int block = 0; block < 400; ++block) {
            FillDecaying(b, random, level, decay);
            sawSubnormalInput = sawSubnormalInput || std::fpclassify(b.in[0][0]) == FP_SUBNORMAL ||
                                std::fpclassify(b.inF[0][0]) == FP_SUBNORMAL;
            if (precision == 0) {
                e->processDoubleReplacing(e, b.inPtrs, b.outPtrs, 512);
            } else {
                e->processReplacing(e, b.inPtrsF, b.outPtrsF, 512);
            }
            ASSERT_TRUE(b.OutputsFinite(512)) << "block " << block;
        }
        EXPECT_TRUE(sawSubnormalInput);
        // Silence for longer than the tail: silence out.
        for (int c = 0; c < 2; ++c) {
            std::fill(b.in[c].begin(), b.in[c].end(), 0.0);
            std::fill(b.inF[c].begin(), b.inF[c].end(), 0.0f);
        }
        for (int block = 0; block < 60; ++block) {
            e->processDoubleReplacing(e, b.inPtrs, b.outPtrs, 512);
            e->processReplacing(e, b.inPtrsF, b.outPtrsF, 512);
        }
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < 512; ++i) {
                EXPECT_LT(std::fabs(b.out[c][i]), 1e-300);
                EXPECT_EQ(b.outF[c][i], 0.0f);
            }
        }
    }
}

}  // namespace

#if defined(__SSE2__)
// Subnormal input in either precision comes out as exact zeros, wet and dry:
// the arithmetic never ran on subnormals. And each callback hands back the
// control word it was called with, whatever that was.
TEST(Denormals, SubnormalsAreZeroInsideTheCallbacksOnly) {
    Instance plug;
    ASSERT_NE(plug.Effect(), nullptr);
    plug.Start(44100.0f, 256);
    AEffect* e = plug.Effect();
    StereoBuffers b(256);
    Random random(9);
    b.Fill(random, 1.0);
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < 256; ++i) {
            b.in[c][i] *= 1e-310;
            b.inF[c][i] *= 1e-39f;
        }
    }
    ASSERT_EQ(std::fpclassify(b.in[0][1]), FP_SUBNORMAL);
    ASSERT_EQ(std::fpclassify(b.inF[0][1]), FP_SUBNORMAL);

    const unsigned original = _mm_getcsr();
    // The host's own settings: round toward zero with FTZ off, then FTZ on.
    for (unsigned host : {(original & ~0x8040u) | 0x6000u, original | 0x8040u}) {
        _mm_setcsr(host);
        for (int round = 0; round < 4; ++round) {
            e->processDoubleReplacing(e, b.inPtrs, b.outPtrs, 256);
            EXPECT_EQ(_mm_getcsr(), host);
            e->processReplacing(e, b.inPtrsF, b.outPtrsF, 256);
            EXPECT_EQ(_mm_getcsr(), host);
            e->process(e, b.inPtrsF, b.outPtrsF, 256);
            EXPECT_EQ(_mm_getcsr(), host);
        }
        _mm_setcsr(original);
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < 256; ++i) {
                ASSERT_EQ(b.out[c][i], 0.0) << "channel " << c << " sample " << i;
                ASSERT_EQ(b.outF[c][i], 0.0f) << "channel " << c << " sample " << i;
            }
        }
    }
}
#endif
