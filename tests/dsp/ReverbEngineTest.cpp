#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "DspTestSupport.h"
#include "dsp/ReverbEngine.h"

namespace {

constexpr std::size_t kLength = 128000;

// The test's own copy of the noise generator and the synthesis, step by step
// in single precision, as the reference for the engine's responses.
struct Lcg {
    std::uint32_t state = 1;
    std::uint32_t next() {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 32767u;
    }
};

struct Responses {
    std::vector<double> left, right;
};

Responses synthesise(float s, Lcg& noise) {
    Responses r{std::vector<double>(kLength, 0.0), std::vector<double>(kLength, 0.0)};
    const float len = s * 128000.0f;
    const float scale = static_cast<float>(0.5 / (static_cast<double>(s) * 60.0 + 3.0));
    for (std::size_t i = 0; i < kLength; ++i) {
        if (!(static_cast<float>(i) < len)) {
            continue;
        }
        const double offset = static_cast<double>(i) - 64000.0;
        const float env = static_cast<float>(std::sqrt(4096000000.0 - offset * offset) / 64000.0);
        for (std::vector<double>* channel : {&r.left, &r.right}) {
            float v = static_cast<float>(noise.next());
            v = v / 32767.0f;
            v = v * (2.0f * scale);
            v = v - scale;
            v = v * env;
            (*channel)[i] = static_cast<double>(v);
        }
    }
    return r;
}

Responses copyResponses(const ReverbEngine& engine) {
    return {std::vector<double>(engine.getImpulseL(), engine.getImpulseL() + kLength),
            std::vector<double>(engine.getImpulseR(), engine.getImpulseR() + kLength)};
}

// Runs f on a new thread, whose noise generator starts from 1.
template <typename F>
void onFreshThread(F f) {
    std::thread thread(f);
    thread.join();
}

TEST(ReverbEngine, NoiseStartsAtOneOnEveryThread) {
    const std::uint32_t expected[] = {41,    18467, 6334,  26500, 19169,
                                      15724, 11478, 29358, 26962, 24464};
    for (int round = 0; round < 2; ++round) {
        std::vector<std::uint32_t> drawn;
        onFreshThread([&] {
            for (int i = 0; i < 10; ++i) {
                drawn.push_back(ReverbEngine::drawNoise());
            }
        });
        ASSERT_EQ(drawn.size(), 10u);
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(drawn[i], expected[i]) << "draw " << i;
        }
        ReverbEngine::drawNoise();  // the main thread's draws do not affect new threads
    }
}

TEST(ReverbEngine, SynthesisMatchesTheSinglePrecisionRecipe) {
    const float sustains[] = {1.0f, 0.5f, 0.01f, 1.0f / 3.0f, 0.03f, 0.0f, 1.0f};
    std::vector<Responses> actual;
    onFreshThread([&] {
        auto engine = std::make_unique<ReverbEngine>();
        for (float s : sustains) {
            engine->setSustain(s);
            actual.push_back(copyResponses(*engine));
        }
    });
    Lcg noise;  // one thread: each synthesis continues the sequence
    for (std::size_t c = 0; c < actual.size(); ++c) {
        SCOPED_TRACE(sustains[c]);
        const Responses expected = synthesise(sustains[c], noise);
        for (std::size_t i = 0; i < kLength; ++i) {
            ASSERT_EQ(actual[c].left[i], expected.left[i]) << "sample " << i;
            ASSERT_EQ(actual[c].right[i], expected.right[i]) << "sample " << i;
        }
    }

    const Responses& full = actual[0];
    EXPECT_EQ(full.left[0], 0.0);
    EXPECT_EQ(full.right[0], 0.0);
    EXPECT_NE(full.left[1], 0.0);
    EXPECT_NE(full.left[kLength - 1], 0.0);
    EXPECT_NE(full.left, full.right);
    EXPECT_NE(actual[0].left, actual[6].left);  // fresh noise every time

    const Responses& half = actual[1];
    EXPECT_NE(half.left[63999], 0.0);
    for (std::size_t i = 64000; i < kLength; ++i) {
        ASSERT_EQ(half.left[i], 0.0);
        ASSERT_EQ(half.right[i], 0.0);
    }
    const Responses& short1280 = actual[2];
    EXPECT_NE(short1280.left[1279], 0.0);
    EXPECT_EQ(short1280.left[1280], 0.0);
    const Responses& third = actual[3];  // len 42666.668: sample 42666 is drawn
    EXPECT_NE(third.left[42666], 0.0);
    EXPECT_EQ(third.left[42667], 0.0);
    EXPECT_EQ(actual[5].left, std::vector<double>(kLength, 0.0));
}

