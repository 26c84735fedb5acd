// The plug-in module in a real-time host simulation: one stereo instance at
// 48 kHz, loaded by path and driven through the tools' VST 2 host, its audio
// thread woken at each block's deadline (SCHED_FIFO where the machine allows
// it), while Sustain or Wet/Dry moves the way producers move them: a knob
// dragged at 60 Hz on a GUI thread, or automation applied on the audio
// thread before every block with the host answering "real-time" to the
// process-level query there.
// Runs of a fixed number of calls, the scenarios interleaved run by run so
// that the machine's own stalls fall on all of them alike. Reported per
// scenario and block size: the late calls of each run (finished after the
// next block was due: the host plays a dropout) and their median, the worst
// call, and for every call that finished more than half a period after its
// deadline, what it was doing, as the module reports it for its last call:
// waiting for the plug-in mutex (and how long), a slice of a preparation,
// a prepared response swapped in; or, from the benchmark's clocks, a thread
// that woke late or was stalled in the call by the machine; or nothing of
// ours. Then how long an automated change takes to be heard, a Sustain
// change's cost on a GUI thread against the engine's own synthesis in the
// same run, and the memory of one instance.
// The VST 3 bundle runs idle and with Sustain automated through its process
// call's parameter queues, as a VST 3 host automates; it has no report of
// its last call, so its late calls are told apart by the clocks only.
//   realtime_bench [MODULE] [--vst3 BUNDLE] [--calls N] [--runs R] [--blocks 64,256]
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

#include "bench/BenchHost.h"
#include "bench/BenchPacing.h"
#include "dsp/ReverbEngine.h"
#include "tools/host/PluginModule.h"
#include "tools/host/Vst3Host.h"
#include "tools/host/VstHost.h"
#include "vst2/VendorCalls.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kRate = 48000.0;

std::unique_ptr<VstHost> Open(const PluginModule& module, int frames) {
    std::unique_ptr<VstHost> host = bench::OpenVst2(module, kRate, frames);
    if (host) {
        host->SetParameter(0, 0.5f);
        host->SetParameter(1, 0.5f);
    }
    return host;
}

std::unique_ptr<Vst3Instance> OpenVst3(const Vst3Module& module, int frames) {
    auto instance = std::make_unique<Vst3Instance>(module);
    if (!instance->Processor() ||
        instance->Start(kRate, frames, vst3::kSample64) != vst3::kResultOk)
        return nullptr;
    for (vst3::ParamID id : {0u, 1u})
        instance->Controller()->setParamNormalized(id, 0.5);
    // The component takes the values through a process call's queues.
    Vst3ParameterChanges changes;
    changes.Add(0, 0, 0.5);
    changes.Add(1, 0, 0.5);
    double silence[2][1] = {{0.0}, {0.0}};
    double* ptrs[2] = {silence[0], silence[1]};
    double out[2][1];
    double* outPtrs[2] = {out[0], out[1]};
    instance->Process(ptrs, outPtrs, 2, 1, &changes);
    return instance;
}

void Close(VstHost& host) {
    host.Dispatch(effMainsChanged, 0, 0);
    host.Close();
}

// Real-time priority for the calling thread where allowed; says which.
bool MakeRealtime() {
    sched_param param{};
    param.sched_priority = 70;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

struct Buffers : bench::StereoBlock {
    explicit Buffers(int frames) : StereoBlock(frames, 5u) {}
};

enum class Scenario {
    kIdle,
    kWetDryGui,
    kSustainGui,
    kSustainAutomated,
    kIdleVst3,
    kSustainAutomatedVst3
};

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
        case Scenario::kIdleVst3:
            return "VST 3: nothing moving";
        case Scenario::kSustainAutomatedVst3:
            return "VST 3: Sustain automated every block (queues)";
    }
    return "";
}

// Why a call finished more than half a period after its deadline, the
// first that applies.
enum Cause { kMutex, kStalled, kSlice, kSwap, kWokeLate, kNothing, kCauses };
const char* const kCauseNames[kCauses] = {"waited for the mutex", "stalled in the call",
                                          "ran a slice", "swapped a response in", "woke late",
                                          "nothing of ours"};

