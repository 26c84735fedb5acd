// The VST 3 module's audio: its renders held against the VST 2 module's in
// both precisions, parameter queues read in process calls that allocate
// nothing, the bypass switch, the tail, and process calls a careless host
// may make.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "Vst3Fixture.h"
#include "plugin/BrightfallFacts.h"
#include "tests/support/CountingNew.h"
#include "tests/support/StereoBuffers.h"
#include "tools/host/VstHost.h"

using namespace vst3;

namespace {

constexpr float kWet = 0.6f, kSustain = 0.1f;
constexpr int kFrames = 9000;
// Calls of uneven lengths, one far longer than the announced maximum.
constexpr int kCalls[] = {100, 256, 3000, 1, 644, 4999};
constexpr int kAnnounced = 256;

// Both channels of one precision's output, one after the other.
template <typename Sample>
std::vector<double> Joined(const std::vector<Sample>* out) {
    std::vector<double> both(out[0].begin(), out[0].end());
    both.insert(both.end(), out[1].begin(), out[1].end());
    return both;
}

// The settings, then the rate and block size, then activation: the same
// syntheses, on a fresh thread, as the VST 3 render below makes.
std::vector<double> Vst2Render(bool wide) {
    std::vector<double> result;
    OnFreshThread([&] {
        VstHost host(Vst2Module());
        AEffect* e = host.Effect();
        host.Dispatch(effOpen);
        e->setParameter(e, 0, kWet);
        e->setParameter(e, 1, kSustain);
        host.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        host.Dispatch(effSetBlockSize, 0, kAnnounced);
        host.Dispatch(effMainsChanged, 0, 1);
        StereoBuffers b(kFrames);
        b.FillPattern();
        int pos = 0;
        for (int n : kCalls) {
            if (wide) {
                double* in[2] = {b.in[0].data() + pos, b.in[1].data() + pos};
                double* out[2] = {b.out[0].data() + pos, b.out[1].data() + pos};
                e->processDoubleReplacing(e, in, out, n);
            } else {
                float* in[2] = {b.inF[0].data() + pos, b.inF[1].data() + pos};
                float* out[2] = {b.outF[0].data() + pos, b.outF[1].data() + pos};
                e->processReplacing(e, in, out, n);
            }
            pos += n;
        }
        result = wide ? Joined(b.out) : Joined(b.outF);
    });
    return result;
}

std::vector<double> Vst3Render(bool wide) {
    std::vector<double> result;
    OnFreshThread([&] {
        Vst3Instance plug(Bundle());  // initialize applies every parameter, as effOpen
        IEditController* ec = plug.Controller();
        ec->setParamNormalized(0, static_cast<double>(kWet));
        ec->setParamNormalized(1, static_cast<double>(kSustain));
        ASSERT_EQ(plug.Start(44100.0, kAnnounced, wide ? kSample64 : kSample32), kResultOk);
        StereoBuffers b(kFrames);
        b.FillPattern();
        int pos = 0;
        for (int n : kCalls) {
            if (wide) {
                double* in[2] = {b.in[0].data() + pos, b.in[1].data() + pos};
                double* out[2] = {b.out[0].data() + pos, b.out[1].data() + pos};
                ASSERT_EQ(plug.Process(in, out, 2, n), kResultOk);
            } else {
                float* in[2] = {b.inF[0].data() + pos, b.inF[1].data() + pos};
                float* out[2] = {b.outF[0].data() + pos, b.outF[1].data() + pos};
                ASSERT_EQ(plug.Process(in, out, 2, n), kResultOk);
            }
            pos += n;
        }
        result = wide ? Joined(b.out) : Joined(b.outF);
    });
    return result;
}

double Peak(const std::vector<double>& v) {
    double peak = 0.0;
    for (double x : v)
        peak = std::max(peak, std::fabs(x));
    return peak;
}

}  // namespace