// A synthesis moved to another thread (the LV2 worker) draws the noise the
// calling thread would have drawn, and that thread's generator moves on as if
// it had synthesised: fractional, whole, tiny, over-long and empty lengths.
TEST(ReverbEngine, NoiseHandedToAnotherThreadDrawsWhatTheCallerWould) {
    const float sustains[] = {1.0f / 3.0f, 1.0f, 0.01f, 0.5f, 3e-6f, 1.5f, 0.0f, -1.0f};
    for (float s : sustains) {
        SCOPED_TRACE(s);
        Responses here, there;
        std::uint32_t nextHere = 0, nextThere = 0;
        onFreshThread([&] {
            auto engine = std::make_unique<ReverbEngine>();
            engine->setSustain(0.25f);  // the generator away from its start
            engine->setSustain(s);
            here = copyResponses(*engine);
            nextHere = ReverbEngine::drawNoise();
        });
        onFreshThread([&] {
            auto engine = std::make_unique<ReverbEngine>();
            engine->setSustain(0.25f);
            const std::uint32_t start = ReverbEngine::takeNoiseFor(s);
            onFreshThread([&] { engine->setSustainFrom(s, start); });
            there = copyResponses(*engine);
            nextThere = ReverbEngine::drawNoise();
        });
        EXPECT_EQ(nextHere, nextThere);
        ASSERT_EQ(here.left, there.left);
        ASSERT_EQ(here.right, there.right);
    }
}

struct Signal {
    std::vector<double> out0, out1;
};

// One process call on the given channels; absent channels are null pointers,
// so reading or writing one that should be left alone crashes the test.
Signal processOnce(ReverbEngine& engine, const std::vector<double>& x0,
                   const std::vector<double>& x1, bool secondInput, bool secondOutput) {
    Signal s{std::vector<double>(x0.size(), 0.0), std::vector<double>(x0.size(), 0.0)};
    const bool readSecond = secondInput && secondOutput;
    const double* inputs[2] = {x0.data(), readSecond ? x1.data() : nullptr};
    double* outputs[2] = {s.out0.data(), secondOutput ? s.out1.data() : nullptr};
    engine.process(inputs, outputs, static_cast<std::int32_t>(x0.size()), secondInput,
                   secondOutput);
    return s;
}

std::vector<double> impulseInput(std::size_t n) {
    std::vector<double> x(n, 0.0);
    x[0] = 1.0;
    return x;
}

// How much of the response a convolver's pieces hold: the head's partitions
// when it works alone, else up to the end of the last stage's partitions.
std::size_t coveredLength(const fftconvolver::NonUniformConvolver& conv) {
    if (conv.getStageCount() == 0) {
        return conv.getHead().getPartitionCount() * conv.getHeadSize();
    }
    const fftconvolver::SpreadStage& last = conv.getStage(conv.getStageCount() - 1);
    return 2 * last.getPartitionSize() + last.getDelay() +
           last.getPartitionCount() * last.getPartitionSize();
}

TEST(ReverbEngine, ImpulseThroughTheEngineGivesTheResponseAndLengthsFollowSustain) {
    auto engine = std::make_unique<ReverbEngine>();
    engine->reset();
    engine->setMix(1.0f);

    engine->setSustain(1.0f);
    EXPECT_EQ(engine->getConvolverL().getHead().getPartitionCount(), 8u);
    EXPECT_EQ(engine->getConvolverR().getStageCount(), 2u);
    EXPECT_EQ(coveredLength(engine->getConvolverR()), kLength);
    const std::vector<double> x = impulseInput(kLength + 100);
    Signal y = processOnce(*engine, x, x, true, true);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double hl = i < kLength ? engine->getImpulseL()[i] : 0.0;
        const double hr = i < kLength ? engine->getImpulseR()[i] : 0.0;
        ASSERT_NEAR(y.out0[i], hl, 1e-12) << "sample " << i;
        ASSERT_NEAR(y.out1[i], hr, 1e-12) << "sample " << i;
    }

    // Shorter responses: fewer stages, the last one ending with the response
    // where it holds a whole partition.
    engine->setSustain(0.5f);
    EXPECT_EQ(coveredLength(engine->getConvolverL()), 64000u);
    engine->setSustain(0.03f);
    EXPECT_EQ(engine->getConvolverL().getStageCount(), 1u);
    EXPECT_EQ(coveredLength(engine->getConvolverL()), 3840u);
    engine->setSustain(0.01f);
    EXPECT_EQ(engine->getConvolverL().getStageCount(), 1u);
    EXPECT_EQ(coveredLength(engine->getConvolverL()), 1536u);
}

