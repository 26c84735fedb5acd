// Many instances in one audio thread: N stereo engines at sustain 1.0 (128000-
// sample responses, wet only) driven round-robin, one host block each in turn,
// beside N FFTW reference engines of the two-stage scheme and N
// zita-convolver engines, all three in every iteration so a busy machine slows
// them alike. Reported per instance: real-time factor from CPU time, worst and
// 99.9th-percentile call; and ours at N against one engine of ours run in the
// same iteration, which shows what the instances cost one another.
// A second benchmark runs ours and the FFTW reference alone against N of each at
// a chosen sustain: with a 1024-sample response (the head only, no spectra
// from memory) it shows how much of that cost is the second-level cache alone.
// Benchmark-only: neither FFTW nor zita-convolver is linked into the product.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <zita-convolver.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchNoise.h"
#include "FftwReference.h"
#include "dsp/KernelChoice.h"
#include "dsp/ReverbEngine.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kSampleRate = 44100.0;
constexpr std::size_t kSpan = 16 * 2048;  // samples per engine per round

using bench::noise;

double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// zita-convolver 4 as a host with small blocks would set it up: single
// precision, partitions growing from the host block (its quantum, so the first
// partition is computed in the calling thread and there is no latency) up to
// 8192, the larger ones on its own worker threads. Wet only.
class ZitaEngine {
  public:
    ZitaEngine(const float* left, const float* right, std::size_t length, std::size_t block) {
        std::vector<float> l(left, left + length), r(right, right + length);
        const auto q = static_cast<uint32_t>(block);
        proc.set_options(Convproc::OPT_FFTW_MEASURE);
        // Density: two of the four input/output pairs carry a response.
        if (proc.configure(2, 2, static_cast<uint32_t>(length), q, q, Convproc::MAXPART, 0.5f) !=
                0 ||
            proc.impdata_create(0, 0, 1, l.data(), 0, static_cast<int32_t>(length)) != 0 ||
            proc.impdata_create(1, 1, 1, r.data(), 0, static_cast<int32_t>(length)) != 0 ||
            proc.start_process(0, SCHED_OTHER) != 0) {
            throw std::runtime_error("zita-convolver refused the configuration");
        }
    }
    ~ZitaEngine() {
        proc.stop_process();
        while (!proc.check_stop()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        proc.cleanup();
    }
    ZitaEngine(const ZitaEngine&) = delete;
    ZitaEngine& operator=(const ZitaEngine&) = delete;

    void process(const double* const* inputs, double* const* outputs, std::size_t n) {
        for (uint32_t c = 0; c < 2; ++c) {
            float* in = proc.inpdata(c);
            for (std::size_t i = 0; i < n; ++i) {
                in[i] = static_cast<float>(inputs[c][i]);
            }
        }
        // Waits for any worker whose output is due now: every sample is heard.
        proc.process(true);
        for (uint32_t c = 0; c < 2; ++c) {
            const float* out = proc.outdata(c);
            for (std::size_t i = 0; i < n; ++i) {
                outputs[c][i] = static_cast<double>(out[i]);
            }
        }
    }

  private:
    Convproc proc;
};

struct CallStats {
    std::vector<double> calls;
    double cpu = 0.0;
    double samples = 0.0;  // per instance

