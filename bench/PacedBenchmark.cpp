// What a block costs when the host's blocks come at their real-time pace
// rather than back to back, piece by piece. N stereo pairs of the engine's
// convolvers (NonUniformConvolver in the engine layout, the right channel
// staggered, as ReverbEngine runs them) at 48 kHz with responses cut to
// 1024 samples (the head alone), 8192 (the head and the stage of 512) and
// 128000 (everything), so the differences between the rows are what each
// piece adds. Each is run three ways in every round, the kinds and lengths
// rotated from round to round:
//   paced   the thread sleeps to each block's deadline (SCHED_FIFO where
//           the machine allows it), as a host's audio thread does;
//   spin    it waits for the deadline by reading the clock instead;
//   b2b     blocks back to back, caches warm.
// Reported per instance: the thread's CPU time inside the calls as % of one
// core, median over the rounds. Paced against back to back is what the wait
// between blocks costs; spin against paced, how much of that the sleep adds.
// For scale, the same three ways: a plain read of every cache line of 32 KB,
// 512 KB and 4 MB once per block (µs per block), and a chain of dependent
// multiply-adds that touches no memory.
//   paced_bench [--rounds R] [--seconds S] [--blocks 64,512] [--instances 1,16]
#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchNoise.h"
#include "bench/BenchPacing.h"
#include "dsp/NonUniformConvolver.h"

namespace {

using fftconvolver::NonUniformConvolver;
using fftconvolver::ResponseView;

using bench::median;
using bench::Pace;

constexpr double kRate = 48000.0;
constexpr std::size_t kLengths[] = {1024, 8192, 128000};
enum Mode { kPaced, kSpin, kBackToBack, kModes };
constexpr Pace kPaceOf[kModes] = {Pace::Sleep, Pace::Spin, Pace::None};

double threadCpu() {
    return bench::cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

// N stereo pairs with the engine's head and stage sizes.
struct Instances {
    std::vector<std::unique_ptr<NonUniformConvolver>> channels;

    Instances(std::size_t pairs, const std::vector<double>& left, const std::vector<double>& right,
              std::size_t length) {
        for (std::size_t i = 0; i < 2 * pairs; ++i) {
            auto c = std::make_unique<NonUniformConvolver>();
            c->setStaggered(i % 2 == 1);
            const std::vector<double>& ir = i % 2 == 0 ? left : right;
            if (!c->init(128, 2048, ResponseView(ir.data()), length)) {
                std::fprintf(stderr, "paced_bench: the engine layout was refused\n");
                std::exit(1);
            }
            channels.push_back(std::move(c));
        }
    }
};

// The reference work: one read of every cache line of its data, or, with
// none, a chain of 3000 dependent multiply-adds.
struct Sweep {
    std::vector<double> data;
    volatile double sink = 0.0;

    explicit Sweep(std::size_t bytes) : data(bytes / sizeof(double), 1.0) {}
    void run() {
        double sum = 0.0;
        if (data.empty()) {
            double a = 1.0;
            for (int i = 0; i < 3000; ++i) {
                a = a * 1.0000001 + 1e-9;
            }
            sum = a;
        }
        for (std::size_t i = 0; i < data.size(); i += 8) {
            sum += data[i];
        }
        sink = sum;
    }
};

// µs of thread CPU per block.
template <typename Work>
double perBlock(Work&& work, Mode mode, std::size_t block, double seconds) {
    const long blocks =
        std::max(1L, static_cast<long>(seconds * kRate / static_cast<double>(block)));
    const auto period = static_cast<long>(1e9 * static_cast<double>(block) / kRate);
    timespec due{};
    clock_gettime(CLOCK_MONOTONIC, &due);
    double inside = 0.0;
    for (long b = 0; b < blocks; ++b) {
        const double start = threadCpu();
        work();
        inside += threadCpu() - start;
        bench::waitForNext(due, period, kPaceOf[mode]);
    }
    return 1e6 * inside / static_cast<double>(blocks);
}

// Per-instance CPU, % of one core.
double run(Instances& set, Mode mode, std::size_t block, double seconds,
           const std::vector<double>& input, std::vector<double>& output) {
    const double us = perBlock(
        [&] {
            for (auto& c : set.channels) {
                c->process(input.data(), output.data(), block);
            }
        },
        mode, block, seconds);
    const double period = 1e6 * static_cast<double>(block) / kRate;
    return 100.0 * us / period / static_cast<double>(set.channels.size() / 2);
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 5;
    double seconds = 1.0;
    std::vector<std::uint32_t> blocks = {64, 512}, counts = {1, 16};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--rounds" && hasValue) {
            rounds = std::atoi(argv[++i]);
        } else if (a == "--seconds" && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (a == "--blocks" && hasValue) {
            blocks = bench::parseList(argv[++i]);
        } else if (a == "--instances" && hasValue) {
            counts = bench::parseList(argv[++i]);
        } else {
            blocks.clear();
            break;
        }
    }
    if (rounds < 1 || !(seconds > 0.0) || blocks.empty() || counts.empty()) {
        std::fprintf(stderr,
                     "usage: paced_bench [--rounds R] [--seconds S] [--blocks 64,512]"
                     " [--instances 1,16]\n");
        return 2;
    }
    sched_param param{};
    param.sched_priority = 10;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) {
        std::printf("(SCHED_FIFO refused: paced at normal priority)\n");
    }

