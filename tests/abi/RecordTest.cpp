// What a host sees of the module: the exports, the record, parameters and
// the audio callbacks' buffer handling, exercised through the exports only.
#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "ModuleFixture.h"

namespace {

// "Sustain" at 0 makes the plug-in a plain pass-through, which lets these
// tests check buffer handling exactly, independent of the reverb.
void MakeTransparent(VstHost& host) {
    AEffect* e = host.Effect();
    host.Dispatch(effOpen);
    host.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    host.Dispatch(effSetBlockSize, 0, 256);
    e->setParameter(e, 1, 0.0f);
    host.Dispatch(effMainsChanged, 0, 1);
}

// Both replacing callbacks, each over the whole of `b`, hand the input back.
void ExpectBothReplacingCallbacksPass(AEffect* e, Buffers& b) {
    e->processDoubleReplacing(e, b.In(), b.Out(), b.frames);
    EXPECT_EQ(b.out[0], b.in[0]);
    EXPECT_EQ(b.out[1], b.in[1]);
    e->processReplacing(e, b.InF(), b.OutF(), b.frames);
    EXPECT_EQ(b.outF[0], b.inF[0]);
    EXPECT_EQ(b.outF[1], b.inF[1]);
}

}  // namespace

TEST(Record, FieldsAHostReadsAfterInstantiation) {
    for (auto entry : {Module().Entry(), Module().LegacyEntry()}) {
        ASSERT_NE(entry, nullptr) << "both VSTPluginMain and main are exported";
        VstHost host(Module(), HostIdentity(), entry);
        const AEffect* e = host.Effect();
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->magic, 0x56737450);
        EXPECT_EQ(e->numParams, 2);
        EXPECT_EQ(e->numInputs, 2);
        EXPECT_EQ(e->numOutputs, 2);
        EXPECT_EQ(e->numPrograms, 1);
        EXPECT_EQ(e->flags & ~effFlagsHasEditor, 0x1038);
        EXPECT_EQ(e->uniqueID, 0x68643436);
        EXPECT_EQ(e->version, kDecimalVersion);
        EXPECT_EQ(e->initialDelay, 0);
        EXPECT_EQ(e->ioRatio, 1.0f);
        EXPECT_NE(e->object, nullptr);
        EXPECT_EQ(e->user, nullptr);
        EXPECT_EQ(e->resvd1, 0);
        for (char c : e->future)
            EXPECT_EQ(c, 0);
        EXPECT_NE(e->dispatcher, nullptr);
        EXPECT_NE(e->process, nullptr);
        EXPECT_NE(e->processReplacing, nullptr);
        EXPECT_NE(e->processDoubleReplacing, nullptr);
    }
}

TEST(Record, ParametersAreNormalisedAndIndicesChecked) {
    VstHost host(Module());
    AEffect* e = host.Effect();
    EXPECT_FLOAT_EQ(e->getParameter(e, 0), 0.5f);
    EXPECT_FLOAT_EQ(e->getParameter(e, 1), 0.5f);
    e->setParameter(e, 0, 0.25f);
    EXPECT_FLOAT_EQ(e->getParameter(e, 0), 0.25f);
    EXPECT_EQ(e->getParameter(e, -1), 0.0f);
    EXPECT_EQ(e->getParameter(e, 2), 0.0f);
    e->setParameter(e, 2, 0.9f);
    e->setParameter(e, -7, 0.9f);
    EXPECT_FLOAT_EQ(e->getParameter(e, 0), 0.25f);
    EXPECT_FLOAT_EQ(e->getParameter(e, 1), 0.5f);
    // A host value beyond the range is clamped when read back; NaN is ignored.
    e->setParameter(e, 0, 1.5f);
    EXPECT_FLOAT_EQ(e->getParameter(e, 0), 1.0f);
    e->setParameter(e, 0, std::nanf(""));
    EXPECT_FLOAT_EQ(e->getParameter(e, 0), 1.0f);

    // Infinities give the ends of the range. The read-back clamps, so the
    // displayed value is what shows that -infinity stored the minimum itself.
    auto display = [&](VstInt32 index) {
        char text[256] = {};
        host.Dispatch(effGetParamDisplay, index, 0, text);
        return std::string(text);
    };
    e->setParameter(e, 1, 0.25f);
    e->setParameter(e, 1, INFINITY);
    EXPECT_EQ(e->getParameter(e, 1), 1.0f);
    EXPECT_EQ(display(1), "100");
    e->setParameter(e, 1, std::nanf(""));
    EXPECT_EQ(display(1), "100");
    e->setParameter(e, 1, -INFINITY);
    EXPECT_EQ(e->getParameter(e, 1), 0.0f);
    EXPECT_EQ(display(1), "0");
    e->setParameter(e, 1, std::nanf(""));
    EXPECT_EQ(display(1), "0");
}

