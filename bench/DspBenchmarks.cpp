// Speed of the DSP core, each figure beside an FFTW-backed reference measured
// in the same benchmark, the two alternating within every iteration so that a
// busy machine slows both alike: real FFT pairs, the stereo engine at several
// host block sizes (real-time factor, the call that completes a period, the
// 99.9th-percentile and the worst call), and setSustain (1.0).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "BenchNoise.h"
#include "FftwReference.h"
#include "dsp/RealFFT.h"
#include "dsp/ReverbEngine.h"
#include "dsp/TwoStageFFTConvolver.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kSampleRate = 44100.0;
constexpr std::size_t kPeriod = 2048;

using bench::noise;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Forward + inverse real transform at N = range(0): ours, FFTW planned with
// FFTW_MEASURE, FFTW planned with FFTW_ESTIMATE; 64 pairs of each per turn.
void BM_FFTPair(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    constexpr int kPairs = 64;
    audiofft::RealFFT fft;
    fft.init(static_cast<std::uint32_t>(n));
    const std::vector<double> input = noise(n, 1);
    std::vector<double> y(n), re(n / 2 + 1), im(n / 2 + 1);

    const fftwref::Plans* plans[2] = {&fftwref::plansFor(n), &fftwref::estimatedPlansFor(n)};
    double* x = fftw_alloc_real(n);
    double* out = fftw_alloc_real(n);
    fftw_complex* c = fftw_alloc_complex(n / 2 + 1);
    std::copy(input.begin(), input.end(), x);

    double ours = 0.0, measured = 0.0, estimated = 0.0;
    for (auto _ : state) {
        auto start = Clock::now();
        for (int i = 0; i < kPairs; ++i) {
            fft.fft(input.data(), re.data(), im.data());
            fft.ifft(y.data(), re.data(), im.data());
            benchmark::DoNotOptimize(y.data());
        }
        ours += secondsSince(start);
        double* totals[2] = {&measured, &estimated};
        for (int p = 0; p < 2; ++p) {
            start = Clock::now();
            for (int i = 0; i < kPairs; ++i) {
                fftw_execute_dft_r2c(plans[p]->forward, x, c);
                fftw_execute_dft_c2r(plans[p]->inverse, c, out);
                benchmark::DoNotOptimize(out);
            }
            *totals[p] += secondsSince(start);
        }
    }
    const double pairs = static_cast<double>(state.iterations()) * kPairs;
    state.counters["ours_us"] = 1e6 * ours / pairs;
    state.counters["fftw_measure_us"] = 1e6 * measured / pairs;
    state.counters["fftw_estimate_us"] = 1e6 * estimated / pairs;
    state.counters["ratio_vs_measure"] = ours / measured;
    state.counters["ratio_vs_estimate"] = ours / estimated;
    fftw_free(x);
    fftw_free(out);
    fftw_free(c);
}

struct CallStats {
    std::vector<double> calls, periodCalls;
    double total = 0.0;

    CallStats() {
        calls.reserve(1 << 21);
        periodCalls.reserve(1 << 16);
    }
    void record(double seconds, bool completesPeriod) {
        total += seconds;
        if (calls.size() < calls.capacity()) {
            calls.push_back(seconds);
        }
        if (completesPeriod && periodCalls.size() < periodCalls.capacity()) {
            periodCalls.push_back(seconds);
        }
    }
    void report(benchmark::State& state, const char* who, std::size_t samples,
                double blockSeconds) {
        std::sort(calls.begin(), calls.end());
        std::sort(periodCalls.begin(), periodCalls.end());
        const std::string prefix(who);
        const double p999 = calls[std::min(calls.size() - 1, calls.size() * 999 / 1000)];
        state.counters[prefix + "_rtf"] = static_cast<double>(samples) / kSampleRate / total;
        state.counters[prefix + "_p999_pct"] = 100.0 * p999 / blockSeconds;
        state.counters[prefix + "_max_call_pct"] = 100.0 * calls.back() / blockSeconds;
        state.counters[prefix + "_period_median_ms"] = 1e3 * periodCalls[periodCalls.size() / 2];
        state.counters[prefix + "_period_max_ms"] = 1e3 * periodCalls.back();
    }
};