struct Result {
    long calls = 0, late = 0;
    long lateWoken = 0;       // of the late ones, woken a period or more late
    double worstMs = 0.0;     // the longest call, wall clock
    double worstNotWokeLateMs = 0.0;  // the longest of the calls that did not wake late
    double mean = 0.0;        // of the period
    double worstWake = 0.0;   // ms past the deadline the thread woke at worst
    double worstMutexMs = 0.0;
    long causes[kCauses] = {};
    bool realtime = false;
};

Result Run(const PluginModule& module, const Vst3Module* bundle, Scenario scenario, int frames,
           long calls) {
    Result r;
    const bool throughVst3 =
        scenario == Scenario::kIdleVst3 || scenario == Scenario::kSustainAutomatedVst3;
    std::unique_ptr<VstHost> host;
    std::unique_ptr<Vst3Instance> instance;
    if (throughVst3) {
        instance = bundle ? OpenVst3(*bundle, frames) : nullptr;
        if (!instance)
            return r;
    } else {
        host = Open(module, frames);
        if (!host)
            return r;
    }
    AEffect* e = host ? host->Effect() : nullptr;
    Vst3ParameterChanges changes;
    const auto period = std::chrono::duration<double>(frames / kRate);
    const double periodSeconds = period.count();
    std::atomic<bool> stop{false};
    std::thread gui;
    if (scenario == Scenario::kWetDryGui || scenario == Scenario::kSustainGui) {
        gui = std::thread([&] {
            const int index = scenario == Scenario::kWetDryGui ? 0 : 1;
            for (int step = 0; !stop.load(); ++step) {
                host->SetParameter(index, static_cast<float>(0.5 + 0.45 * std::sin(step * 0.1)));
                std::this_thread::sleep_for(std::chrono::microseconds(16667));
            }
        });
    }
    std::thread audio([&] {
        r.realtime = MakeRealtime();
        if (scenario == Scenario::kSustainAutomated)
            host->SetAudioThread(std::this_thread::get_id());
        Buffers b(frames);
        // The queue's point is made once, before the clock starts.
        changes.Replace(1, 0, 0.5);
        const long warmup = static_cast<long>(0.5 / periodSeconds);
        const long total = warmup + calls;
        const auto start = Clock::now();
        double sum = 0.0;
        brightfall_vendor::AudioCallReport report{};
        for (long k = 0; k < total; ++k) {
            const auto due = start + std::chrono::duration_cast<Clock::duration>(k * period);
            std::this_thread::sleep_until(due);
            const auto t0 = Clock::now();
            const double cpu0 = bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            const double value = 0.5 + 0.45 * std::sin(static_cast<double>(k) * 0.05);
            if (scenario == Scenario::kSustainAutomated)
                e->setParameter(e, 1, static_cast<float>(value));
            if (scenario == Scenario::kSustainAutomatedVst3)
                changes.Replace(1, 0, static_cast<double>(static_cast<float>(value)));
            if (instance)
                instance->Process(b.inPtrs, b.outPtrs, 2, frames,
                                  scenario == Scenario::kSustainAutomatedVst3 ? &changes : nullptr);
            else
                e->processDoubleReplacing(e, b.inPtrs, b.outPtrs, frames);
            const auto t1 = Clock::now();
            const double cpu = bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
            report.size = sizeof(report);
            report.flags = 0;
            report.mutexWaitNanos = 0;
            if (e)
                e->dispatcher(e, effVendorSpecific, brightfall_vendor::kLastAudioCall, 0, &report,
                              0.0f);
            if (k < warmup)
                continue;
            const double took = std::chrono::duration<double>(t1 - t0).count();
            const double woke = std::chrono::duration<double>(t0 - due).count();
            const double done = std::chrono::duration<double>(t1 - due).count();
            r.worstWake = std::max(r.worstWake, 1e3 * woke);
            r.worstMs = std::max(r.worstMs, 1e3 * took);
            const double mutexMs = 1e-6 * static_cast<double>(report.mutexWaitNanos);
            r.worstMutexMs = std::max(r.worstMutexMs, mutexMs);
            if (done > periodSeconds) {
                ++r.late;
                // The machine, not the callback: it started past its time.
                r.lateWoken += woke >= periodSeconds - took ? 1 : 0;
            }
            const bool wokeLate = woke >= took;
            if (!wokeLate)
                r.worstNotWokeLateMs = std::max(r.worstNotWokeLateMs, 1e3 * took);
            if (done > 0.5 * periodSeconds) {
                Cause cause = kNothing;
                if (mutexMs > 0.05 * 1e3 * periodSeconds) {
                    cause = kMutex;
                } else if (cpu < 0.5 * took) {
                    cause = kStalled;
                } else if (report.flags & brightfall_vendor::kRanSlice) {
                    cause = kSlice;
                } else if (report.flags & brightfall_vendor::kSwappedIn) {
                    cause = kSwap;
                } else if (wokeLate) {
                    cause = kWokeLate;
                }
                ++r.causes[cause];
            }
            sum += took / periodSeconds;
            ++r.calls;
        }
        r.mean = r.calls > 0 ? sum / static_cast<double>(r.calls) : 0.0;
        if (host)
            host->SetAudioThread(std::thread::id());
    });
    audio.join();
    stop.store(true);
    if (gui.joinable())
        gui.join();
    if (host)
        Close(*host);
    if (instance)
        instance->Stop();
    return r;
}

