// The DSP binary driven through lilv as an LV2 host drives it: state through
// the state extension, Sustain changed while audio runs with and without the
// worker, and what a careless or hostile host may do.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include "LV2TestHost.h"

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 64;

// Runs body on a thread of its own, so the reverb's noise starts where a
// fresh host thread's does.
template <typename F>
void OnFreshThread(F body) {
    std::thread t(body);
    t.join();
}

void FillNoise(LV2TestHost& host, int frames, std::uint32_t& x) {
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < frames; ++i) {
            x = x * 1664525u + 1013904223u;
            host.in[c][i] = static_cast<float>(static_cast<double>(x >> 8) / 16777216.0 - 0.5);
        }
    }
}

// `blocks` runs of noise; the output appended to `out`.
void RunNoise(LV2TestHost& host, int blocks, std::vector<float>& out) {
    std::uint32_t x = 777;
    for (int b = 0; b < blocks; ++b) {
        FillNoise(host, kBlock, x);
        host.Run(kBlock);
        for (int c = 0; c < 2; ++c)
            out.insert(out.end(), host.out[c].begin(), host.out[c].begin() + kBlock);
    }
}

double ChunkValue(const std::vector<unsigned char>& chunk, int index) {
    double v = 0.0;
    std::memcpy(&v, chunk.data() + 8 + 8 * index, sizeof(v));
    return v;
}

}  // namespace

TEST(LV2State, SavedChunkIsTheVst2ChunkAndRestoresValuesAndSound) {
    std::vector<unsigned char> saved;
    std::vector<float> first, second;
    OnFreshThread([&] {
        LV2TestHost host(LV2TestHost::Worker::kNone, kRate, kBlock);
        ASSERT_TRUE(host.Loaded());
        host.Activate();
        host.control[0] = 30.0f;
        host.control[1] = 70.0f;
        RunNoise(host, 400, first);
        saved = host.SaveState();
    });
    // Magic "tffp", version 1.0, then Wet/Dry and Sustain as doubles: the
    // 24 bytes the VST 2 module's effGetChunk gives.
    ASSERT_EQ(saved.size(), 24u);
    EXPECT_EQ(std::string(saved.begin(), saved.begin() + 4), "tffp");
    EXPECT_EQ(ChunkValue(saved, 0), 30.0);
    EXPECT_EQ(ChunkValue(saved, 1), 70.0);

    OnFreshThread([&] {
        LV2TestHost host(LV2TestHost::Worker::kNone, kRate, kBlock);
        ASSERT_TRUE(host.Loaded());
        host.Activate();
        ASSERT_TRUE(host.RestoreState(saved));
        EXPECT_EQ(host.SaveState(), saved);
        // A session's ports come back with the values the state holds.
        host.control[0] = 30.0f;
        host.control[1] = 70.0f;
        RunNoise(host, 400, second);
    });
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(first, second);

    // A host that sets a port and saves before any run (Ardour with its
    // engine stopped) saves the value it set; the run after still applies it.
    OnFreshThread([&] {
        LV2TestHost host(LV2TestHost::Worker::kNone, kRate, kBlock);
        ASSERT_TRUE(host.Loaded());
        host.Activate();
        std::vector<float> ignored;
        RunNoise(host, 1, ignored);
        host.control[1] = 77.0f;
        EXPECT_EQ(ChunkValue(host.SaveState(), 1), 77.0);
        host.control[1] = -std::numeric_limits<float>::infinity();
        EXPECT_EQ(ChunkValue(host.SaveState(), 1), 0.0);
        host.control[1] = 77.0f;
        RunNoise(host, 1, ignored);
        EXPECT_EQ(ChunkValue(host.SaveState(), 1), 77.0);
        host.control[1] = 50.0f;
        RunNoise(host, 1, ignored);
        EXPECT_EQ(ChunkValue(host.SaveState(), 1), 50.0);
    });

    // A chunk cut short or of another kind is refused, and changes nothing.
    OnFreshThread([&] {
        LV2TestHost host(LV2TestHost::Worker::kNone, kRate, kBlock);
        ASSERT_TRUE(host.Loaded());
        ASSERT_TRUE(host.RestoreState(saved));
        std::vector<unsigned char> shortChunk(saved.begin(), saved.begin() + 12);
        EXPECT_FALSE(host.RestoreState(shortChunk));
        const std::vector<unsigned char> now = host.SaveState();
        ASSERT_EQ(now.size(), 24u);
        EXPECT_EQ(ChunkValue(now, 0), 30.0);
    });
}

