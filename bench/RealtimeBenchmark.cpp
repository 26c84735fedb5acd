// The plug-in module in a real-time host simulation: one stereo instance at
// 48 kHz, loaded by path through its exports, its audio thread woken at each
// block's deadline (SCHED_FIFO where the machine allows it), while Sustain or
// Wet/Dry moves the way producers move them: a knob dragged at 60 Hz on a GUI
// thread, or automation applied on the audio thread before every block with
// the host answering "real-time" to the process-level query there.
// Reported per scenario and block size: callbacks that finished after the
// next block was due (the host plays a dropout), and of them those whose
// thread woke too late to finish in time whatever the callback did (this
// machine stalls even a real-time thread now and then), the worst and mean
// callback as a share of the period; for automation, how long after a change on the
// audio thread its value is heard. Then a Sustain change's cost on a GUI
// thread against the engine's own synthesis in the same run, and the
// memory of one instance.
//   realtime_bench [MODULE] [--seconds S]
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchNoise.h"
#include "dsp/ReverbEngine.h"
#include "tools/host/PluginModule.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kRate = 48000.0;

// The thread the host calls real-time, when it answers the query at all.
std::atomic<std::thread::id> gAudioThread{};
std::atomic<bool> gAnswerLevel{false};

VstIntPtr VSTCALLBACK HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion)
        return 2400;
    if (opcode == audioMasterGetCurrentProcessLevel && gAnswerLevel.load())
        return std::this_thread::get_id() == gAudioThread.load() ? kVstProcessLevelRealtime
                                                                 : kVstProcessLevelUser;
    return 0;
}

AEffect* Open(const PluginModule& module, int frames) {
    AEffect* e = module.Entry()(&HostCallback);
    if (!e)
        return nullptr;
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(kRate));
    e->dispatcher(e, effSetBlockSize, 0, frames, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    e->setParameter(e, 0, 0.5f);
    e->setParameter(e, 1, 0.5f);
    return e;
}

