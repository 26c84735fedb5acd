// The reverb heard through the module's exports: the dry/wet extremes, the
// state before the host's first reset, and the wet signal compared with an
// independent direct convolution of a response this test synthesises itself.
#include <cmath>
#include <cstdint>
#include <thread>

#include "ModuleFixture.h"

namespace {

// The noise generator the reverb draws its responses from: a linear
// congruential generator whose state starts at 1 on every thread.
struct TestNoise {
    std::uint32_t state = 1;
    std::uint32_t Next() {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 32767u;
    }
};

// One channel pair of responses for sustain s, drawn from `noise`, with the
// single-precision steps the reverb takes.
void Synthesise(float s, TestNoise& noise, std::vector<double>& left, std::vector<double>& right) {
    const float len = s * 128000.0f;
    const float scale = static_cast<float>(0.5 / (static_cast<double>(s) * 60.0 + 3.0));
    left.assign(128000, 0.0);
    right.assign(128000, 0.0);
    for (int i = 0; i < 128000; ++i) {
        if (!(static_cast<float>(i) < len))
            continue;
        const double d = static_cast<double>(i) - 64000.0;
        const float env = static_cast<float>(std::sqrt(4096000000.0 - d * d) / 64000.0);
        const float r1 = static_cast<float>(noise.Next());
        left[i] = ((r1 / 32767.0f) * (2.0f * scale) - scale) * env;
        const float r2 = static_cast<float>(noise.Next());
        right[i] = ((r2 / 32767.0f) * (2.0f * scale) - scale) * env;
    }
    const auto count = static_cast<std::size_t>(len);
    left.resize(count);
    right.resize(count);
}

std::vector<double> DirectConvolution(const std::vector<double>& x, const std::vector<double>& h,
                                      std::size_t n) {
    std::vector<double> y(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        double acc = 0.0;
        const std::size_t kmax = std::min(i + 1, h.size());
        for (std::size_t k = 0; k < kmax; ++k)
            acc += h[k] * x[i - k];
        y[i] = acc;
    }
    return y;
}

// Runs `body` on a thread of its own, so the reverb's noise starts from the
// generator's first value whatever this test program did before.
template <typename F>
void OnFreshThread(F body) {
    std::thread t(body);
    t.join();
}

void Prepare(VstHost& host, float wet, float sustain) {
    AEffect* e = host.Effect();
    host.Dispatch(effOpen);
    host.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    e->setParameter(e, 0, wet);
    e->setParameter(e, 1, sustain);
    host.Dispatch(effMainsChanged, 0, 1);
}

// A fresh instance on a fresh thread, prepared at `wet` and `sustain`, with
// `frames` of the fixed signal: what `body` makes of it.
template <typename Body>
std::vector<double> RenderFresh(float wet, float sustain, int frames, Body body) {
    std::vector<double> result;
    OnFreshThread([&] {
        VstHost host(Module());
        Prepare(host, wet, sustain);
        Buffers b(frames);
        result = body(host.Effect(), b);
    });
    return result;
}

}  // namespace

TEST(ReverbAudio, BeforeTheFirstResetTheOutputIsHalfTheInput) {
    VstHost host(Module());
    AEffect* e = host.Effect();
    Buffers b(500);
    e->processDoubleReplacing(e, b.In(), b.Out(), b.frames);
    for (int i = 0; i < b.frames; ++i) {
        ASSERT_EQ(b.out[0][i], 0.5 * b.in[0][i]);
        ASSERT_EQ(b.out[1][i], 0.5 * b.in[1][i]);
    }
}

TEST(ReverbAudio, SustainZeroAndWetZeroGiveTheInputExactly) {
    for (float wet : {0.0f, 0.5f, 1.0f}) {
        VstHost host(Module());
        Prepare(host, wet, 0.0f);
        AEffect* e = host.Effect();
        Buffers b(3000);
        e->processDoubleReplacing(e, b.In(), b.Out(), b.frames);
        EXPECT_EQ(b.out[0], b.in[0]) << "wet " << wet;
        EXPECT_EQ(b.out[1], b.in[1]) << "wet " << wet;
    }
    VstHost host(Module());
    Prepare(host, 0.0f, 0.7f);
    AEffect* e = host.Effect();
    Buffers b(3000);
    e->processDoubleReplacing(e, b.In(), b.Out(), b.frames);
    EXPECT_EQ(b.out[0], b.in[0]);
    EXPECT_EQ(b.out[1], b.in[1]);
}

