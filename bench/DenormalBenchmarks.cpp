// Processing time of the whole plug-in (through its double-precision
// callback) on input in the subnormal range against ordinary input: two
// instances, one fed each, timed in alternating blocks of the same run so
// both see the same machine state.
// Reported per block size: microseconds per block for each, and their ratio
// (subnormal / normal). A ratio near 1 means subnormals cost nothing extra.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <vector>

#include "vst2/IPlugVST.h"
#include "vst2/PluginFactory.h"

namespace {

VstIntPtr VSTCALLBACK Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == 1 ? 2400 : 0;
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

AEffect* Start(int frames) {
    AEffect* e = CreatePluginInstance(&Host)->GetAEffect();
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    e->dispatcher(e, effSetBlockSize, 0, frames, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    e->setParameter(e, 1, 1.0f);  // the full 128000-sample tail
    return e;
}

void BM_SubnormalInput(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    AEffect* normalPlug = Start(frames);
    AEffect* subnormalPlug = Start(frames);
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
    for (AEffect* e : {normalPlug, subnormalPlug})
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

}  // namespace

BENCHMARK(BM_SubnormalInput)
    ->Arg(64)
    ->Arg(256)
    ->Arg(1024)
    ->Arg(4096)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