// Blocks from a change of Sustain on the audio thread until it is heard:
// from 0 (the input passes unchanged) to a value (the reverb, Wet/Dry at
// 100 %) and back, `rounds` times. Returns the worst, in milliseconds.
double HeardAfter(const PluginModule& module, int frames, int rounds, double* mean) {
    std::unique_ptr<VstHost> host = Open(module, frames);
    double worst = 0.0, sum = 0.0;
    int count = 0;
    if (!host)
        return 0.0;
    AEffect* e = host->Effect();
    std::thread audio([&] {
        MakeRealtime();
        host->SetAudioThread(std::this_thread::get_id());
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
                std::this_thread::sleep_until(due);
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
        host->SetAudioThread(std::thread::id());
    });
    audio.join();
    Close(*host);
    *mean = count > 0 ? sum / count : 0.0;
    return worst;
}

// A Sustain change made on a GUI thread through the module (prepared aside
// and swapped in before the call returns) against the engine's own
// synthesis in place, alternately, in the same run; medians in milliseconds.
void SustainCost(const PluginModule& module, double* throughModule, double* inPlace) {
    std::unique_ptr<VstHost> host = Open(module, 256);
    ReverbEngine engine;
    engine.reset();
    std::vector<double> a, b;
    for (int i = 0; i < 41 && host; ++i) {
        const float v = i % 2 == 0 ? 1.0f : 0.999f;
        auto t0 = Clock::now();
        host->SetParameter(1, v);
        auto t1 = Clock::now();
        engine.setSustain(v);
        auto t2 = Clock::now();
        a.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        b.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
    }
    if (a.empty())
        return;
    *throughModule = bench::median(a);
    *inPlace = bench::median(b);
    Close(*host);
}

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