void Close(AEffect* e) {
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

// Real-time priority for the calling thread where allowed; says which.
bool MakeRealtime() {
    sched_param param{};
    param.sched_priority = 70;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

void SleepUntil(Clock::time_point t) {
    std::this_thread::sleep_until(t);
}

struct Buffers {
    explicit Buffers(int frames) {
        for (int c = 0; c < 2; ++c) {
            in[c] = bench::noise(static_cast<std::size_t>(frames), 5u + static_cast<unsigned>(c));
            for (double& x : in[c])
                x *= 0.25;
            out[c].assign(static_cast<std::size_t>(frames), 0.0);
            inPtrs[c] = in[c].data();
            outPtrs[c] = out[c].data();
        }
    }
    bool OutputIsInput(int frames) const {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < frames; ++i)
                if (out[c][i] != in[c][i])
                    return false;
        return true;
    }
    std::vector<double> in[2], out[2];
    double* inPtrs[2] = {};
    double* outPtrs[2] = {};
};

enum class Scenario { kIdle, kWetDryGui, kSustainGui, kSustainAutomated };

const char* NameOf(Scenario s) {
    switch (s) {
        case Scenario::kIdle:
            return "nothing moving";
        case Scenario::kWetDryGui:
            return "Wet/Dry dragged at 60 Hz (GUI thread)";
        case Scenario::kSustainGui:
            return "Sustain dragged at 60 Hz (GUI thread)";
        case Scenario::kSustainAutomated:
            return "Sustain automated every block (audio thread)";
    }
    return "";
}

struct Result {
    long calls = 0, late = 0;
    long lateWoken = 0;              // of the late ones, woken a period or more late
    double worst = 0.0, mean = 0.0;  // of the period
    double worstWake = 0.0;          // ms past the deadline the thread woke at worst
    bool realtime = false;
};

Result Run(const PluginModule& module, Scenario scenario, int frames, double seconds) {
    Result r;
    AEffect* e = Open(module, frames);
    if (!e)
        return r;
    const auto period = std::chrono::duration<double>(frames / kRate);
    const double periodSeconds = period.count();
    std::atomic<bool> stop{false};
    std::thread gui;
    if (scenario == Scenario::kWetDryGui || scenario == Scenario::kSustainGui) {
        gui = std::thread([&] {
            const int index = scenario == Scenario::kWetDryGui ? 0 : 1;
            for (int step = 0; !stop.load(); ++step) {
                e->setParameter(e, index, static_cast<float>(0.5 + 0.45 * std::sin(step * 0.1)));
                std::this_thread::sleep_for(std::chrono::microseconds(16667));
            }
        });
    }
    std::thread audio([&] {
        r.realtime = MakeRealtime();
        gAudioThread.store(std::this_thread::get_id());
        gAnswerLevel.store(scenario == Scenario::kSustainAutomated);
        Buffers b(frames);
        const long warmup = static_cast<long>(0.5 / periodSeconds);
        const long total = warmup + static_cast<long>(seconds / periodSeconds);
        const auto start = Clock::now();
        double sum = 0.0;
        for (long k = 0; k < total; ++k) {
            const auto due = start + std::chrono::duration_cast<Clock::duration>(k * period);
            SleepUntil(due);
            const auto t0 = Clock::now();
            if (scenario == Scenario::kSustainAutomated)
                e->setParameter(
                    e, 1, static_cast<float>(0.5 + 0.45 * std::sin(static_cast<double>(k) * 0.05)));
            e->processDoubleReplacing(e, b.inPtrs, b.outPtrs, frames);
            const auto t1 = Clock::now();
            if (k < warmup)
                continue;
            const double took = std::chrono::duration<double>(t1 - t0).count() / periodSeconds;
            const auto nextDue = due + std::chrono::duration_cast<Clock::duration>(period);
            const double woke = std::chrono::duration<double>(t0 - due).count();
            r.worstWake = std::max(r.worstWake, 1e3 * woke);
            if (t1 > nextDue) {
                ++r.late;
                // The machine, not the callback: it started past its time.
                r.lateWoken += woke >= periodSeconds - took * periodSeconds ? 1 : 0;
            }
            r.worst = std::max(r.worst, took);
            sum += took;
            ++r.calls;
        }
        r.mean = r.calls > 0 ? sum / static_cast<double>(r.calls) : 0.0;
        gAnswerLevel.store(false);
    });
    audio.join();
    stop.store(true);
    if (gui.joinable())
        gui.join();
    Close(e);
    return r;
}

// Blocks from a change of Sustain on the audio thread until it is heard:
// from 0 (the input passes unchanged) to a value (the reverb, Wet/Dry at
// 100 %) and back, `rounds` times. Returns the worst, in milliseconds.
double HeardAfter(const PluginModule& module, int frames, int rounds, double* mean) {
    AEffect* e = Open(module, frames);
    double worst = 0.0, sum = 0.0;
    int count = 0;
    std::thread audio([&] {
        MakeRealtime();
        gAudioThread.store(std::this_thread::get_id());
        gAnswerLevel.store(true);
        Buffers b(frames);
        e->setParameter(e, 0, 1.0f);
        const auto period = std::chrono::duration<double>(frames / kRate);
        auto due = Clock::now();
        for (int round = 0; round < 2 * rounds; ++round) {
            const bool toSilent = round % 2 == 0;
            e->setParameter(e, 1, toSilent ? 0.0f : 0.3f + 0.07f * static_cast<float>(round % 10));
            int blocks = 0;
            for (;;) {
                due += std::chrono::duration_cast<Clock::duration>(period);
                SleepUntil(due);
                e->processDoubleReplacing(e, b.inPtrs, b.outPtrs, frames);
                ++blocks;
                if (b.OutputIsInput(frames) == toSilent || blocks > 10000)
                    break;
            }
            if (!toSilent) {
                const double ms = 1e3 * blocks * frames / kRate;
                worst = std::max(worst, ms);
                sum += ms;
                ++count;
            }
        }
        gAnswerLevel.store(false);
    });
    audio.join();
    Close(e);
    *mean = count > 0 ? sum / count : 0.0;
    return worst;
}

// A Sustain change made on a GUI thread through the module (prepared aside
// and swapped in before the call returns) against the engine's own
// synthesis in place, alternately, in the same run; medians in milliseconds.
void SustainCost(const PluginModule& module, double* throughModule, double* inPlace) {
    AEffect* e = Open(module, 256);
    ReverbEngine engine;
    engine.reset();
    std::vector<double> a, b;
    for (int i = 0; i < 41; ++i) {
        const float v = i % 2 == 0 ? 1.0f : 0.999f;
        auto t0 = Clock::now();
        e->setParameter(e, 1, v);
        auto t1 = Clock::now();
        engine.setSustain(v);
        auto t2 = Clock::now();
        a.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        b.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    *throughModule = a[a.size() / 2];
    *inPlace = b[b.size() / 2];
    Close(e);
}

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = BRIGHTFALL_BENCH_MODULE;
    double seconds = 4.0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else {
            path = argv[i];
        }
    }
    std::string error;
    std::unique_ptr<PluginModule> module = PluginModule::Load(path, &error);
    if (!module) {
        std::fprintf(stderr, "realtime_bench: cannot load %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    std::printf("module %s, stereo, 48 kHz, %.0f s per scenario\n", path.c_str(), seconds);
    // Memory first, before any instance has come and gone.
    {
        const int instances = 8;
        std::vector<AEffect*> effects;
        const long before = ResidentBytes();
        for (int i = 0; i < instances; ++i)
            effects.push_back(Open(*module, 256));
        const long after = ResidentBytes();
        for (AEffect* e : effects)
            Close(e);
        ReverbEngine engine;
        engine.reset();
        engine.setSustain(1.0f);
        const double made = static_cast<double>(engine.getAllocatedBytes()) / 1e6;
        engine.reserveForAnySustain();
        engine.setSustain(1.0f);
        const double reserved = static_cast<double>(engine.getAllocatedBytes()) / 1e6;
        const double object = static_cast<double>(sizeof(ReverbEngine)) / 1e6;
        std::printf(
            "memory per instance: two engines, each %.2f MB on the heap reserved for any Sustain "
            "(%.2f MB as made for Sustain 1.0) + %.2f MB in the object: %.2f MB; %.2f MB "
            "resident (%d instances)\n",
            reserved, made, object, 2.0 * (reserved + object),
            static_cast<double>(after - before) / instances / 1e6, instances);
    }
    bool anyRealtime = false;
    for (int frames : {64, 256}) {
        const double periodMs = 1e3 * frames / kRate;
        for (Scenario s : {Scenario::kIdle, Scenario::kWetDryGui, Scenario::kSustainGui,
                           Scenario::kSustainAutomated}) {
            const Result r = Run(*module, s, frames, seconds);
            anyRealtime = anyRealtime || r.realtime;
            std::printf(
                "block %4d (%.2f ms) | %-46s | late %3ld of %5ld (%ld woken late) | worst %5.1f %% "
                "| mean %5.1f %% of the period | woke up to %.2f ms late\n",
                frames, periodMs, NameOf(s), r.late, r.calls, r.lateWoken, 100.0 * r.worst,
                100.0 * r.mean, r.worstWake);
        }
        double mean = 0.0;
        const double worst = HeardAfter(*module, frames, 10, &mean);
        std::printf(
            "block %4d | a change automated on the audio thread is heard %.1f ms later at worst, "
            "%.1f ms on average\n",
            frames, worst, mean);
    }
    std::printf("audio thread under SCHED_FIFO: %s\n",
                anyRealtime ? "yes" : "no (not allowed here: normal priority)");

    double throughModule = 0.0, inPlace = 0.0;
    SustainCost(*module, &throughModule, &inPlace);
    std::printf(
        "Sustain 1.0 set on a GUI thread: %.3f ms through the module (prepared aside, swapped "
        "in), %.3f ms for the engine's synthesis in place (ratio %.2f)\n",
        throughModule, inPlace, inPlace > 0.0 ? throughModule / inPlace : 0.0);

    return 0;
}
