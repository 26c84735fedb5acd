// The VST 3 plug-in driven by a host that follows the interfaces but passes
// anything they allow: each input is a sequence of calls against one fresh
// instance made through the factory, released at the end. Bus arrangements
// of any count and speakers; setups with any mode, sample size, block size
// and rate; activation and processing switched in any order; process calls
// of any length (past the announced maximum too), either sample size, any
// bus and channel counts, missing buffers, and parameter queues with any
// ids, offsets and values; component and controller state from any bytes;
// parameter calls with any id, value and text. Every output sample of a call
// that succeeds must be finite. createView is left out: it wants a window.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "FuzzHost.h"
#include "tools/host/Vst3Host.h"
#include "vst3/Vst3Factory.h"

namespace {

using namespace vst3;

constexpr int kMaxCalls = 48;
constexpr int kMaxFrames = 8192;

double AnyValue(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return std::numeric_limits<double>::infinity();
        case 2:
            return -std::numeric_limits<double>::infinity();
        case 3:
            return in.ConsumeFloatingPoint<double>();
        default:
            return in.ConsumeFloatingPointInRange<double>(-0.5, 1.5);
    }
}

ParamID AnyId(FuzzedDataProvider& in) {
    // Mostly ours (Wet/Dry, Sustain, bypass), now and then any.
    static const ParamID kIds[] = {0, 1, 0x42797073, 2, 0xFFFFFFFFu};
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
        return in.ConsumeIntegral<ParamID>();
    return kIds[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kIds) - 1)];
}

SpeakerArrangement AnyArrangement(FuzzedDataProvider& in) {
    static const SpeakerArrangement kKnown[] = {kArrMono, kArrStereo, kArrEmpty,
                                                kArrStereo | kSpeakerM};
    if (in.ConsumeIntegralInRange<int>(0, 5) == 0)
        return in.ConsumeIntegral<SpeakerArrangement>();
    return kKnown[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kKnown) - 1)];
}

class Host {
  public:
    Host(FuzzedDataProvider& in, IComponent* c, IAudioProcessor* p, IEditController* e)
        : mIn(in), mComponent(c), mProcessor(p), mController(e) {
        for (auto& a : mAudio)
            a.assign(kMaxFrames, 0.0);
        for (auto& a : mAudioF)
            a.assign(kMaxFrames, 0.0f);
    }