TEST(Audio, AllThreeCallbacksPassAudioAtSustainZero) {
    VstHost host(Module());
    MakeTransparent(host);
    AEffect* e = host.Effect();
    Buffers b(200);
    ExpectBothReplacingCallbacksPass(e, b);

    // The accumulating callback adds: twice over the same output doubles it.
    e->process(e, b.InF(), b.OutF(), b.frames);
    for (int i = 0; i < b.frames; ++i) {
        ASSERT_EQ(b.outF[0][i], 2.0f * b.inF[0][i]);
        ASSERT_EQ(b.outF[1][i], 2.0f * b.inF[1][i]);
    }
}

TEST(Audio, ZeroFramesAndMoreFramesThanTheBlockSize) {
    VstHost host(Module());
    MakeTransparent(host);
    AEffect* e = host.Effect();
    Buffers empty(1);
    e->processDoubleReplacing(e, empty.In(), empty.Out(), 0);
    EXPECT_EQ(empty.out[0][0], 0.0);
    e->processReplacing(e, empty.InF(), empty.OutF(), -5);
    EXPECT_EQ(empty.outF[0][0], 0.0f);

    // The host announced 256 frames and sends 1000: served in pieces.
    Buffers big(1000);
    ExpectBothReplacingCallbacksPass(e, big);
}

TEST(Audio, SameArrayForInputAndOutput) {
    VstHost host(Module());
    MakeTransparent(host);
    AEffect* e = host.Effect();
    Buffers b(300);
    auto expected = b.in;
    e->processDoubleReplacing(e, b.In(), b.In(), b.frames);
    EXPECT_EQ(b.in[0], expected[0]);
    EXPECT_EQ(b.in[1], expected[1]);
}

TEST(Audio, OneInputConnectedReadsOneHostBuffer) {
    VstHost host(Module());
    MakeTransparent(host);
    AEffect* e = host.Effect();
    VstSpeakerArrangement mono{}, stereo{};
    mono.numChannels = 1;
    stereo.numChannels = 2;
    EXPECT_EQ(
        host.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &stereo), 1);
    Buffers b(64);
    double* onlyOne[1] = {b.in[0].data()};
    e->processDoubleReplacing(e, onlyOne, b.Out(), b.frames);
    EXPECT_EQ(b.out[0], b.in[0]);
    for (double v : b.out[1])
        ASSERT_TRUE(std::isfinite(v));

    float* onlyOneF[1] = {b.inF[0].data()};
    e->processReplacing(e, onlyOneF, b.OutF(), b.frames);
    EXPECT_EQ(b.outF[0], b.inF[0]);
}

TEST(Instances, IndependentAndSafeToCreateConcurrently) {
    VstHost a(Module()), b(Module());
    ASSERT_NE(a.Effect(), b.Effect());
    a.Effect()->setParameter(a.Effect(), 0, 0.1f);
    EXPECT_FLOAT_EQ(b.Effect()->getParameter(b.Effect(), 0), 0.5f);

    std::atomic<int> made{0};
    auto worker = [&] {
        for (int i = 0; i < 3; ++i) {
            VstHost h(Module());
            if (h.Effect() && h.Effect()->magic == kEffectMagic)
                ++made;
        }
    };
    std::thread t1(worker), t2(worker);
    t1.join();
    t2.join();
    EXPECT_EQ(made.load(), 6);
}