// Sustain moved every few runs while audio runs, under every way a host may
// run the worker: on its own thread, inside schedule_work with the answer
// handed back there or after the run, answering many runs late, or none at
// all. The first run after activation makes its change at once; every later
// one is prepared aside, so no run allocates, and where the work is not done
// on the audio thread itself none costs more than a small part of the first.
// Whatever the mode, the response in place at the end is the last value's.
// The CPU time of the runs on the run thread (thread CPU time, so a
// preempted run does not count) is compared within the same process, never
// against a fixed budget: a sanitizer or a busy machine scales both.
TEST(LV2Sustain, ChangesWhileRunningAreHeardAndNoRunCarriesTheSynthesis) {
    using Worker = LV2TestHost::Worker;
    const double quarterBlockMicros = 1e6 * kBlock / kRate / 4.0;
    const float sustains[] = {80.0f, 30.0f, 100.0f, 55.0f, 90.0f, 40.0f, 100.0f, 10.0f};
    const struct {
        Worker worker;
        const char* name;
    } modes[] = {{Worker::kThreaded, "threaded worker"},
                 {Worker::kNone, "no worker"},
                 {Worker::kAtOnce, "worker run and answered inside schedule_work"},
                 {Worker::kAfterRun, "worker run inside schedule_work, answered after the run"},
                 {Worker::kLate, "worker answering many runs late"}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.name);
        const bool workOnAudioThread =
            mode.worker == Worker::kAtOnce || mode.worker == Worker::kAfterRun;
        double atOnce = 0.0, worstLater = 0.0;
        int changes = 0, workDone = 0;
        long allocations = -1;
        bool finite = true;
        std::vector<float> tail;
        OnFreshThread([&] {
            LV2TestHost host(mode.worker, kRate, kBlock);
            ASSERT_TRUE(host.Loaded());
            host.Activate();
            host.control[0] = 100.0f;
            std::uint32_t x = 99;
            int next = 0;
            for (int run = 0; run < 8 * 12; ++run) {
                const bool change = run % 12 == 0;
                if (change) {
                    host.control[1] = sustains[next++];
                    ++changes;
                }
                FillNoise(host, kBlock, x);
                host.Run(kBlock);
                // Paced as a sound card would, so the worker keeps up.
                std::this_thread::sleep_for(std::chrono::microseconds(1000000 * kBlock / kRate));
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < kBlock; ++i)
                        finite = finite && std::isfinite(host.out[c][i]);
                if (run == 0) {
                    atOnce = host.lastRunMicros;
                } else {
                    worstLater = std::max(worstLater, host.lastRunMicros);
                }
            }
            // The last change in place: silence, one impulse, and the
            // response it leaves. A late worker's answers come in their time.
            host.DrainWorker();
            for (int run = 0; run <= LV2TestHost::kLateRuns + 1; ++run) {
                host.Run(kBlock);  // the last answer swapped in
                host.DrainWorker();
            }
            workDone = host.workDone;
            allocations = host.runAllocations;
            for (int c = 0; c < 2; ++c)
                std::fill(host.in[c].begin(), host.in[c].end(), 0.0f);
            for (int run = 0; run < 400; ++run)
                host.Run(kBlock);
            host.in[0][0] = 1.0f;
            for (int run = 0; run < 300; ++run) {
                host.Run(kBlock);
                host.in[0][0] = 0.0f;
                tail.insert(tail.end(), host.out[0].begin(), host.out[0].end());
            }
        });
        EXPECT_TRUE(finite);
        EXPECT_EQ(changes, 8);
        // Sustain 10 is a response of 12800 samples.
        double early = 0.0, late = 0.0;
        for (std::size_t i = 11000; i < 12700; ++i)
            early = std::max(early, static_cast<double>(std::fabs(tail[i])));
        for (std::size_t i = 12900; i < tail.size(); ++i)
            late = std::max(late, static_cast<double>(std::fabs(tail[i])));
        EXPECT_GT(early, 1e-4);
        EXPECT_LT(late, 1e-9);
        // Nothing allocated on the audio thread, changes included.
        EXPECT_EQ(allocations, 0);
        if (mode.worker == Worker::kNone) {
            EXPECT_EQ(workDone, 0);
        } else {
            // Changes that come while one is being prepared are folded into one.
            EXPECT_GE(workDone, 1);
            EXPECT_LE(workDone, 7);
        }
        // The costliest later run, a slice or a swap, is a small part of the
        // run that made its change itself; a host that works on its audio
        // thread pays there by its own choice.
        if (!workOnAudioThread) {
            EXPECT_LT(3.0 * worstLater, atOnce);
        }
        std::printf(
            "%s: the first run, its change made at once, took %.0f us of CPU; the costliest "
            "later run %.0f us (quarter block %.0f us); %d preparations on the worker\n",
            mode.name, atOnce, worstLater, quarterBlockMicros, workDone);
    }
}