void Usage() {
    std::fprintf(stderr,
                 "usage: realtime_bench [MODULE] [--vst3 BUNDLE] [--calls N] [--runs R] "
                 "[--blocks 64,256]\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string path = BRIGHTFALL_BENCH_MODULE;
    std::string bundlePath = BRIGHTFALL_BENCH_VST3_BUNDLE;
    long calls = 3000;
    int runs = 10;
    std::vector<std::uint32_t> blocks = {64, 256};
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--calls") && hasValue) {
            calls = std::atol(argv[++i]);
        } else if (!std::strcmp(argv[i], "--runs") && hasValue) {
            runs = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--vst3") && hasValue) {
            bundlePath = argv[++i];
        } else if (!std::strcmp(argv[i], "--blocks") && hasValue) {
            blocks = bench::parseList(argv[++i]);
        } else if (argv[i][0] == '-') {
            Usage();
            return 2;
        } else {
            path = argv[i];
        }
    }
    if (calls <= 0 || runs <= 0 || blocks.empty()) {
        Usage();
        return 2;
    }
    std::string error;
    std::unique_ptr<PluginModule> module = PluginModule::Load(path, &error);
    if (!module) {
        std::fprintf(stderr, "realtime_bench: cannot load %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    std::unique_ptr<Vst3Module> bundle;
    if (!bundlePath.empty()) {
        bundle = Vst3Module::Load(bundlePath, &error);
        if (!bundle)
            std::fprintf(stderr, "realtime_bench: no VST 3 runs: %s: %s\n", bundlePath.c_str(),
                         error.c_str());
    }
    std::printf("module %s%s%s, stereo, 48 kHz, %ld calls a run, %d runs a scenario\n",
                path.c_str(), bundle ? " and " : "", bundle ? bundlePath.c_str() : "", calls, runs);
    // Memory first, before any instance has come and gone.
    {
        const int instances = 8;
        std::vector<std::unique_ptr<VstHost>> hosts;
        const long before = ResidentBytes();
        for (int i = 0; i < instances; ++i)
            hosts.push_back(Open(*module, 256));
        const long after = ResidentBytes();
        for (auto& h : hosts)
            if (h)
                Close(*h);
        hosts.clear();
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
    const Scenario scenarios[] = {Scenario::kIdle,       Scenario::kWetDryGui,
                                  Scenario::kSustainGui, Scenario::kSustainAutomated,
                                  Scenario::kIdleVst3,   Scenario::kSustainAutomatedVst3};
    const int kScenarios = bundle ? 6 : 4;
    bool anyRealtime = false;
    // results[block][scenario][run]
    std::vector<std::vector<std::vector<Result>>> results(
        blocks.size(), std::vector<std::vector<Result>>(kScenarios));
    for (int run = 0; run < runs; ++run) {
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            for (int s = 0; s < kScenarios; ++s) {
                const Result r =
                    Run(*module, bundle.get(), scenarios[s], static_cast<int>(blocks[b]), calls);
                anyRealtime = anyRealtime || r.realtime;
                results[b][static_cast<std::size_t>(s)].push_back(r);
            }
        }
        std::fprintf(stderr, "realtime_bench: run %d of %d done\n", run + 1, runs);
    }
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const double periodMs = 1e3 * blocks[b] / kRate;
        std::printf("\nblock %u (%.2f ms)\n", blocks[b], periodMs);
        for (int s = 0; s < kScenarios; ++s) {
            const std::vector<Result>& rs = results[b][static_cast<std::size_t>(s)];
            std::vector<double> late;
            Result all;
            std::string lateList;
            for (const Result& r : rs) {
                late.push_back(static_cast<double>(r.late));
                lateList += (lateList.empty() ? "" : ",") + std::to_string(r.late);
                all.lateWoken += r.lateWoken;
                all.worstMs = std::max(all.worstMs, r.worstMs);
                all.worstNotWokeLateMs = std::max(all.worstNotWokeLateMs, r.worstNotWokeLateMs);
                all.worstMutexMs = std::max(all.worstMutexMs, r.worstMutexMs);
                all.mean += r.mean / static_cast<double>(rs.size());
                for (int c = 0; c < kCauses; ++c)
                    all.causes[c] += r.causes[c];
            }
            std::printf(
                "  %-46s | late per run %s (median %.0f, %ld woken late) | worst call %.2f ms, "
                "%.2f ms not woken late | mean %.1f %% of the period | longest mutex wait "
                "%.3f ms\n",
                NameOf(scenarios[s]), lateList.c_str(), bench::median(late), all.lateWoken,
                all.worstMs, all.worstNotWokeLateMs, 100.0 * all.mean, all.worstMutexMs);
            std::printf("  %-46s | past half the period:", "");
            for (int c = 0; c < kCauses; ++c)
                std::printf(" %s %ld%s", kCauseNames[c], all.causes[c], c + 1 < kCauses ? "," : "\n");
        }
        double mean = 0.0;
        const double worst = HeardAfter(*module, static_cast<int>(blocks[b]), 10, &mean);
        std::printf(
            "  a change automated on the audio thread is heard %.1f ms later at worst, %.1f ms on "
            "average\n",
            worst, mean);
    }
    std::printf("\naudio thread under SCHED_FIFO: %s\n",
                anyRealtime ? "yes" : "no (not allowed here: normal priority)");

    double throughModule = 0.0, inPlace = 0.0;
    SustainCost(*module, &throughModule, &inPlace);
    std::printf(
        "Sustain 1.0 set on a GUI thread: %.3f ms through the module (prepared aside, swapped "
        "in), %.3f ms for the engine's synthesis in place (ratio %.2f)\n",
        throughModule, inPlace, inPlace > 0.0 ? throughModule / inPlace : 0.0);
    return 0;
}