    CallStats() { calls.reserve(1 << 22); }
    void record(double seconds) {
        if (calls.size() < calls.capacity()) {
            calls.push_back(seconds);
        }
    }
    double rtf(std::size_t instances) const {
        return samples * static_cast<double>(instances) / kSampleRate / cpu;
    }
    void report(benchmark::State& state, const std::string& who, std::size_t instances,
                double blockSeconds) {
        std::sort(calls.begin(), calls.end());
        const double p999 = calls[std::min(calls.size() - 1, calls.size() * 999 / 1000)];
        state.counters[who + "_rtf"] = rtf(instances);
        state.counters[who + "_p999_pct"] = 100.0 * p999 / blockSeconds;
        state.counters[who + "_max_call_pct"] = 100.0 * calls.back() / blockSeconds;
    }
};

// One round: every engine of a kind through kSpan samples, one block each in
// turn; every call timed on the wall clock.
template <typename Engine, typename Process>
void round(std::vector<std::unique_ptr<Engine>>& engines, const std::vector<double>& x0,
           const std::vector<double>& x1, std::vector<double>& y0, std::vector<double>& y1,
           std::size_t block, CallStats& stats, Process process) {
    for (std::size_t done = 0; done < kSpan; done += block) {
        const double* inputs[2] = {x0.data() + done, x1.data() + done};
        double* outputs[2] = {y0.data() + done, y1.data() + done};
        for (auto& engine : engines) {
            const auto start = Clock::now();
            process(*engine, inputs, outputs);
            stats.record(std::chrono::duration<double>(Clock::now() - start).count());
        }
    }
    benchmark::DoNotOptimize(y0.data());
    benchmark::DoNotOptimize(y1.data());
    stats.samples += static_cast<double>(kSpan);
}

// range(0) instances of each kind at host blocks of range(1).
void BM_MultiInstance(benchmark::State& state) {
    const auto instances = static_cast<std::size_t>(state.range(0));
    const auto block = static_cast<std::size_t>(state.range(1));
    const std::vector<double> x0 = noise(kSpan, 2), x1 = noise(kSpan, 3);
    std::vector<double> y0(kSpan), y1(kSpan);

    std::vector<std::unique_ptr<ReverbEngine>> ours, single;
    std::vector<std::unique_ptr<fftwref::Engine>> references;
    std::vector<std::unique_ptr<ZitaEngine>> zitas;
    auto newEngine = [] {
        auto engine = std::make_unique<ReverbEngine>();
        engine->reset();
        engine->setMix(1.0f);
        engine->setSustain(1.0f);
        return engine;
    };
    for (std::size_t i = 0; i < instances; ++i) {
        ours.push_back(newEngine());
        references.push_back(std::make_unique<fftwref::Engine>());
        references.back()->setSustain(1.0f);
        zitas.push_back(std::make_unique<ZitaEngine>(ours.back()->getImpulseL(),
                                                     ours.back()->getImpulseR(),
                                                     ReverbEngine::kImpulseLength, block));
    }
    single.push_back(newEngine());

    const auto n = static_cast<std::int32_t>(block);
    auto runOurs = [n](ReverbEngine& e, const double* const* in, double* const* out) {
        e.process(in, out, n, true, true);
    };
    CallStats ourStats, referenceStats, zitaStats, singleStats;
    for (auto _ : state) {
        double start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        round(ours, x0, x1, y0, y1, block, ourStats, runOurs);
        ourStats.cpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start;

        start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        round(references, x0, x1, y0, y1, block, referenceStats,
              [block](fftwref::Engine& e, const double* const* in, double* const* out) {
                  e.process(in, out, block);
              });
        referenceStats.cpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start;

        // zita's workers may still be busy with the last blocks when the round
        // ends: they are given time to finish inside the measurement, so the
        // process's CPU time counts all of this round's work and none other.
        start = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        round(zitas, x0, x1, y0, y1, block, zitaStats,
              [block](ZitaEngine& e, const double* const* in, double* const* out) {
                  e.process(in, out, block);
              });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        zitaStats.cpu += cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - start;

        if (instances > 1) {
            start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            round(single, x0, x1, y0, y1, block, singleStats, runOurs);
            singleStats.cpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start;
        }
    }
    const double blockSeconds = static_cast<double>(block) / kSampleRate;
    ourStats.report(state, "ours", instances, blockSeconds);
    referenceStats.report(state, "fftw", instances, blockSeconds);
    zitaStats.report(state, "zita", instances, blockSeconds);
    state.counters["ours_vs_fftw"] = ourStats.rtf(instances) / referenceStats.rtf(instances);
    state.counters["ours_vs_zita"] = ourStats.rtf(instances) / zitaStats.rtf(instances);
    if (instances > 1) {
        state.counters["alone_rtf"] = singleStats.rtf(1);
        state.counters["ours_vs_ours_alone"] = ourStats.rtf(instances) / singleStats.rtf(1);
    }
}

// range(0) instances of ours and of the FFTW reference, each kind also run
// alone, at host blocks of range(1) and sustain range(2) / 1000. No
// zita-convolver here: its worker threads bring the second core's caches.
void BM_InstancesAgainstAlone(benchmark::State& state) {
    const auto instances = static_cast<std::size_t>(state.range(0));
    const auto block = static_cast<std::size_t>(state.range(1));
    const float sustain = static_cast<float>(state.range(2)) / 1000.0f;
    const std::vector<double> x0 = noise(kSpan, 2), x1 = noise(kSpan, 3);
    std::vector<double> y0(kSpan), y1(kSpan);

    std::vector<std::unique_ptr<ReverbEngine>> ours, ourSingle;
    std::vector<std::unique_ptr<fftwref::Engine>> references, referenceSingle;
    for (std::size_t i = 0; i <= instances; ++i) {
        auto& kind = i < instances ? ours : ourSingle;
        kind.push_back(std::make_unique<ReverbEngine>());
        kind.back()->reset();
        kind.back()->setMix(1.0f);
        kind.back()->setSustain(sustain);
        auto& reference = i < instances ? references : referenceSingle;
        reference.push_back(std::make_unique<fftwref::Engine>());
        reference.back()->setSustain(sustain);
    }
    const auto n = static_cast<std::int32_t>(block);
    auto runOurs = [n](ReverbEngine& e, const double* const* in, double* const* out) {
        e.process(in, out, n, true, true);
    };
    auto runReference = [block](fftwref::Engine& e, const double* const* in, double* const* out) {
        e.process(in, out, block);
    };
    CallStats ourStats, ourSingleStats, referenceStats, referenceSingleStats;
    auto timed = [&](auto& engines, CallStats& stats, auto process) {
        const double start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        round(engines, x0, x1, y0, y1, block, stats, process);
        stats.cpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start;
    };
    for (auto _ : state) {
        timed(ours, ourStats, runOurs);
        timed(ourSingle, ourSingleStats, runOurs);
        timed(references, referenceStats, runReference);
        timed(referenceSingle, referenceSingleStats, runReference);
    }
    state.counters["ours_rtf"] = ourStats.rtf(instances);
    state.counters["alone_rtf"] = ourSingleStats.rtf(1);
    state.counters["fftw_rtf"] = referenceStats.rtf(instances);
    state.counters["fftw_alone_rtf"] = referenceSingleStats.rtf(1);
    state.counters["ours_vs_ours_alone"] = ourStats.rtf(instances) / ourSingleStats.rtf(1);
    state.counters["fftw_vs_fftw_alone"] =
        referenceStats.rtf(instances) / referenceSingleStats.rtf(1);
}

// range(0) engines of ours at host blocks of range(1), run in every
// iteration with the AVX2 kernels and again with the wide (AVX-512) ones:
// what the wider multiply-accumulates are worth. Skipped on a processor
// without AVX-512.
void BM_KernelWidth(benchmark::State& state) {
    const auto instances = static_cast<std::size_t>(state.range(0));
    const auto block = static_cast<std::size_t>(state.range(1));
    if (!dspkernels::selectKernels(dspkernels::KernelChoice::Wide)) {
        state.SkipWithError("no AVX-512 on this processor");
        return;
    }
    const std::vector<double> x0 = noise(kSpan, 2), x1 = noise(kSpan, 3);
    std::vector<double> y0(kSpan), y1(kSpan);
    std::vector<std::unique_ptr<ReverbEngine>> ours;
    for (std::size_t i = 0; i < instances; ++i) {
        ours.push_back(std::make_unique<ReverbEngine>());
        ours.back()->reset();
        ours.back()->setMix(1.0f);
        ours.back()->setSustain(1.0f);
    }
    const auto n = static_cast<std::int32_t>(block);
    auto runOurs = [n](ReverbEngine& e, const double* const* in, double* const* out) {
        e.process(in, out, n, true, true);
    };
    CallStats vectorStats, wideStats;
    for (auto _ : state) {
        for (const bool wide : {false, true}) {
            dspkernels::selectKernels(wide ? dspkernels::KernelChoice::Wide
                                           : dspkernels::KernelChoice::Vector);
            CallStats& stats = wide ? wideStats : vectorStats;
            const double start = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
            round(ours, x0, x1, y0, y1, block, stats, runOurs);
            stats.cpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - start;
        }
    }
    dspkernels::selectKernels(dspkernels::KernelChoice::Wide);
    state.counters["vector_rtf"] = vectorStats.rtf(instances);
    state.counters["wide_rtf"] = wideStats.rtf(instances);
    state.counters["wide_vs_vector"] = wideStats.rtf(instances) / vectorStats.rtf(instances);
}

}  // namespace

BENCHMARK(BM_KernelWidth)
    ->ArgsProduct({{1, 16}, {64, 128, 512, 1024}})
    ->ArgNames({"N", "block"})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_InstancesAgainstAlone)
    ->ArgsProduct({{4, 8, 16}, {64, 128}, {8, 1000}})
    ->ArgNames({"N", "block", "sustain"})
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_MultiInstance)
    ->ArgsProduct({{1, 4, 16}, {64, 128, 512, 1024}})
    ->ArgNames({"N", "block"})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