TEST(ReverbAudio, FullyWetIsTheConvolutionWithTheSynthesisedResponse) {
    OnFreshThread([] {
        TestNoise noise;
        std::vector<double> left, right;
        VstHost host(Module());  // construction synthesises at sustain 1
        Synthesise(1.0f, noise, left, right);
        AEffect* e = host.Effect();
        e->setParameter(e, 0, 1.0f);                               // mix only: no synthesis
        host.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);  // reset: "Sustain" 50
        Synthesise(0.5f, noise, left, right);
        e->setParameter(e, 1, 0.03f);
        Synthesise(static_cast<float>(static_cast<double>(0.03f) * 100.0 / 100.0), noise, left,
                   right);
        ASSERT_GT(left.size(), 3000u);  // head and near tail both at work

        Buffers b(6000);
        for (int i = 0; i < b.frames; ++i) {  // sparse clicks and a burst
            b.in[0][i] = (i % 1500 == 3) ? 1.0 : (i > 4000 && i < 4100 ? 0.3 : 0.0);
            b.in[1][i] = (i % 2100 == 11) ? -0.8 : 0.0;
        }
        // Fed in uneven calls, as a host might.
        int pos = 0;
        for (int n : {1, 7, 64, 1000, 500, 4428}) {
            double* in[2] = {b.in[0].data() + pos, b.in[1].data() + pos};
            double* out[2] = {b.out[0].data() + pos, b.out[1].data() + pos};
            e->processDoubleReplacing(e, in, out, n);
            pos += n;
        }
        ASSERT_EQ(pos, b.frames);
        const auto expectL = DirectConvolution(b.in[0], left, b.in[0].size());
        const auto expectR = DirectConvolution(b.in[1], right, b.in[1].size());
        for (int i = 0; i < b.frames; ++i) {
            ASSERT_NEAR(b.out[0][i], expectL[i], 1e-9) << "left sample " << i;
            ASSERT_NEAR(b.out[1][i], expectR[i], 1e-9) << "right sample " << i;
        }
    });
}

TEST(ReverbAudio, OutputDoesNotDependOnHowTheHostCutsTheInput) {
    auto render = [](int piece) {
        return RenderFresh(0.6f, 0.1f, 9000, [piece](AEffect* e, Buffers& b) {
            for (int pos = 0; pos < b.frames; pos += piece) {
                const int n = std::min(piece, b.frames - pos);
                double* in[2] = {b.in[0].data() + pos, b.in[1].data() + pos};
                double* out[2] = {b.out[0].data() + pos, b.out[1].data() + pos};
                e->processDoubleReplacing(e, in, out, n);
            }
            std::vector<double> both = b.out[0];
            both.insert(both.end(), b.out[1].begin(), b.out[1].end());
            return both;
        });
    };
    const std::vector<double> oneCall = render(9000);
    const std::vector<double> smallCalls = render(37);
    ASSERT_EQ(oneCall.size(), smallCalls.size());
    for (std::size_t i = 0; i < oneCall.size(); ++i)
        ASSERT_NEAR(oneCall[i], smallCalls[i], 1e-9);
}

TEST(ReverbAudio, MonoInputFeedsTheSameReverbToBothOutputs) {
    VstHost host(Module());
    Prepare(host, 0.5f, 0.2f);
    AEffect* e = host.Effect();
    VstSpeakerArrangement mono{}, stereo{};
    mono.numChannels = 1;
    stereo.numChannels = 2;
    host.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &stereo);
    Buffers b(2048);
    double* in[1] = {b.in[0].data()};
    e->processDoubleReplacing(e, in, b.Out(), b.frames);
    EXPECT_EQ(b.out[0], b.out[1]);
    EXPECT_NE(b.out[0], b.in[0]);
}

TEST(ReverbAudio, AliasedBuffersGiveWhatDistinctBuffersGive) {
    auto render = [](bool alias) {
        return RenderFresh(0.7f, 0.05f, 4000, [alias](AEffect* e, Buffers& b) {
            e->processDoubleReplacing(e, b.In(), alias ? b.In() : b.Out(), b.frames);
            return alias ? b.in[0] : b.out[0];
        });
    };
    EXPECT_EQ(render(false), render(true));
}

TEST(ReverbAudio, HostileParameterValuesNeverReachTheAudio) {
    VstHost host(Module());
    Prepare(host, 0.5f, 0.3f);
    AEffect* e = host.Effect();
    Buffers b(1024);
    for (float v : {-0.5f, std::nanf(""), INFINITY, -INFINITY, 7.0f}) {
        e->setParameter(e, 1, v);
        e->setParameter(e, 0, v);
        e->processDoubleReplacing(e, b.In(), b.Out(), b.frames);
        for (double s : b.out[0])
            ASSERT_TRUE(std::isfinite(s)) << "after value " << v;
    }
    // A value below 0 lands below the minimum, but the mix the audio gets
    // stops at 0: the input exactly, with the reverb running.
    e->setParameter(e, 1, 0.3f);
    e->setParameter(e, 0, -0.5f);
    e->processDoubleReplacing(e, b.In(), b.Out(), b.frames);
    EXPECT_EQ(b.out[0], b.in[0]);
    EXPECT_EQ(b.out[1], b.in[1]);
}