    void Call() {
        switch (mIn.ConsumeIntegralInRange<int>(0, 15)) {
            case 0: {
                SpeakerArrangement ins[3], outs[3];
                const int nIn = mIn.ConsumeIntegralInRange<int>(0, 3);
                const int nOut = mIn.ConsumeIntegralInRange<int>(0, 3);
                for (int i = 0; i < 3; ++i) {
                    ins[i] = AnyArrangement(mIn);
                    outs[i] = AnyArrangement(mIn);
                }
                mProcessor->setBusArrangements(ins, nIn, outs, nOut);
                break;
            }
            case 1: {
                ProcessSetup setup{};
                setup.processMode = mIn.ConsumeIntegralInRange<int32>(-1, 3);
                setup.symbolicSampleSize = mIn.ConsumeIntegralInRange<int32>(-1, 2);
                setup.maxSamplesPerBlock = mIn.ConsumeIntegralInRange<int32>(-16, 70000);
                setup.sampleRate = mIn.ConsumeBool() ? 48000.0 : AnyValue(mIn) * 96000.0;
                mProcessor->setupProcessing(setup);
                break;
            }
            case 2:
                mComponent->setActive(mIn.ConsumeBool() ? 1 : 0);
                break;
            case 3:
                mProcessor->setProcessing(mIn.ConsumeBool() ? 1 : 0);
                break;
            case 4:
            case 5:
            case 6:
            case 7:
                Process();
                break;
            case 8: {
                Vst3MemoryStream stream(Bytes());
                if (mIn.ConsumeBool()) {
                    mComponent->setState(&stream);
                } else {
                    mController->setComponentState(&stream);
                }
                break;
            }
            case 9: {
                Vst3MemoryStream out;
                mComponent->getState(mIn.ConsumeBool() ? &out : nullptr);
                break;
            }
            case 10:
                mController->setParamNormalized(AnyId(mIn), AnyValue(mIn));
                break;
            case 11: {
                const double v = mController->getParamNormalized(AnyId(mIn));
                (void)v;
                const ParamID id = AnyId(mIn);
                const double plain = mController->normalizedParamToPlain(id, AnyValue(mIn));
                const double normal = mController->plainParamToNormalized(id, AnyValue(mIn));
                (void)plain;
                (void)normal;
                break;
            }
            case 12: {
                String128 text{};
                mController->getParamStringByValue(AnyId(mIn), AnyValue(mIn), text);
                const std::string typed = mIn.ConsumeRandomLengthString(40);
                TChar wide[128] = {};
                for (std::size_t i = 0; i < typed.size() && i < 127; ++i)
                    wide[i] = static_cast<TChar>(static_cast<unsigned char>(typed[i]));
                ParamValue value = 0.0;
                mController->getParamValueByString(AnyId(mIn), wide, value);
                break;
            }
            case 13: {
                ParameterInfo info{};
                mController->getParameterInfo(mIn.ConsumeIntegralInRange<int32>(-2, 5), info);
                BusInfo bus{};
                mComponent->getBusInfo(mIn.ConsumeIntegralInRange<int32>(-1, 2),
                                       mIn.ConsumeIntegralInRange<int32>(-1, 2),
                                       mIn.ConsumeIntegralInRange<int32>(-1, 2), bus);
                break;
            }
            case 14:
                mComponent->activateBus(mIn.ConsumeIntegralInRange<int32>(-1, 2),
                                        mIn.ConsumeIntegralInRange<int32>(-1, 2),
                                        mIn.ConsumeIntegralInRange<int32>(-1, 2),
                                        mIn.ConsumeBool() ? 1 : 0);
                break;
            default:
                mProcessor->getTailSamples();
                mProcessor->getLatencySamples();
                mProcessor->canProcessSampleSize(mIn.ConsumeIntegralInRange<int32>(-1, 2));
                break;
        }
    }

  private:
    std::vector<unsigned char> Bytes() {
        if (mIn.ConsumeBool()) {
            // Our header, then fuzzed values: the reader's later branches.
            std::vector<unsigned char> bytes(8);
            const std::int32_t magic = 0x70666674, version = 0x00010000;
            std::memcpy(bytes.data(), &magic, 4);
            std::memcpy(bytes.data() + 4, &version, 4);
            const std::string rest = mIn.ConsumeRandomLengthString(40);
            bytes.insert(bytes.end(), rest.begin(), rest.end());
            return bytes;
        }
        const std::string raw = mIn.ConsumeRandomLengthString(64);
        return std::vector<unsigned char>(raw.begin(), raw.end());
    }