// Both engines, stereo, 128000-sample responses (sustain 1.0), host blocks of
// range(0) samples, 16 periods of noise per engine per turn; every call timed.
void BM_Engine(benchmark::State& state) {
    const auto block = static_cast<std::size_t>(state.range(0));
    const std::size_t span = 16 * kPeriod;
    const std::vector<double> x0 = noise(span, 2), x1 = noise(span, 3);
    std::vector<double> y0(span), y1(span);

    auto ours = std::make_unique<ReverbEngine>();
    ours->reset();
    ours->setMix(0.5f);
    ours->setSustain(1.0f);
    auto reference = std::make_unique<fftwref::Engine>();
    reference->setSustain(1.0f);

    CallStats ourStats, referenceStats;
    std::size_t samples = 0;
    for (auto _ : state) {
        for (int who = 0; who < 2; ++who) {
            CallStats& stats = who == 0 ? ourStats : referenceStats;
            for (std::size_t done = 0; done < span; done += block) {
                const double* inputs[2] = {x0.data() + done, x1.data() + done};
                double* outputs[2] = {y0.data() + done, y1.data() + done};
                const auto start = Clock::now();
                if (who == 0) {
                    ours->process(inputs, outputs, static_cast<std::int32_t>(block), true, true);
                } else {
                    reference->process(inputs, outputs, block);
                }
                // The call that completes a period: the reference runs both far
                // tails in it, ours has spread them over the period's calls.
                stats.record(secondsSince(start), (done + block) % kPeriod == 0);
            }
            benchmark::DoNotOptimize(y0.data());
            benchmark::DoNotOptimize(y1.data());
        }
        samples += span;
    }
    const double blockSeconds = static_cast<double>(block) / kSampleRate;
    ourStats.report(state, "ours", samples, blockSeconds);
    referenceStats.report(state, "fftw", samples, blockSeconds);
    state.counters["rtf_ratio"] = referenceStats.total / ourStats.total;
    state.counters["heap_MB"] = static_cast<double>(ours->getAllocatedBytes()) / 1e6;
    state.counters["object_MB"] = static_cast<double>(sizeof(ReverbEngine)) / 1e6;
}

// What spreading the far tail over the period costs and saves: two pairs of
// convolvers with 128000-sample responses, one pair at each tail schedule,
// host blocks of range(0), alternating within every turn.
void BM_TailSchedule(benchmark::State& state) {
    using fftconvolver::TwoStageFFTConvolver;
    const auto block = static_cast<std::size_t>(state.range(0));
    const std::size_t span = 16 * kPeriod;
    const std::vector<double> h0 = noise(ReverbEngine::kImpulseLength, 4);
    const std::vector<double> h1 = noise(ReverbEngine::kImpulseLength, 5);
    const std::vector<double> x = noise(span, 6);
    std::vector<double> y(span);

    const TwoStageFFTConvolver::TailSchedule schedules[2] = {
        TwoStageFFTConvolver::TailSchedule::SpreadOverPeriod,
        TwoStageFFTConvolver::TailSchedule::AtPeriodEnd};
    std::unique_ptr<TwoStageFFTConvolver> pairs[2][2];
    for (int who = 0; who < 2; ++who) {
        for (int ch = 0; ch < 2; ++ch) {
            pairs[who][ch] = std::make_unique<TwoStageFFTConvolver>();
            pairs[who][ch]->setTailSchedule(schedules[who]);
            const std::vector<double>& h = ch == 0 ? h0 : h1;
            pairs[who][ch]->init(ReverbEngine::kHeadBlockSize, ReverbEngine::kTailBlockSize,
                                 h.data(), h.size());
        }
    }
    CallStats stats[2];
    std::size_t samples = 0;
    for (auto _ : state) {
        for (int who = 0; who < 2; ++who) {
            for (std::size_t done = 0; done < span; done += block) {
                const auto start = Clock::now();
                pairs[who][0]->process(x.data() + done, y.data() + done, block);
                pairs[who][1]->process(x.data() + done, y.data() + done, block);
                stats[who].record(secondsSince(start), (done + block) % kPeriod == 0);
            }
            benchmark::DoNotOptimize(y.data());
        }
        samples += span;
    }
    const double blockSeconds = static_cast<double>(block) / kSampleRate;
    stats[0].report(state, "spread", samples, blockSeconds);
    stats[1].report(state, "atend", samples, blockSeconds);
    state.counters["rtf_ratio"] = stats[1].total / stats[0].total;
}

// setSustain (1.0): synthesis of both responses and preparation of both
// convolvers, ours and the reference in turn.
void BM_SetSustain(benchmark::State& state) {
    auto ours = std::make_unique<ReverbEngine>();
    ours->reset();
    auto reference = std::make_unique<fftwref::Engine>();
    reference->setSustain(1.0f);  // plans made outside the timing
    double ourTotal = 0.0, referenceTotal = 0.0;
    for (auto _ : state) {
        auto start = Clock::now();
        ours->setSustain(1.0f);
        ourTotal += secondsSince(start);
        start = Clock::now();
        reference->setSustain(1.0f);
        referenceTotal += secondsSince(start);
    }
    const double n = static_cast<double>(state.iterations());
    const double ms = 1e3 * ourTotal / n;
    state.counters["ours_ms"] = ms;
    state.counters["fftw_ms"] = 1e3 * referenceTotal / n;
    state.counters["ours_of_128_block_pct"] = 100.0 * ms / (1e3 * 128.0 / kSampleRate);
    state.counters["ours_of_256_block_pct"] = 100.0 * ms / (1e3 * 256.0 / kSampleRate);
}

}  // namespace

BENCHMARK(BM_FFTPair)->Arg(256)->Arg(2048)->Arg(8192);
BENCHMARK(BM_Engine)->Arg(32)->Arg(64)->Arg(128)->Arg(512)->Arg(1024)->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_TailSchedule)->Arg(64)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SetSustain)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
