// Speed of the DSP core, each figure beside an FFTW-backed reference measured
// in the same run: real FFT pairs, the stereo engine at several host block
// sizes (real-time factor, worst and 99.9th-percentile call), and setSustain.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "FftwReference.h"
#include "dsp/RealFFT.h"
#include "dsp/ReverbEngine.h"

namespace {

constexpr double kSampleRate = 44100.0;
constexpr std::size_t kPeriod = 2048;

std::vector<double> noise(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> v(n);
    for (double& x : v) {
        x = dist(rng);
    }
    return v;
}

void BM_FFTPair_Ours(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    audiofft::RealFFT fft;
    fft.init(static_cast<std::uint32_t>(n));
    std::vector<double> x = noise(n, 1), y(n), re(n / 2 + 1), im(n / 2 + 1);
    for (auto _ : state) {
        fft.fft(x.data(), re.data(), im.data());
        fft.ifft(y.data(), re.data(), im.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
}

void fftwPair(benchmark::State& state, const fftwref::Plans& plans) {
    const auto n = static_cast<std::size_t>(state.range(0));
    double* x = fftw_alloc_real(n);
    double* y = fftw_alloc_real(n);
    fftw_complex* c = fftw_alloc_complex(n / 2 + 1);
    const std::vector<double> input = noise(n, 1);
    std::copy(input.begin(), input.end(), x);
    for (auto _ : state) {
        fftw_execute_dft_r2c(plans.forward, x, c);
        fftw_execute_dft_c2r(plans.inverse, c, y);
        benchmark::DoNotOptimize(y);
        benchmark::ClobberMemory();
    }
    fftw_free(x);
    fftw_free(y);
    fftw_free(c);
}

void BM_FFTPair_FFTW(benchmark::State& state) {
    fftwPair(state, fftwref::plansFor(static_cast<std::size_t>(state.range(0))));
}

void BM_FFTPair_FFTWEstimate(benchmark::State& state) {
    fftwPair(state, fftwref::estimatedPlansFor(static_cast<std::size_t>(state.range(0))));
}

// Runs `process` over 16 periods of stereo noise per iteration in calls of
// `block` samples, timing every call.
template <typename Process>
void runEngine(benchmark::State& state, Process&& process) {
    const auto block = static_cast<std::size_t>(state.range(0));
    const std::size_t span = 16 * kPeriod;
    const std::vector<double> x0 = noise(span, 2), x1 = noise(span, 3);
    std::vector<double> y0(span), y1(span);
    std::vector<double> callTimes, periodCalls;
    callTimes.reserve(1 << 22);
    periodCalls.reserve(1 << 18);
    std::size_t samples = 0;
    for (auto _ : state) {
        for (std::size_t done = 0; done < span; done += block) {
            const double* inputs[2] = {x0.data() + done, x1.data() + done};
            double* outputs[2] = {y0.data() + done, y1.data() + done};
            const auto start = std::chrono::steady_clock::now();
            process(inputs, outputs, block);
            const auto stop = std::chrono::steady_clock::now();
            const double seconds = std::chrono::duration<double>(stop - start).count();
            if (callTimes.size() < callTimes.capacity()) {
                callTimes.push_back(seconds);
            }
            // The call that completes a period also runs both far tails.
            if ((done + block) % kPeriod == 0 && periodCalls.size() < periodCalls.capacity()) {
                periodCalls.push_back(seconds);
            }
        }
        samples += span;
        benchmark::DoNotOptimize(y0.data());
        benchmark::DoNotOptimize(y1.data());
    }
    const double blockSeconds = static_cast<double>(block) / kSampleRate;
    std::sort(callTimes.begin(), callTimes.end());
    std::sort(periodCalls.begin(), periodCalls.end());
    const double p999 = callTimes[std::min(callTimes.size() - 1, callTimes.size() * 999 / 1000)];
    state.counters["rtf"] =
        benchmark::Counter(static_cast<double>(samples) / kSampleRate, benchmark::Counter::kIsRate);
    state.counters["p999_call_pct"] = 100.0 * p999 / blockSeconds;
    state.counters["period_call_median_ms"] = 1e3 * periodCalls[periodCalls.size() / 2];
    state.counters["period_call_max_ms"] = 1e3 * periodCalls.back();
}

void BM_Engine_Ours(benchmark::State& state) {
    auto engine = std::make_unique<ReverbEngine>();
    engine->reset();
    engine->setMix(0.5f);
    engine->setSustain(1.0f);
    state.counters["heap_MB"] = static_cast<double>(engine->getAllocatedBytes()) / 1e6;
    state.counters["object_MB"] = static_cast<double>(sizeof(ReverbEngine)) / 1e6;
    runEngine(state, [&](const double* const* in, double* const* out, std::size_t n) {
        engine->process(in, out, static_cast<std::int32_t>(n), true, true);
    });
}

void BM_Engine_FFTW(benchmark::State& state) {
    auto engine = std::make_unique<fftwref::Engine>();
    engine->setSustain(1.0f);
    runEngine(state, [&](const double* const* in, double* const* out, std::size_t n) {
        engine->process(in, out, n);
    });
}

template <typename Engine>
void reportSustain(benchmark::State& state, Engine& engine) {
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        engine.setSustain(1.0f);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double ms = 1e3 * total / static_cast<double>(state.iterations());
    state.counters["ms"] = ms;
    state.counters["of_128_block_pct"] = 100.0 * ms / (1e3 * 128.0 / kSampleRate);
    state.counters["of_256_block_pct"] = 100.0 * ms / (1e3 * 256.0 / kSampleRate);
}

void BM_SetSustain_Ours(benchmark::State& state) {
    auto engine = std::make_unique<ReverbEngine>();
    engine->reset();
    reportSustain(state, *engine);
}

void BM_SetSustain_FFTW(benchmark::State& state) {
    auto engine = std::make_unique<fftwref::Engine>();
    reportSustain(state, *engine);
}

}  // namespace

BENCHMARK(BM_FFTPair_Ours)->Arg(256)->Arg(4096);
BENCHMARK(BM_FFTPair_FFTW)->Arg(256)->Arg(4096);
BENCHMARK(BM_FFTPair_FFTWEstimate)->Arg(256)->Arg(4096);
BENCHMARK(BM_Engine_Ours)->Arg(32)->Arg(64)->Arg(128)->Arg(512)->Arg(1024)->UseRealTime();
BENCHMARK(BM_Engine_FFTW)->Arg(32)->Arg(64)->Arg(128)->Arg(512)->Arg(1024)->UseRealTime();
BENCHMARK(BM_SetSustain_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SetSustain_FFTW)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
