// A new Sustain is prepared aside and swapped in. Made by a thread that is
// not processing audio, the sound is bit for bit what making it in place
// gives; automated on the audio thread, the changes are prepared in slices,
// the latest one last, from the noise the audio thread would have drawn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "PluginHarness.h"
#include "plugin/Brightfall.h"

namespace {

using robustness::Instance;
using robustness::Random;
using robustness::StereoBuffers;

const ReverbEngine& EngineOf(const Instance& plug) {
    return static_cast<const Brightfall*>(plug.Plug())->Engine();
}

// Runs body on a thread of its own: every thread's noise starts afresh.
template <typename Body>
void OnFreshThread(Body body) {
    std::thread t(body);
    t.join();
}

// Processes `blocks` blocks of noise, appending both output channels.
void Play(Instance& plug, StereoBuffers& buffers, Random& random, int blocks, int frames,
          std::vector<double>& out) {
    AEffect* e = plug.Effect();
    for (int b = 0; b < blocks; ++b) {
        buffers.Fill(random, 0.5);
        e->processDoubleReplacing(e, buffers.inPtrs, buffers.outPtrs, frames);
        for (int c = 0; c < 2; ++c)
            out.insert(out.end(), buffers.out[c].begin(), buffers.out[c].begin() + frames);
    }
}

// Every way a host changes Sustain from its own thread between process
// calls: the parameter, a chunk, a text, a suspend and resume.
std::vector<double> HostSession(bool deferring) {
    std::vector<double> out;
    OnFreshThread([&] {
        Instance plug(&robustness::HostCallback, deferring);
        ASSERT_NE(plug.Effect(), nullptr);
        EXPECT_EQ(plug.Plug()->DefersChanges(), deferring);
        plug.Start(48000.0f, 256);
        StereoBuffers buffers(256);
        Random random(11);
        AEffect* e = plug.Effect();
        Play(plug, buffers, random, 30, 256, out);
        e->setParameter(e, Brightfall::kSustain, 0.3f);
        Play(plug, buffers, random, 30, 256, out);
        e->setParameter(e, Brightfall::kWetDry, 0.8f);
        e->setParameter(e, Brightfall::kSustain, 0.9f);
        std::vector<unsigned char> chunk = plug.SaveChunk();
        Play(plug, buffers, random, 30, 200, out);
        e->setParameter(e, Brightfall::kSustain, 0.05f);
        Play(plug, buffers, random, 10, 256, out);
        EXPECT_EQ(plug.RestoreChunk(chunk), 1);
        Play(plug, buffers, random, 30, 256, out);
        char text[] = "62";
        EXPECT_EQ(plug.Dispatch(effString2Parameter, Brightfall::kSustain, 0, text), 1);
        Play(plug, buffers, random, 30, 256, out);
        plug.Dispatch(effMainsChanged, 0, 0);
        plug.Dispatch(effMainsChanged, 0, 1);
        Play(plug, buffers, random, 30, 256, out);
        EXPECT_EQ(EngineOf(plug).getSustain(), 0.62f);
    });
    return out;
}

TEST(SustainChange, MadeOffTheAudioThreadItSoundsBitForBitAsMadeInPlace) {
    const std::vector<double> inPlace = HostSession(false);
    const std::vector<double> aside = HostSession(true);
    ASSERT_EQ(inPlace.size(), aside.size());
    EXPECT_TRUE(inPlace == aside);
}

// The noise generator every thread runs, stepped one draw at a time: the
// state `draws` draws after `state`.
std::uint32_t StepNoise(std::uint32_t state, std::uint64_t draws) {
    for (std::uint64_t i = 0; i < draws; ++i)
        state = state * 214013u + 2531011u;
    return state;
}

// Draws a synthesis at normalised Sustain v takes: two per sample below
// its length.
std::uint64_t DrawsFor(float v) {
    const float s = static_cast<float>(static_cast<double>(v * 100.0f) / 100.0);
    const float len = s * 128000.0f;
    return len >= 128000.0f ? 256000u : 2u * static_cast<std::uint64_t>(std::ceil(len));
}

TEST(SustainChange, AutomatedOnTheAudioThreadTheLatestIsPreparedInSlicesFromItsNoise) {
    OnFreshThread([] {
        Instance plug;
        ASSERT_NE(plug.Effect(), nullptr);
        plug.Start(48000.0f, 64);
        StereoBuffers buffers(64);
        Random random(12);
        std::vector<double> out;
        Play(plug, buffers, random, 4, 64, out);

        // From here on the host says this thread is its real-time one.
        robustness::RealtimeThread().store(std::this_thread::get_id());
        const std::uint32_t before = ReverbEngine::takeNoiseFor(0.0f);
        AEffect* e = plug.Effect();
        const float values[] = {0.8f, 0.35f, 0.6f};
        e->setParameter(e, Brightfall::kSustain, values[0]);
        EXPECT_EQ(EngineOf(plug).getSustain(), 0.5f);  // nothing made in the call
        Play(plug, buffers, random, 1, 64, out);
        e->setParameter(e, Brightfall::kSustain, values[1]);  // superseded: never prepared
        Play(plug, buffers, random, 1, 64, out);
        e->setParameter(e, Brightfall::kSustain, values[2]);
        int calls = 2;
        while (EngineOf(plug).getSustain() != 0.6f && calls < 200) {
            Play(plug, buffers, random, 1, 64, out);
            ++calls;
        }
        robustness::RealtimeThread().store(std::thread::id());
        // Within 50 ms of 64-frame blocks at 48 kHz, the first change's
        // preparation included.
        EXPECT_LE(calls, 37);

        // The audio thread's noise moved past every change's draws; the one
        // in place drew from where the first two left it.
        const std::uint32_t start = StepNoise(before, DrawsFor(values[0]) + DrawsFor(values[1]));
        EXPECT_EQ(ReverbEngine::takeNoiseFor(0.0f), StepNoise(start, DrawsFor(values[2])));
        ReverbEngine expected;
        expected.reset();
        expected.setSustainFrom(0.6f, start);
        const ReverbEngine& engine = EngineOf(plug);
        for (std::size_t i = 0; i < ReverbEngine::kImpulseLength; ++i) {
            ASSERT_EQ(engine.getImpulseL()[i], expected.getImpulseL()[i]) << i;
            ASSERT_EQ(engine.getImpulseR()[i], expected.getImpulseR()[i]) << i;
        }
        EXPECT_TRUE(buffers.OutputsFinite(64));
    });
}

}  // namespace