TEST(ReverbEngine, NotWholeLengthLeavesTheLastSampleOutUntilReset) {
    auto engine = std::make_unique<ReverbEngine>();
    engine->reset();
    engine->setMix(1.0f);
    engine->setSustain(1.0f / 3.0f);  // len 42666.668, count 42666
    const double last = engine->getImpulseL()[42666];
    ASSERT_GT(std::fabs(last), 1e-4);

    const std::vector<double> x = impulseInput(42700);
    Signal y = processOnce(*engine, x, x, false, false);
    EXPECT_NEAR(y.out0[42665], engine->getImpulseL()[42665], 1e-12);
    EXPECT_NEAR(y.out0[42666], 0.0, 1e-12);

    engine->reset();
    y = processOnce(*engine, x, x, false, false);
    EXPECT_NEAR(y.out0[42666], last, 1e-12);
    EXPECT_NEAR(y.out0[42667], 0.0, 1e-12);
}

TEST(ReverbEngine, MixesEveryConnectionAsItShould) {
    const float mix = 0.3f;
    const double dry = static_cast<double>(1.0f - mix);
    const double wet = static_cast<double>(mix);
    const std::vector<double> x0 = dsptest::noise(700, 21);
    const std::vector<double> x1 = dsptest::noise(700, 22);

    for (int connection = 0; connection < 4; ++connection) {
        const bool secondInput = (connection & 2) != 0;
        const bool secondOutput = (connection & 1) != 0;
        SCOPED_TRACE(testing::Message() << "in2 " << secondInput << " out2 " << secondOutput);
        auto engine = std::make_unique<ReverbEngine>();
        engine->reset();
        engine->setMix(mix);
        engine->setSustain(0.025f);  // 3200 samples: head and near tail

        const Responses h = copyResponses(*engine);
        const std::vector<double> wet0 = dsptest::directConvolution(x0, h.left, 0, x0.size());
        const std::vector<double> wet1 = dsptest::directConvolution(x1, h.right, 0, x1.size());
        const Signal y = processOnce(*engine, x0, x1, secondInput, secondOutput);
        for (std::size_t i = 0; i < x0.size(); ++i) {
            ASSERT_NEAR(y.out0[i], dry * x0[i] + wet * wet0[i], 1e-12) << i;
            if (secondInput && secondOutput) {
                ASSERT_NEAR(y.out1[i], dry * x1[i] + wet * wet1[i], 1e-12) << i;
            } else if (secondOutput) {
                ASSERT_EQ(y.out1[i], y.out0[i]) << i;
            }
        }

        // Channel 2's convolver only advances when it is both read and
        // written: after the first call it starts from silence.
        const Signal next = processOnce(*engine, x1, x0, true, true);
        const std::vector<double> fresh = dsptest::directConvolution(x0, h.right, 0, x0.size());
        std::vector<double> both = x0;
        both.insert(both.end(), x1.begin(), x1.end());
        const std::vector<double> continued =
            dsptest::directConvolution(both, h.left, x0.size(), both.size());
        std::vector<double> bothR = x1;  // channel 2 was fed x1, now x0
        bothR.insert(bothR.end(), x0.begin(), x0.end());
        const std::vector<double> history =
            dsptest::directConvolution(bothR, h.right, x0.size(), bothR.size());
        for (std::size_t i = 0; i < x0.size(); ++i) {
            ASSERT_NEAR(next.out0[i], dry * x1[i] + wet * continued[i], 1e-12) << i;
            const double expected1 = (secondInput && secondOutput) ? history[i] : fresh[i];
            ASSERT_NEAR(next.out1[i], dry * x0[i] + wet * expected1, 1e-12) << i;
        }
    }
}

