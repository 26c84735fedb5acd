// Processing time of the whole plug-in module (loaded by path through the
// tools' VST 2 host, called through its double-precision callback) on input
// in the subnormal range against ordinary input: two instances, one fed
// each, timed in alternating blocks of the same run so both see the same
// machine state.
// Reported per block size: microseconds per block for each, and their ratio
// (subnormal / normal). A ratio near 1 means subnormals cost nothing extra.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tools/host/PluginModule.h"
#include "tools/host/VstHost.h"

namespace {

const PluginModule& Module() {
    static const std::unique_ptr<PluginModule> module = [] {
        std::string error;
        auto loaded = PluginModule::Load(BRIGHTFALL_BENCH_MODULE, &error);
        if (!loaded) {
            std::fprintf(stderr, "denormal_bench: cannot load %s: %s\n", BRIGHTFALL_BENCH_MODULE,
                         error.c_str());
            std::exit(1);
        }
        return loaded;
    }();
    return *module;
}

struct Signal {
    Signal(int frames, double amplitude, unsigned seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> dist(-amplitude, amplitude);
        for (auto& channel : samples) {
            channel.resize(static_cast<std::size_t>(frames));
            for (double& x : channel)
                x = dist(rng);
        }
        ptrs[0] = samples[0].data();
        ptrs[1] = samples[1].data();
    }
    std::vector<double> samples[2];
    double* ptrs[2] = {};
};

std::unique_ptr<VstHost> Start(int frames) {
    auto host = std::make_unique<VstHost>(Module());
    host->SetRecording(false);
    host->Dispatch(effOpen);
    host->Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    host->Dispatch(effSetBlockSize, 0, frames);
    host->Dispatch(effMainsChanged, 0, 1);
    host->SetParameter(1, 1.0f);  // the full 128000-sample tail
    return host;
}

void BM_SubnormalInput(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const std::unique_ptr<VstHost> normalHost = Start(frames), subnormalHost = Start(frames);
    AEffect* normalPlug = normalHost->Effect();
    AEffect* subnormalPlug = subnormalHost->Effect();
    // Ordinary audio, and the same noise scaled into the subnormal range
    // (double subnormals lie below 2.2e-308).
    Signal normal(frames, 0.5, 1), subnormal(frames, 1e-310, 1), out(frames, 0.0, 2);
    // A full response's length first, so each instance's whole history is
    // of its own kind.
    for (int done = 0; done < 140000; done += frames) {
        normalPlug->processDoubleReplacing(normalPlug, normal.ptrs, out.ptrs, frames);
        subnormalPlug->processDoubleReplacing(subnormalPlug, subnormal.ptrs, out.ptrs, frames);
    }
    using Clock = std::chrono::steady_clock;
    double normalSeconds = 0.0, subnormalSeconds = 0.0;
    long blocks = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        normalPlug->processDoubleReplacing(normalPlug, normal.ptrs, out.ptrs, frames);
        auto t1 = Clock::now();
        normalSeconds += std::chrono::duration<double>(t1 - t0).count();
        t0 = Clock::now();
        subnormalPlug->processDoubleReplacing(subnormalPlug, subnormal.ptrs, out.ptrs, frames);
        t1 = Clock::now();
        subnormalSeconds += std::chrono::duration<double>(t1 - t0).count();
        benchmark::DoNotOptimize(out.samples[0].data());
        ++blocks;
    }
    const double n = static_cast<double>(blocks > 0 ? blocks : 1);
    state.counters["normal_us"] = 1e6 * normalSeconds / n;
    state.counters["subnormal_us"] = 1e6 * subnormalSeconds / n;
    state.counters["ratio"] = normalSeconds > 0.0 ? subnormalSeconds / normalSeconds : 0.0;
}

}  // namespace

BENCHMARK(BM_SubnormalInput)
    ->Arg(64)
    ->Arg(256)
    ->Arg(1024)
    ->Arg(4096)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