TEST(Vst3Audio, RendersMatchTheVst2ModulesInBothPrecisions) {
    for (bool wide : {true, false}) {
        SCOPED_TRACE(wide ? "64-bit" : "32-bit");
        const std::vector<double> vst3 = Vst3Render(wide);
        const std::vector<double> vst2 = Vst2Render(wide);
        ASSERT_EQ(vst3.size(), vst2.size());
        const double peak = Peak(vst2);
        ASSERT_GT(peak, 0.1);
        // 64-bit samples go through in double precision all the way; 32-bit
        // ones are rounded to float once, on the way out.
        const double tolerance = (wide ? 1e-9 : 1e-6) * peak;
        for (std::size_t i = 0; i < vst3.size(); ++i)
            ASSERT_NEAR(vst3[i], vst2[i], tolerance) << "sample " << i;
    }
}

TEST(Vst3Audio, QueuesBypassAndTailInCallsThatAllocateNothing) {
    Vst3Instance plug(Bundle());
    IEditController* ec = plug.Controller();
    ASSERT_EQ(plug.Start(48000.0, 64, kSample64), kResultOk);
    // Sustain 50: half the longest response.
    EXPECT_EQ(plug.Processor()->getTailSamples(), brightfall::kLongestResponse / 2);

    StereoBuffers b(64);
    b.FillPattern();
    ParameterInfo bypass{};
    ec->getParameterInfo(2, bypass);
    // Prepared before counting: the queues allocate as they are filled.
    Vst3ParameterChanges dry, split, bad, shorter, bypassOn, bypassOff, none;
    dry.Add(0, 0, 0.0);
    split.Add(0, 0, 1.0);  // wet only, then dry only from sample 32 on
    split.Add(0, 32, 0.0);
    bad.Add(0, 5, std::numeric_limits<double>::quiet_NaN());
    bad.Add(1, 9, std::numeric_limits<double>::infinity());
    bad.Add(77, 0, 0.5);
    shorter.Add(1, 0, 0.7);  // two points: the last one is the value the block ends on
    shorter.Add(1, 30, 0.0);
    shorter.Add(0, 0, 1.0);
    bypassOn.Add(bypass.id, 0, 1.0);
    bypassOff.Add(bypass.id, 0, 0.0);
    bool dryIsInput = false, bypassIsInput = false, wetDiffers = false, finite = true;
    bool splitAtThePoint = false;
    int blocksToApply = -1;

    const long before = counting_new::Count().load();
    // Bypassed, the input itself; then the reverb again.
    plug.Process(b.In(), b.Out(), 2, 64, &bypassOn);
    bypassIsInput = b.out[0] == b.in[0] && b.out[1] == b.in[1];
    plug.Process(b.In(), b.Out(), 2, 64, &bypassOff);
    wetDiffers = b.out[0] != b.in[0];
    // Each point from its own sample on: the block's second half is the input.
    plug.Process(b.In(), b.Out(), 2, 64, &split);
    splitAtThePoint =
        std::equal(b.out[0].begin() + 32, b.out[0].begin() + 64, b.in[0].begin() + 32) &&
        !std::equal(b.out[0].begin(), b.out[0].begin() + 32, b.in[0].begin());
    // Wet/Dry 0 from the start of the block it comes with: the input itself.
    plug.Process(b.In(), b.Out(), 2, 64, &dry);
    dryIsInput = b.out[0] == b.in[0] && b.out[1] == b.in[1];
    // NaN, infinity and an unknown id change nothing.
    const tresult badResult = plug.Process(b.In(), b.Out(), 2, 64, &bad);
    // A host's flush: no audio, the changes applied all the same.
    const tresult flushResult =
        plug.Process(static_cast<double**>(nullptr), nullptr, 0, 0, &shorter);
    // The new Sustain is prepared aside and put in place between two of the
    // following calls, paced about as a host paces them.
    for (int block = 0; block < 2000 && blocksToApply < 0; ++block) {
        plug.Process(b.In(), b.Out(), 2, 64, &none);
        finite = finite && b.OutputsFinite(64);
        if (plug.Processor()->getTailSamples() == 0)
            blocksToApply = block;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const long allocations = counting_new::Count().load() - before;

    EXPECT_EQ(allocations, 0);
    EXPECT_TRUE(dryIsInput);
    EXPECT_TRUE(splitAtThePoint);
    EXPECT_EQ(badResult, kResultOk);
    EXPECT_EQ(flushResult, kResultOk);
    EXPECT_EQ(ec->getParamNormalized(0), 1.0);
    EXPECT_EQ(ec->getParamNormalized(1), 0.0);
    EXPECT_GE(blocksToApply, 0) << "the Sustain from the queue never came into use";
    EXPECT_TRUE(finite);
    EXPECT_TRUE(bypassIsInput);
    EXPECT_TRUE(wetDiffers);

    // A Sustain set on the host's UI thread is in place when the call returns.
    ASSERT_EQ(ec->setParamNormalized(1, 1.0), kResultOk);
    EXPECT_EQ(plug.Processor()->getTailSamples(), brightfall::kLongestResponse);

    // Silence out is said to the host once nothing is left to hear (a new
    // response starts with nothing held); sound clears it, and so does the
    // tail that follows.
    StereoBuffers quiet(64);
    plug.Process(quiet.In(), quiet.Out(), 2, 64, &none);
    EXPECT_EQ(plug.LastSilenceFlags(), 3u);
    plug.Process(b.In(), b.Out(), 2, 64, &none);
    EXPECT_EQ(plug.LastSilenceFlags(), 0u);
    plug.Process(quiet.In(), quiet.Out(), 2, 64, &none);
    EXPECT_EQ(plug.LastSilenceFlags(), 0u);
    EXPECT_FALSE(quiet.out[0] == quiet.in[0]);
}

TEST(Vst3Audio, CarelessProcessCallsGetAResultAndNoCrash) {
    Vst3Instance plug(Bundle());
    IAudioProcessor* p = plug.Processor();
    ProcessSetup nanRate{kRealtime, kSample64, 64, std::numeric_limits<double>::quiet_NaN()};
    EXPECT_EQ(p->setupProcessing(nanRate), kResultFalse);
    ProcessSetup noBlock{kRealtime, kSample64, 0, 48000.0};
    EXPECT_EQ(p->setupProcessing(noBlock), kResultFalse);
    ASSERT_EQ(plug.Start(48000.0, 64, kSample64), kResultOk);

    StereoBuffers b(64);
    b.FillPattern();
    AudioBusBuffers in{}, out{};
    in.numChannels = out.numChannels = 2;
    in.channelBuffers64 = b.In();
    out.channelBuffers64 = b.Out();
    auto call = [&](int numInputs, int numOutputs, int frames, int sampleSize) {
        ProcessData data{};
        data.symbolicSampleSize = sampleSize;
        data.numSamples = frames;
        data.numInputs = numInputs;
        data.numOutputs = numOutputs;
        data.inputs = numInputs ? &in : nullptr;
        data.outputs = numOutputs ? &out : nullptr;
        return p->process(data);
    };
    EXPECT_EQ(call(1, 1, 64, kSample64), kResultOk);
    EXPECT_EQ(call(1, 0, 64, kSample64), kInvalidArgument);
    EXPECT_EQ(call(1, 1, -5, kSample64), kInvalidArgument);
    EXPECT_EQ(call(1, 1, 64, 7), kInvalidArgument);
    // No input bus: the outputs are silenced, not left as they were.
    b.out[0].assign(64, 0.5);
    EXPECT_EQ(call(0, 1, 64, kSample64), kInvalidArgument);
    EXPECT_EQ(b.out[0], std::vector<double>(64, 0.0));
    // Fewer channels than the arrangement, or a channel without a buffer.
    in.numChannels = 1;
    EXPECT_EQ(call(1, 1, 64, kSample64), kInvalidArgument);
    in.numChannels = 2;
    double* holes[2] = {b.out[0].data(), nullptr};
    out.channelBuffers64 = holes;
    EXPECT_EQ(call(1, 1, 64, kSample64), kInvalidArgument);
}
