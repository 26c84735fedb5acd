// One instance under every kind of thread at once, for a bounded time: the
// audio thread in both replacing callbacks at random block sizes, automating
// Sustain now and then (the host says it is its real-time thread), a host
// thread moving both parameters and reading their texts, a third thread
// saving and restoring state and composing the editor offscreen under the
// plug-in mutex (as the window does), and a fourth creating and destroying
// a second instance in a loop. A watchdog fails the test when a thread stops
// making progress. Built under ThreadSanitizer in its own tree.
//
// Duration: BRIGHTFALL_STRESS_SECONDS (default 2).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "PluginHarness.h"
#include "graphics/IGraphics.h"
#include "plugin/Brightfall.h"

namespace {

using robustness::Instance;
using robustness::Random;
using robustness::StereoBuffers;
using Clock = std::chrono::steady_clock;

double StressSeconds() {
    const char* text = std::getenv("BRIGHTFALL_STRESS_SECONDS");
    const double s = text ? std::atof(text) : 2.0;
    return s > 0.0 ? s : 2.0;
}

// What each thread did; read by the main thread after joining.
struct Counts {
    std::atomic<long> audioCalls{0}, audioFrames{0}, nonFinite{0}, automations{0};
    std::atomic<long> parameterSets{0}, sustainSets{0}, parameterReads{0}, texts{0}, resets{0};
    std::atomic<long> chunkRoundTrips{0}, chunkMismatches{0}, unlockedRestores{0}, chunkRefusals{0};
    std::atomic<long> editorFrames{0};
    std::atomic<long> lifecycles{0};
};

// A heartbeat per thread: the watchdog wants each one to move.
struct Heartbeats {
    static constexpr int kThreads = 4;
    std::atomic<long> beat[kThreads] = {};
};

void AudioThread(Instance& plug, const std::atomic<bool>& stop, Counts& counts,
                 std::atomic<long>& beat) {
    Random random(1);
    StereoBuffers buffers(4096);
    AEffect* e = plug.Effect();
    robustness::RealtimeThread().store(std::this_thread::get_id());
    while (!stop.load(std::memory_order_relaxed)) {
        if (random.Between(0, 19) == 0) {
            // Prepared in slices of the calls that follow.
            e->setParameter(e, 1, static_cast<float>(random.Unit()));
            counts.automations.fetch_add(1, std::memory_order_relaxed);
        }
        const int frames = random.Between(1, 4096);
        buffers.Fill(random, 0.5);
        if (random.Next() & 1) {
            e->processReplacing(e, buffers.inPtrsF, buffers.outPtrsF, frames);
        } else {
            e->processDoubleReplacing(e, buffers.inPtrs, buffers.outPtrs, frames);
        }
        if (!buffers.OutputsFinite(frames))
            counts.nonFinite.fetch_add(1);
        counts.audioCalls.fetch_add(1, std::memory_order_relaxed);
        counts.audioFrames.fetch_add(frames, std::memory_order_relaxed);
        beat.fetch_add(1, std::memory_order_relaxed);
    }
}

void HostThread(Instance& plug, const std::atomic<bool>& stop, Counts& counts,
                std::atomic<long>& beat) {
    Random random(2);
    AEffect* e = plug.Effect();
    char text[256];
    while (!stop.load(std::memory_order_relaxed)) {
        const int choice = random.Between(0, 99);
        if (choice < 30) {
            e->setParameter(e, 0, static_cast<float>(random.Unit()));
            counts.parameterSets.fetch_add(1, std::memory_order_relaxed);
        } else if (choice < 40) {
            // Each one synthesises both responses anew.
            e->setParameter(e, 1, static_cast<float>(random.Unit()));
            counts.sustainSets.fetch_add(1, std::memory_order_relaxed);
        } else if (choice < 60) {
            const float v = e->getParameter(e, random.Between(0, 1));
            if (!(v >= 0.0f && v <= 1.0f))
                counts.nonFinite.fetch_add(1);
            counts.parameterReads.fetch_add(1, std::memory_order_relaxed);
        } else if (choice < 97) {
            static const VstInt32 kTextOps[] = {effGetParamDisplay, effGetParamName,
                                                effGetParamLabel, effGetEffectName};
            std::memset(text, 0, sizeof(text));
            plug.Dispatch(kTextOps[random.Between(0, 3)], random.Between(0, 1), 0, text);
            if (std::memchr(text, '\0', sizeof(text)) == nullptr)
                counts.nonFinite.fetch_add(1);
            counts.texts.fetch_add(1, std::memory_order_relaxed);
        } else {
            // Hosts suspend and resume, and change the block size, from
            // their own threads while audio may still be running.
            if (choice == 97) {
                plug.Dispatch(effMainsChanged, 0, 0);
                plug.Dispatch(effMainsChanged, 0, 1);
            } else {
                plug.Dispatch(effSetBlockSize, 0, random.Between(64, 4096));
            }
            counts.resets.fetch_add(1, std::memory_order_relaxed);
        }
        beat.fetch_add(1, std::memory_order_relaxed);
    }
}

void StateAndEditorThread(Instance& plug, const std::atomic<bool>& stop, Counts& counts,
                          std::atomic<long>& beat) {
    Random random(3);
    IPlugVST* p = plug.Plug();
    auto* editor = static_cast<IGraphics*>(p->GetEditor());
    while (!stop.load(std::memory_order_relaxed)) {
        const int choice = random.Between(0, 9);
        if (choice < 4) {
            // Saved, restored and saved again with no other call in between:
            // the second save must be the first byte for byte.
            IPlugBase::Lock lock(p->GetMutex());
            const std::vector<unsigned char> saved = plug.SaveChunk();
            const VstIntPtr restored = plug.RestoreChunk(saved);
            const std::vector<unsigned char> again = plug.SaveChunk();
            if (saved.size() != 24 || restored != 1 || again != saved)
                counts.chunkMismatches.fetch_add(1);
            counts.chunkRoundTrips.fetch_add(1, std::memory_order_relaxed);
        } else if (choice < 7) {
            // As hosts do it: each call takes the mutex on its own.
            std::vector<unsigned char> saved = plug.SaveChunk();
            if (saved.size() != 24)
                counts.chunkMismatches.fetch_add(1);
            if (plug.RestoreChunk(saved) != 1)
                counts.chunkRefusals.fetch_add(1);
            counts.unlockedRestores.fetch_add(1, std::memory_order_relaxed);
        } else if (editor) {
            // The window's paint: everything composed offscreen, mutex held.
            IPlugBase::Lock lock(p->GetMutex());
            editor->MarkAllControlsChanged();
            editor->RedrawRegion(IRect(0, 0, editor->Width(), editor->Height()));
            counts.editorFrames.fetch_add(1, std::memory_order_relaxed);
        }
        beat.fetch_add(1, std::memory_order_relaxed);
    }
}

void LifecycleThread(const std::atomic<bool>& stop, Counts& counts, std::atomic<long>& beat) {
    Random random(4);
    StereoBuffers buffers(512);
    while (!stop.load(std::memory_order_relaxed)) {
        Instance second;
        if (!second.Effect()) {
            counts.nonFinite.fetch_add(1);
            break;
        }
        second.Start(44100.0f, 512);
        buffers.Fill(random, 0.5);
        AEffect* e = second.Effect();
        e->processDoubleReplacing(e, buffers.inPtrs, buffers.outPtrs, 512);
        e->processReplacing(e, buffers.inPtrsF, buffers.outPtrsF, 512);
        if (!buffers.OutputsFinite(512))
            counts.nonFinite.fetch_add(1);
        second.Close();
        counts.lifecycles.fetch_add(1, std::memory_order_relaxed);
        beat.fetch_add(1, std::memory_order_relaxed);
    }
}

TEST(Stress, OneInstanceUnderAllThreadsAndASecondComingAndGoing) {
    const double seconds = StressSeconds();
    Instance plug;
    ASSERT_NE(plug.Effect(), nullptr);
    ASSERT_NE(plug.Plug()->GetEditor(), nullptr);
    plug.Start(48000.0f, 1024);

    Counts counts;
    Heartbeats beats;
    std::atomic<bool> stop{false};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    threads.emplace_back(AudioThread, std::ref(plug), std::cref(stop), std::ref(counts),
                         std::ref(beats.beat[0]));
    threads.emplace_back(HostThread, std::ref(plug), std::cref(stop), std::ref(counts),
                         std::ref(beats.beat[1]));
    threads.emplace_back(StateAndEditorThread, std::ref(plug), std::cref(stop), std::ref(counts),
                         std::ref(beats.beat[2]));
    threads.emplace_back(LifecycleThread, std::cref(stop), std::ref(counts),
                         std::ref(beats.beat[3]));

    // The watchdog: every thread must move at least once in each window,
    // and all must be back within the window after being told to stop. A
    // thread stuck on a lock cannot be joined, so a hang ends the program.
    const auto window = std::chrono::seconds(30);
    long last[Heartbeats::kThreads] = {};
    auto windowStart = Clock::now();
    const auto end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (Clock::now() - windowStart < window)
            continue;
        for (int t = 0; t < Heartbeats::kThreads; ++t) {
            const long now = beats.beat[t].load();
            if (now == last[t]) {
                std::fprintf(stderr, "stress: thread %d made no progress for 30 s: deadlock\n", t);
                std::_Exit(2);
            }
            last[t] = now;
        }
        windowStart = Clock::now();
    }
    stop.store(true);
    std::atomic<bool> joined{false};
    std::thread watchdog([&joined, window] {
        const auto deadline = Clock::now() + window;
        while (!joined.load() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!joined.load()) {
            std::fprintf(stderr, "stress: threads not back 30 s after stop: deadlock\n");
            std::_Exit(2);
        }
    });
    for (std::thread& t : threads)
        t.join();
    joined.store(true);
    watchdog.join();
    robustness::RealtimeThread().store(std::thread::id());