    void Process() {
        const bool wide = mIn.ConsumeBool();
        const int frames = mIn.ConsumeIntegralInRange<int>(-2, kMaxFrames);
        const int n = std::max(frames, 0);
        const std::uint32_t seed = mIn.ConsumeIntegral<std::uint32_t>();
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < n; ++i) {
                const double v = static_cast<double>(static_cast<std::int16_t>(
                                     seed * static_cast<std::uint32_t>(i + 1) + 7919u * i)) /
                                 32768.0;
                mAudio[c][i] = v;
                mAudioF[c][i] = static_cast<float>(v);
            }
        }
        double* ins[2] = {mAudio[0].data(), mAudio[1].data()};
        double* outs[2] = {mAudio[2].data(), mAudio[3].data()};
        float* insF[2] = {mAudioF[0].data(), mAudioF[1].data()};
        float* outsF[2] = {mAudioF[2].data(), mAudioF[3].data()};
        const bool inPlace = mIn.ConsumeIntegralInRange<int>(0, 3) == 0;
        for (int c = 0; c < 2; ++c) {
            if (inPlace) {
                outs[c] = ins[c];
                outsF[c] = insF[c];
            }
            if (mIn.ConsumeIntegralInRange<int>(0, 7) == 0)
                ins[c] = nullptr, insF[c] = nullptr;
            if (mIn.ConsumeIntegralInRange<int>(0, 7) == 0)
                outs[c] = nullptr, outsF[c] = nullptr;
        }
        AudioBusBuffers in{}, out{};
        in.numChannels = mIn.ConsumeIntegralInRange<int32>(-1, 3);
        out.numChannels = mIn.ConsumeIntegralInRange<int32>(-1, 3);
        in.silenceFlags = mIn.ConsumeIntegral<std::uint8_t>();
        if (wide) {
            in.channelBuffers64 = mIn.ConsumeIntegralInRange<int>(0, 7) ? ins : nullptr;
            out.channelBuffers64 = mIn.ConsumeIntegralInRange<int>(0, 7) ? outs : nullptr;
        } else {
            in.channelBuffers32 = mIn.ConsumeIntegralInRange<int>(0, 7) ? insF : nullptr;
            out.channelBuffers32 = mIn.ConsumeIntegralInRange<int>(0, 7) ? outsF : nullptr;
        }
        // At most two channels each way: that is what the arrays hold.
        in.numChannels = std::min(in.numChannels, 2);
        out.numChannels = std::min(out.numChannels, 2);

        Vst3ParameterChanges changes;
        const int queues = mIn.ConsumeIntegralInRange<int>(0, 4);
        for (int q = 0; q < queues; ++q) {
            const ParamID id = AnyId(mIn);
            const int points = mIn.ConsumeIntegralInRange<int>(0, 3);
            for (int p = 0; p < points; ++p)
                changes.Add(id, mIn.ConsumeIntegralInRange<int32>(-4, kMaxFrames + 4),
                            AnyValue(mIn));
        }
        ProcessData data{};
        data.processMode = mIn.ConsumeIntegralInRange<int32>(0, 2);
        data.symbolicSampleSize = wide ? kSample64 : kSample32;
        data.numSamples = frames;
        data.numInputs = mIn.ConsumeIntegralInRange<int32>(0, 1);
        data.numOutputs = mIn.ConsumeIntegralInRange<int32>(0, 1);
        data.inputs = mIn.ConsumeIntegralInRange<int>(0, 7) ? &in : nullptr;
        data.outputs = mIn.ConsumeIntegralInRange<int>(0, 7) ? &out : nullptr;
        data.inputParameterChanges = mIn.ConsumeBool() ? &changes : nullptr;
        if (mProcessor->process(data) != kResultOk || !data.outputs || data.numOutputs < 1)
            return;
        for (int c = 0; c < out.numChannels; ++c) {
            if (wide && out.channelBuffers64 && out.channelBuffers64[c])
                fuzzhost::RequireFinite(out.channelBuffers64[c], n, "process (64-bit)");
            if (!wide && out.channelBuffers32 && out.channelBuffers32[c])
                fuzzhost::RequireFinite(out.channelBuffers32[c], n, "process (32-bit)");
        }
    }

    FuzzedDataProvider& mIn;
    IComponent* mComponent;
    IAudioProcessor* mProcessor;
    IEditController* mController;
    std::vector<double> mAudio[4];
    std::vector<float> mAudioF[4];
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzhost::ReportAtExit("vst3_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    IPluginFactory& factory = Vst3Factory::Instance();
    PClassInfo info{};
    if (factory.getClassInfo(0, &info) != kResultOk)
        return 0;
    void* object = nullptr;
    if (factory.createInstance(info.cid, IComponent::iid.bytes, &object) != kResultOk || !object)
        return 0;
    auto* component = static_cast<IComponent*>(object);
    void* processor = nullptr;
    void* controller = nullptr;
    component->queryInterface(IAudioProcessor::iid.bytes, &processor);
    component->queryInterface(IEditController::iid.bytes, &controller);
    ++fuzzhost::Inputs();
    long& calls = fuzzhost::CallsIntoPlugin();
    if (processor && controller) {
        component->initialize(nullptr);
        Host host(input, component, static_cast<IAudioProcessor*>(processor),
                  static_cast<IEditController*>(controller));
        for (int call = 0; call < kMaxCalls && input.remaining_bytes() > 0; ++call) {
            ++calls;
            host.Call();
        }
        // As a host ends: processing off, inactive, terminated, released.
        static_cast<IAudioProcessor*>(processor)->setProcessing(0);
        component->setActive(0);
        component->terminate();
        calls += 3;
    }
    if (controller)
        static_cast<IEditController*>(controller)->release();
    if (processor)
        static_cast<IAudioProcessor*>(processor)->release();
    component->release();
    return 0;
}