TEST(ReverbEngine, SustainZeroPassesTheInputThrough) {
    const std::vector<double> x0 = dsptest::noise(500, 23);
    const std::vector<double> x1 = dsptest::noise(500, 24);
    auto engine = std::make_unique<ReverbEngine>();
    engine->reset();
    engine->setMix(0.7f);
    engine->setSustain(0.0f);
    EXPECT_EQ(engine->getConvolverL().getHead().getPartitionCount(), 0u);

    Signal y = processOnce(*engine, x0, x1, true, true);
    EXPECT_EQ(y.out0, x0);
    EXPECT_EQ(y.out1, x1);
    y = processOnce(*engine, x0, x1, false, true);
    EXPECT_EQ(y.out0, x0);
    EXPECT_EQ(y.out1, x0);
    y = processOnce(*engine, x0, x1, true, false);
    EXPECT_EQ(y.out0, x0);
    y = processOnce(*engine, x0, x1, false, false);
    EXPECT_EQ(y.out0, x0);
}

TEST(ReverbEngine, MixZeroIsTheDrySignalExactly) {
    const std::vector<double> x0 = dsptest::noise(3000, 25);
    auto engine = std::make_unique<ReverbEngine>();
    engine->reset();
    engine->setMix(0.0f);
    engine->setSustain(0.2f);
    const Signal y = processOnce(*engine, x0, x0, false, true);
    EXPECT_EQ(y.out0, x0);
    EXPECT_EQ(y.out1, x0);
}

TEST(ReverbEngine, BeforeTheFirstResetOnlyTheDryPartSounds) {
    const std::vector<double> x0 = dsptest::noise(3000, 26);
    const std::vector<double> x1 = dsptest::noise(3000, 27);
    auto engine = std::make_unique<ReverbEngine>();
    engine->setMix(0.25f);
    engine->setSustain(1.0f);
    EXPECT_EQ(engine->getConvolverL().getHeadSize(), 0u);
    const double dry = static_cast<double>(1.0f - 0.25f);
    const Signal y = processOnce(*engine, x0, x1, true, true);
    for (std::size_t i = 0; i < x0.size(); ++i) {
        ASSERT_EQ(y.out0[i], dry * x0[i]);
        ASSERT_EQ(y.out1[i], dry * x1[i]);
    }
}

TEST(ReverbEngine, EmptyCallsWriteNothing) {
    auto engine = std::make_unique<ReverbEngine>();
    engine->reset();
    engine->setSustain(0.1f);
    const double in[1] = {1.0};
    double out[1] = {42.0};
    const double* inputs[2] = {in, in};
    double* outputs[2] = {out, out};
    engine->process(inputs, outputs, 0, true, true);
    engine->process(inputs, outputs, -5, true, true);
    EXPECT_EQ(out[0], 42.0);
}

TEST(ReverbEngine, SustainOutsideItsRangeIsHandledSafely) {
    const std::vector<double> x0 = dsptest::noise(400, 28);
    auto engine = std::make_unique<ReverbEngine>();
    engine->reset();
    engine->setMix(0.5f);

    // NaN and negative values synthesise nothing and pass the signal through.
    for (float s : {std::numeric_limits<float>::quiet_NaN(), -0.5f}) {
        engine->setSustain(s);
        EXPECT_EQ(engine->getConvolverL().getHeadSize(), 0u);
        EXPECT_EQ(engine->getImpulseL()[1], 0.0);
        EXPECT_EQ(processOnce(*engine, x0, x0, false, false).out0, x0);
    }

    // Above 1 the response fills the arrays and its length stops there.
    engine->setSustain(1.5f);
    EXPECT_EQ(coveredLength(engine->getConvolverL()), kLength);
    EXPECT_NE(engine->getImpulseL()[kLength - 1], 0.0);
    engine->setSustain(std::numeric_limits<float>::infinity());
    const Signal y = processOnce(*engine, x0, x0, false, false);
    for (std::size_t i = 0; i < x0.size(); ++i) {
        ASSERT_EQ(y.out0[i], 0.5 * x0[i]);
    }
}