    // Once every call has returned and the slices have run out, the engine
    // in place holds the parameter's Sustain, whoever set it last.
    {
        char name[64] = {};
        plug.Dispatch(effGetEffectName, 0, 0, name);  // any call ends a change left pending
        robustness::RealtimeThread().store(std::this_thread::get_id());
        StereoBuffers buffers(1024);
        AEffect* e = plug.Effect();
        for (int i = 0; i < 64; ++i)
            e->processDoubleReplacing(e, buffers.inPtrs, buffers.outPtrs, 1024);
        robustness::RealtimeThread().store(std::thread::id());
        const double value = plug.Plug()->GetParam(1)->Value();
        const float expected = value > 0.0 ? static_cast<float>(value / 100.0) : 0.0f;
        EXPECT_EQ(static_cast<const Brightfall*>(plug.Plug())->Engine().getSustain(), expected);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    std::printf(
        "stress: %.1f s; audio calls %ld (%ld frames, Sustain automated %ld times); "
        "parameter sets %ld (sustain %ld), "
        "reads %ld, texts %ld, suspends/block sizes %ld; chunk round trips %ld under the "
        "lock, %ld without; editor frames %ld; second-instance lifecycles %ld; host "
        "callbacks %ld\n",
        elapsed, counts.audioCalls.load(), counts.audioFrames.load(), counts.automations.load(),
        counts.parameterSets.load(), counts.sustainSets.load(), counts.parameterReads.load(),
        counts.texts.load(), counts.resets.load(), counts.chunkRoundTrips.load(),
        counts.unlockedRestores.load(), counts.editorFrames.load(), counts.lifecycles.load(),
        robustness::HostCallbackCount().load());

    EXPECT_EQ(counts.nonFinite.load(), 0) << "non-finite output, parameter or unterminated text";
    EXPECT_EQ(counts.chunkMismatches.load(), 0);
    EXPECT_EQ(counts.chunkRefusals.load(), 0);
    EXPECT_GT(counts.audioCalls.load(), 0);
    EXPECT_GT(counts.sustainSets.load(), 0);
    EXPECT_GT(counts.automations.load(), 0);
    EXPECT_GT(counts.chunkRoundTrips.load(), 0);
    EXPECT_GT(counts.editorFrames.load(), 0);
    EXPECT_GT(counts.lifecycles.load(), 0);
}

}  // namespace