TEST(LV2Hostile, NonFiniteControlsNullPortsEmptyRunsAndRunBeforeActivate) {
    OnFreshThread([] {
        LV2TestHost host(LV2TestHost::Worker::kThreaded, kRate, kBlock);
        ASSERT_TRUE(host.Loaded());
        // Before activate, and with nothing in the runs.
        host.Run(kBlock);
        host.Run(0);
        host.Activate();
        host.Run(0);
        auto value = [&](int index) { return ChunkValue(host.SaveState(), index); };

        host.control[0] = 20.0f;
        host.control[1] = 40.0f;
        host.Run(kBlock);
        host.control[0] = std::numeric_limits<float>::quiet_NaN();
        host.control[1] = std::numeric_limits<float>::quiet_NaN();
        host.Run(kBlock);
        EXPECT_EQ(value(0), 20.0);
        EXPECT_EQ(value(1), 40.0);
        host.control[0] = std::numeric_limits<float>::infinity();
        host.control[1] = -std::numeric_limits<float>::infinity();
        host.Run(0);  // a run of no frames still reads the controls
        EXPECT_EQ(value(0), 100.0);
        EXPECT_EQ(value(1), 0.0);
        host.control[0] = -std::numeric_limits<float>::infinity();
        host.control[1] = std::numeric_limits<float>::infinity();
        host.Run(kBlock);
        EXPECT_EQ(value(0), 0.0);
        EXPECT_EQ(value(1), 100.0);
        host.control[1] = 1e30f;  // out of range: held at the maximum
        host.Run(kBlock);
        EXPECT_EQ(value(1), 100.0);
        host.DrainWorker();

        // Ports taken away: no control is read, no audio buffer touched;
        // then given back. Ports past the last are ignored.
        for (std::uint32_t port = 0; port < LV2TestHost::kPorts + 3; ++port)
            host.ConnectPort(port, nullptr);
        host.Run(kBlock);
        host.Run(0);
        host.ConnectPort(LV2TestHost::kWetDry, &host.control[0]);
        host.ConnectPort(LV2TestHost::kSustain, &host.control[1]);
        host.ConnectAudio(kBlock);
        host.control[0] = 50.0f;
        // A block far longer than the announced maximum, in place.
        host.ConnectAudio(5000);
        host.ConnectPort(LV2TestHost::kOutL, host.in[0].data());
        host.ConnectPort(LV2TestHost::kOutR, host.in[1].data());
        std::fill(host.in[0].begin(), host.in[0].end(), 0.25f);
        host.Run(5000);
        for (float v : host.in[0])
            ASSERT_TRUE(std::isfinite(v));
        host.DrainWorker();
        host.Deactivate();
    });
}
