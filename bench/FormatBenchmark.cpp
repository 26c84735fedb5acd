// What the VST 3 adapter costs against the VST 2 one: brightfall.so and
// Brightfall.vst3 loaded by path through the tools' hosts, one stereo
// instance of each at 48 kHz and the same settings, their 64-bit process
// calls timed in alternating rounds of the same run so that both see the
// same machine. Reported per block size: microseconds per call for each, and
// their ratio (VST 3 / VST 2), the median over the rounds.
// With --against MODULE, the VST 2 module MODULE (another build: the one
// before a change) takes the VST 3 bundle's place, and the ratio is this
// build's against it: what a change costs with music playing.
//   format_bench [--rounds R] [--calls N] [--blocks 64,512] [--against MODULE]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchHost.h"
#include "bench/BenchPacing.h"
#include "tools/host/PluginModule.h"
#include "tools/host/Vst3Host.h"
#include "tools/host/VstHost.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kRate = 48000.0;

// The blocks each side of the comparison runs: the same noise.
struct Buffers : bench::StereoBlock {
    explicit Buffers(int frames) : StereoBlock(frames, 11u) {}
};

// Seconds `calls` calls of `call` take, back to back.
template <typename Call>
double Time(int calls, Call call) {
    const auto t0 = Clock::now();
    for (int i = 0; i < calls; ++i)
        call();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 15, calls = 2000;
    std::vector<std::uint32_t> blocks = {64, 512};
    std::string against;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (!std::strcmp(argv[i], "--rounds") && hasValue) {
            rounds = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--calls") && hasValue) {
            calls = std::atoi(argv[++i]);
        } else if (!std::strcmp(argv[i], "--blocks") && hasValue) {
            blocks = bench::parseList(argv[++i]);
        } else if (!std::strcmp(argv[i], "--against") && hasValue) {
            against = argv[++i];
        } else {
            rounds = 0;
            break;
        }
    }
    if (rounds <= 0 || calls <= 0 || blocks.empty()) {
        std::fprintf(stderr,
                     "usage: format_bench [--rounds R] [--calls N] [--blocks 64,512] "
                     "[--against MODULE]\n");
        return 2;
    }
    std::string error;
    const auto vst2 = PluginModule::Load(BRIGHTFALL_BENCH_MODULE, &error);
    if (!vst2) {
        std::fprintf(stderr, "format_bench: %s: %s\n", BRIGHTFALL_BENCH_MODULE, error.c_str());
        return 1;
    }
    std::unique_ptr<PluginModule> reference;
    if (!against.empty()) {
        reference = PluginModule::Load(against, &error);
        if (!reference) {
            std::fprintf(stderr, "format_bench: %s: %s\n", against.c_str(), error.c_str());
            return 1;
        }
    }
    const auto vst3 = Vst3Module::Load(BRIGHTFALL_BENCH_VST3_BUNDLE, &error);
    if (!vst3) {
        std::fprintf(stderr, "format_bench: %s: %s\n", BRIGHTFALL_BENCH_VST3_BUNDLE, error.c_str());
        return 1;
    }
    const char* const otherName = reference ? "before" : "VST 3";
    const char* const oursName = reference ? "this build" : "VST 2";
    if (reference)
        std::printf("this build's VST 2 module against %s, ", against.c_str());
    else
        std::printf("VST 3 against VST 2, ");
    std::printf(
        "64-bit process calls, stereo, 48 kHz, Wet/Dry and Sustain at 50; %d rounds of "
        "%d calls each\n",
        rounds, calls);
    for (const std::uint32_t frames : blocks) {
        const int n = static_cast<int>(frames);
        const std::unique_ptr<VstHost> host2 = bench::OpenVst2(*vst2, kRate, n);
        AEffect* e = host2 ? host2->Effect() : nullptr;
        const std::unique_ptr<VstHost> before =
            reference ? bench::OpenVst2(*reference, kRate, n) : nullptr;
        AEffect* old = before ? before->Effect() : nullptr;
        Vst3Instance host3(*vst3);
        if (!e || (reference && !old) ||
            (!reference && host3.Start(kRate, n, vst3::kSample64) != vst3::kResultOk)) {
            std::fprintf(stderr, "format_bench: an instance would not start\n");
            return 1;
        }
        // The other side of the comparison: the VST 3 instance or the build before.
        auto other = [&](Buffers& buffers) {
            if (old)
                old->processDoubleReplacing(old, buffers.inPtrs, buffers.outPtrs, n);
            else
                host3.Process(buffers.inPtrs, buffers.outPtrs, 2, n);
        };
        Buffers a(n), b(n);
        // A response's length of audio first, so both hold a full history.
        for (int done = 0; done < 140000; done += n) {
            e->processDoubleReplacing(e, a.inPtrs, a.outPtrs, n);
            other(b);
        }
        std::vector<double> us2, us3, ratio;
        for (int r = 0; r < rounds; ++r) {
            // Which goes first alternates, so neither always follows the other.
            double t2 = 0.0, t3 = 0.0;
            auto run2 = [&] {
                t2 = Time(calls, [&] { e->processDoubleReplacing(e, a.inPtrs, a.outPtrs, n); });
            };
            auto run3 = [&] { t3 = Time(calls, [&] { other(b); }); };
            if (r % 2 == 0) {
                run2();
                run3();
            } else {
                run3();
                run2();
            }
            us2.push_back(1e6 * t2 / calls);
            us3.push_back(1e6 * t3 / calls);
            ratio.push_back(t3 / t2);
        }
        // With a reference the ratio is ours against it; otherwise VST 3's
        // against ours.
        if (reference)
            for (double& r : ratio)
                r = 1.0 / r;
        std::printf(
            "block %4u: %s %.2f us, %s %.2f us a call; %s / %s %.3f "
            "(rounds %.3f to %.3f)\n",
            frames, oursName, bench::median(us2), otherName, bench::median(us3),
            reference ? oursName : otherName, reference ? otherName : oursName,
            bench::median(ratio), *std::min_element(ratio.begin(), ratio.end()),
            *std::max_element(ratio.begin(), ratio.end()));
        host2->Dispatch(effMainsChanged, 0, 0);
        if (before)
            before->Dispatch(effMainsChanged, 0, 0);
    }
    return 0;
}