    std::printf("reference work at 64-frame blocks, us of CPU per block, median of %d rounds\n",
                rounds);
    std::printf("| work | paced | spin | b2b |\n|---|---|---|---|\n");
    for (std::size_t kb : {0, 32, 512, 4096}) {
        Sweep sweep(kb * 1024);
        std::vector<double> figures[kModes];
        for (int r = 0; r < rounds; ++r) {
            for (int m = 0; m < kModes; ++m) {
                const auto mode = static_cast<Mode>((m + r) % kModes);
                figures[mode].push_back(perBlock([&] { sweep.run(); }, mode, 64, seconds / 2));
            }
        }
        const std::string what =
            kb == 0 ? std::string("arithmetic only") : "read " + std::to_string(kb) + " KB";
        std::printf("| %s | %.2f | %.2f | %.2f |\n", what.c_str(), median(figures[kPaced]),
                    median(figures[kSpin]), median(figures[kBackToBack]));
    }

    const std::vector<double> left = bench::noise(128000, 11), right = bench::noise(128000, 12);
    std::printf("per-instance CPU inside the calls, %% of one core, median of %d rounds\n", rounds);
    std::printf("| block | N | response | paced | spin | b2b | paced / b2b |\n|---|---|---|---|---|---|---|\n");
    for (std::size_t block : blocks) {
        const std::vector<double> input = bench::noise(block, 3);
        std::vector<double> output(block);
        for (std::size_t n : counts) {
            std::vector<std::unique_ptr<Instances>> sets;
            for (std::size_t length : kLengths) {
                sets.push_back(std::make_unique<Instances>(n, left, right, length));
            }
            std::vector<double> figures[std::size(kLengths)][kModes];
            for (int r = 0; r < rounds; ++r) {
                for (std::size_t k = 0; k < sets.size() * kModes; ++k) {
                    const std::size_t which = (k + static_cast<std::size_t>(r)) % (sets.size() * kModes);
                    const std::size_t s = which / kModes;
                    const auto mode = static_cast<Mode>(which % kModes);
                    figures[s][mode].push_back(run(*sets[s], mode, block, seconds, input, output));
                }
            }
            for (std::size_t s = 0; s < sets.size(); ++s) {
                const double paced = median(figures[s][kPaced]);
                const double b2b = median(figures[s][kBackToBack]);
                std::printf("| %zu | %zu | %zu | %.3f | %.3f | %.3f | %.2f |\n", block, n,
                            kLengths[s], paced, median(figures[s][kSpin]), b2b,
                            b2b > 0.0 ? paced / b2b : 0.0);
                std::fflush(stdout);
            }
        }
    }
    return 0;
}