// Silence is skipped once nothing is left to hear, and the output stays what
// an engine that computes everything gives, bit for bit: random call sizes,
// silences of every length around the horizon (so the work resumes at every
// phase of the pieces' blocks), Sustain changed while silent, and "almost
// silent" samples (-0.0, a subnormal) that must be computed.
TEST(ReverbEngine, SilenceIsSkippedWithTheOutputUnchangedBitForBit) {
    auto skipping = std::make_unique<ReverbEngine>();
    auto computing = std::make_unique<ReverbEngine>();
    computing->setSkipsSilence(false);
    for (ReverbEngine* e : {skipping.get(), computing.get()}) {
        e->reset();
        e->setMix(0.7f);
        e->setSustainFrom(1.0f, 1);
    }
    const std::size_t horizon = skipping->getConvolverL().getSilenceHorizon();
    ASSERT_GT(horizon, kLength);
    ASSERT_TRUE(skipping->isSilent());  // nothing heard yet

    // The input: bursts of noise between silences.
    std::minstd_rand random(7);
    std::vector<double> left, right;
    std::vector<std::size_t> sustainChangeAt;
    auto burst = [&](std::size_t n) {
        const std::vector<double> a = dsptest::noise(n, unsigned(random())),
                                  b = dsptest::noise(n, unsigned(random()));
        left.insert(left.end(), a.begin(), a.end());
        right.insert(right.end(), b.begin(), b.end());
    };
    auto silence = [&](std::size_t n) {
        left.insert(left.end(), n, 0.0);
        right.insert(right.end(), n, 0.0);
    };
    const std::size_t h = skipping->getConvolverL().getHeadSize();
    for (std::size_t extra : {std::size_t{0}, std::size_t{1}, h - 1, h + 3, std::size_t{5000}}) {
        burst(1 + random() % 3000);
        silence(horizon + extra);
    }
    burst(200);
    silence(horizon / 2);
    sustainChangeAt.push_back(left.size());  // a Sustain change while the tail still sounds
    silence(horizon / 4);
    burst(50);
    silence(horizon + 777);
    sustainChangeAt.push_back(left.size());  // and once all is silent
    silence(3000);
    left.back() = -0.0;
    silence(horizon + 10);
    right.back() = 4.9e-324;
    silence(horizon + 10);
    burst(100);

    std::size_t skipped = 0, done = 0, change = 0;
    const std::size_t sizes[] = {1, 7, 64, 100, 512, 1000, 4096};
    while (done < left.size()) {
        if (change < sustainChangeAt.size() && done >= sustainChangeAt[change]) {
            const float s = change == 0 ? 0.4f : 0.8f;
            skipping->setSustainFrom(s, std::uint32_t(100 + change));
            computing->setSustainFrom(s, std::uint32_t(100 + change));
            ++change;
        }
        const std::size_t n = std::min(sizes[random() % 7], left.size() - done);
        const bool quiet = std::all_of(left.begin() + done, left.begin() + done + n,
                                       [](double v) { return v == 0.0 && !std::signbit(v); }) &&
                           std::all_of(right.begin() + done, right.begin() + done + n,
                                       [](double v) { return v == 0.0 && !std::signbit(v); });
        skipped += skipping->isSilent() && quiet ? 1 : 0;
        const double* inputs[2] = {left.data() + done, right.data() + done};
        std::vector<double> a0(n, 0.0), a1(n, 0.0), b0(n), b1(n);
        double* outA[2] = {a0.data(), a1.data()};
        double* outB[2] = {b0.data(), b1.data()};
        // As the plug-in does, a quiet call is offered first without buffers:
        // always in some stretches, so that the walk owed grows past its
        // bound, and every other time in others, so that process's own
        // skipping runs too.
        if (!(quiet && ((done / 65536) % 2 == 0 || random() % 2 == 0) &&
              skipping->skipSilence(static_cast<std::int32_t>(n), true, true))) {
            skipping->process(inputs, outA, static_cast<std::int32_t>(n), true, true);
        }
        computing->process(inputs, outB, static_cast<std::int32_t>(n), true, true);
        ASSERT_EQ(std::memcmp(a0.data(), b0.data(), n * sizeof(double)), 0) << "at " << done;
        ASSERT_EQ(std::memcmp(a1.data(), b1.data(), n * sizeof(double)), 0) << "at " << done;
        done += n;
    }
    // Most of the silence was skipped, not just sounded the same.
    EXPECT_GT(skipped, 200u);
    EXPECT_FALSE(skipping->isSilent());  // the last burst sounds
}

}  // namespace
