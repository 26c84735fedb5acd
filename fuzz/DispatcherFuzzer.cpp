// The plug-in driven by a host that follows the ABI but says anything it
// may: each input is a sequence of calls (any opcode with any index, value,
// option and pointer; setParameter and getParameter with any index and
// value; the three process callbacks with any frame count and channel
// pointers) against one fresh instance, closed at the end. Where an opcode
// reads or writes a host structure the pointer leads to one of the right
// size with fuzzed contents, as a real host's would; every output sample
// must be finite. effEditOpen is left out: it wants a real parent window.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzHost.h"
#include "tools/host/VstHost.h"
#include "vst2/IPlugVST.h"
#include "vst2/PluginFactory.h"

namespace {

constexpr int kMaxCalls = 48;
constexpr int kMaxFrames = 8192;
constexpr int kMaxEvents = 8;
constexpr std::size_t kBufferBytes = 1024;  // larger than any structure a call reads

const VstInt32 kKnownOpcodes[] = {
    effOpen,
    effSetProgram,
    effGetProgram,
    effSetProgramName,
    effGetProgramName,
    effGetParamLabel,
    effGetParamDisplay,
    effGetParamName,
    effSetSampleRate,
    effSetBlockSize,
    effMainsChanged,
    effEditGetRect,
    effEditClose,
    effEditIdle,
    effIdentify,
    effGetChunk,
    effSetChunk,
    effProcessEvents,
    effCanBeAutomated,
    effString2Parameter,
    effGetProgramNameIndexed,
    effGetInputProperties,
    effGetOutputProperties,
    effGetPlugCategory,
    effProcessVarIo,
    effSetSpeakerArrangement,
    effSetBypass,
    effGetEffectName,
    effGetVendorString,
    effGetProductString,
    effGetVendorVersion,
    effVendorSpecific,
    effCanDo,
    effGetTailSize,
    effIdle,
    effGetParameterProperties,
    effGetVstVersion,
    effGetMidiKeyName,
    effGetSpeakerArrangement,
    effSetProcessPrecision,
};

const char* const kCanDoTexts[] = {"receiveVstTimeInfo", "hasCockosExtensions",
                                   "hasCockosViewAsConfig", "sendVstEvents", "receiveVstEvents"};

// The host's side of one instance: its buffers live as long as the instance.
struct Host {
    explicit Host(FuzzedDataProvider& input) : in(input) {}

    FuzzedDataProvider& in;
    unsigned char buffer[kBufferBytes] = {};
    VstSpeakerArrangement arrangements[2] = {};
    VstEvent events[kMaxEvents] = {};
    VstMidiSysexEvent sysex[kMaxEvents] = {};
    unsigned char sysexBytes[kMaxEvents][64] = {};
    // Audio buffers, two inputs then two outputs, allocated once per process:
    // only the frames of a call are filled, and the rest of a buffer holds
    // whatever an earlier call left, as a host's would.
    struct Audio {
        std::vector<double> d[4];
        std::vector<float> f[4];
        Audio() {
            for (int c = 0; c < 4; ++c)
                d[c].resize(kMaxFrames), f[c].resize(kMaxFrames);
        }
    };
    static Audio& Buffers() {
        static Audio audio;
        return audio;
    }
    std::vector<double> (&audio)[4] = Buffers().d;
    std::vector<float> (&audioF)[4] = Buffers().f;

    VstInt32 Opcode() {
        if (in.ConsumeIntegralInRange<int>(0, 15) == 0)
            return in.ConsumeIntegral<VstInt32>();
        return in.PickValueInArray(kKnownOpcodes);
    }
    VstInt32 Index() {
        return in.ConsumeBool() ? in.ConsumeIntegralInRange<VstInt32>(-1, 8)
                                : in.ConsumeIntegral<VstInt32>();
    }
    VstIntPtr Value() {
        return in.ConsumeBool() ? in.ConsumeIntegralInRange<VstIntPtr>(-2, 4096)
                                : in.ConsumeIntegral<VstIntPtr>();
    }
    // Any bit pattern: NaN, infinities, subnormals and all.
    float AnyFloat() {
        const std::uint32_t bits = in.ConsumeIntegral<std::uint32_t>();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    float Option() {
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
            case 0:
                return 0.0f;
            case 1:
                return in.PickValueInArray({22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f});
            case 2:
                return in.ConsumeFloatingPointInRange<float>(-1.0f, 2.0f);
            default:
                return AnyFloat();
        }
    }
    // The buffer with fuzzed bytes, or fuzzed text terminated inside it.
    void* Bytes() {
        std::memset(buffer, 0, sizeof buffer);
        const std::vector<std::uint8_t> bytes =
            in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, sizeof buffer));
        if (!bytes.empty())
            std::memcpy(buffer, bytes.data(), bytes.size());
        return buffer;
    }
    char* Text() {
        std::memset(buffer, 0, sizeof buffer);
        if (in.ConsumeBool()) {
            const char* t = in.PickValueInArray(kCanDoTexts);
            std::memcpy(buffer, t, std::strlen(t));
        } else {
            const std::string s = in.ConsumeRandomLengthString(255);
            std::memcpy(buffer, s.data(), s.size());
        }
        return reinterpret_cast<char*>(buffer);
    }
    VstSpeakerArrangement* Arrangement(int which) {
        VstSpeakerArrangement& a = arrangements[which];
        std::memset(&a, 0, sizeof a);
        a.type = in.ConsumeIntegralInRange<VstInt32>(-2, 40);
        a.numChannels = in.ConsumeBool() ? in.ConsumeIntegralInRange<VstInt32>(0, 2)
                                         : in.ConsumeIntegral<VstInt32>();
        return &a;
    }
    VstEvents* Events() {
        // The header's two pointers plus room for the rest, as hosts build it.
        static_assert(sizeof(VstEvents) + (kMaxEvents - 2) * sizeof(VstEvent*) <= kBufferBytes);
        std::memset(buffer, 0, sizeof buffer);
        auto* list = reinterpret_cast<VstEvents*>(buffer);
        list->numEvents = in.ConsumeIntegralInRange<VstInt32>(0, kMaxEvents);
        // The declared two entries are the start of a longer list.
        VstEvent** slots = list->events;
        for (int i = 0; i < list->numEvents; ++i) {
            VstEvent* ev = nullptr;
            switch (in.ConsumeIntegralInRange<int>(0, 3)) {
                case 0:
                    break;  // a hole in the list
                case 1: {
                    VstMidiSysexEvent& s = sysex[i];
                    std::memset(&s, 0, sizeof s);
                    s.type = kVstSysExType;
                    s.byteSize = sizeof s;
                    s.deltaFrames = in.ConsumeIntegral<VstInt32>();
                    s.dumpBytes = in.ConsumeIntegralInRange<VstInt32>(0, 64);
                    in.ConsumeData(sysexBytes[i], static_cast<std::size_t>(s.dumpBytes));
                    s.sysexDump = reinterpret_cast<char*>(sysexBytes[i]);
                    ev = reinterpret_cast<VstEvent*>(&s);
                    break;
                }
                default: {
                    VstEvent& m = events[i];
                    std::memset(&m, 0, sizeof m);
                    m.type = in.ConsumeBool() ? kVstMidiType : in.ConsumeIntegral<VstInt32>();
                    m.byteSize = sizeof m;
                    m.deltaFrames = in.ConsumeIntegral<VstInt32>();
                    in.ConsumeData(m.data, sizeof m.data);
                    ev = &m;
                    break;
                }
            }
            slots[i] = ev;
        }
        return list;
    }

    VstIntPtr Dispatch(AEffect* e, VstInt32 opcode) {
        const VstInt32 index = Index();
        const bool nullPointer = in.ConsumeIntegralInRange<int>(0, 7) == 0;
        switch (opcode) {
            case effGetChunk: {
                void* data = nullptr;
                const VstIntPtr n = e->dispatcher(e, opcode, index, Value(),
                                                  nullPointer ? nullptr : &data, Option());
                if (n > 0 && data)  // the host copies the chunk out
                    std::memcpy(buffer, data, std::min<std::size_t>(n, sizeof buffer));
                return n;
            }
            case effSetChunk: {
                void* bytes = Bytes();
                const auto n =
                    in.ConsumeIntegralInRange<VstIntPtr>(-1, static_cast<VstIntPtr>(sizeof buffer));
                return e->dispatcher(e, opcode, index, n, nullPointer ? nullptr : bytes, Option());
            }
            case effEditGetRect: {
                ERect* rect = nullptr;
                const VstIntPtr r = e->dispatcher(e, opcode, index, Value(),
                                                  nullPointer ? nullptr : &rect, Option());
                if (rect)
                    std::memcpy(buffer, rect, sizeof *rect);
                return r;
            }
            case effGetSpeakerArrangement: {
                VstSpeakerArrangement* inArr = nullptr;
                VstSpeakerArrangement* outArr = nullptr;
                const bool withIn = in.ConsumeBool();
                const VstIntPtr r = e->dispatcher(e, opcode, index,
                                                  withIn ? reinterpret_cast<VstIntPtr>(&inArr) : 0,
                                                  nullPointer ? nullptr : &outArr, Option());
                if (inArr)
                    std::memcpy(buffer, inArr, sizeof *inArr);
                if (outArr)
                    std::memcpy(buffer, outArr, sizeof *outArr);
                return r;
            }
            case effSetSpeakerArrangement: {
                const VstIntPtr inArr =
                    in.ConsumeBool() ? reinterpret_cast<VstIntPtr>(Arrangement(0)) : 0;
                VstSpeakerArrangement* outArr = nullPointer ? nullptr : Arrangement(1);
                return e->dispatcher(e, opcode, index, inArr, outArr, Option());
            }
            case effProcessEvents:
                return e->dispatcher(e, opcode, index, Value(), nullPointer ? nullptr : Events(),
                                     Option());
            case effSetProgramName:
            case effString2Parameter:
            case effCanDo:
                return e->dispatcher(e, opcode, index, Value(), nullPointer ? nullptr : Text(),
                                     Option());
            case effGetMidiKeyName: {
                auto* key = static_cast<MidiKeyName*>(Bytes());
                key->keyName[sizeof key->keyName - 1] = '\0';
                return e->dispatcher(e, opcode, index, Value(), nullPointer ? nullptr : key,
                                     Option());
            }
            default: {
                // Everything else gets the whole buffer, which is larger than
                // the text, pin properties or anything else it might write.
                void* bytes = Bytes();
                return e->dispatcher(e, opcode, index, Value(), nullPointer ? nullptr : bytes,
                                     Option());
            }
        }
    }

    void Process(AEffect* e) {
        const int kind = in.ConsumeIntegralInRange<int>(0, 2);
        // Mostly a short block; one call in eight up to 8192 frames, past any
        // head or stage block and the scratch size a fuzzed block size sets.
        // A long call costs as much as a hundred short ones and reaches
        // nothing more after the first few, so they are the exception. (The
        // choice takes one byte, as the coin it replaced did, so saved inputs
        // keep their meaning.)
        const int frames = in.ConsumeIntegralInRange<int>(0, 7) == 0
                               ? in.ConsumeIntegralInRange<int>(-2, kMaxFrames)
                               : in.ConsumeIntegralInRange<int>(0, 64);
        const int channels = std::max(e->numInputs, e->numOutputs);
        if (channels > 2)
            std::abort();  // the buffers below are for stereo
        // Some hosts process in place, passing the same buffers both ways;
        // some leave a channel's pointer null.
        const bool inPlace = in.ConsumeIntegralInRange<int>(0, 3) == 0;
        double* ins[2] = {};
        double* outs[2] = {};
        float* insF[2] = {};
        float* outsF[2] = {};
        const double scale = in.PickValueInArray({0.0, 1e-310, 1e-30, 1.0, 8.0});
        const int n = std::clamp(frames, 0, kMaxFrames);
        for (int c = 0; c < 2; ++c) {
            const std::int16_t seed = in.ConsumeIntegral<std::int16_t>();
            double* d = audio[c].data();
            float* f = audioF[c].data();
            for (int i = 0; i < n; ++i) {
                d[i] = scale *
                       static_cast<double>(static_cast<std::int16_t>(seed * (i + 1) + i * 7919)) /
                       32768.0;
                f[i] = static_cast<float>(d[i]);
            }
            const bool present = in.ConsumeIntegralInRange<int>(0, 7) != 0;
            ins[c] = present ? audio[c].data() : nullptr;
            insF[c] = present ? audioF[c].data() : nullptr;
            outs[c] = inPlace ? ins[c] : audio[c + 2].data();
            outsF[c] = inPlace ? insF[c] : audioF[c + 2].data();
            if (!inPlace && in.ConsumeIntegralInRange<int>(0, 7) == 0)
                outs[c] = nullptr, outsF[c] = nullptr;
        }
        switch (kind) {
            case 0:
                e->processReplacing(e, insF, outsF, frames);
                break;
            case 1:
                e->process(e, insF, outsF, frames);
                break;
            default:
                e->processDoubleReplacing(e, ins, outs, frames);
                break;
        }
        for (int c = 0; c < 2; ++c) {
            if (kind == 2 && outs[c])
                fuzzhost::RequireFinite(outs[c], n, "processDoubleReplacing");
            if (kind != 2 && outsF[c])
                fuzzhost::RequireFinite(outsF[c], n, "a float process callback");
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzhost::ReportAtExit("dispatcher_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    IPlugVST* plug = CreatePluginInstance(&VstHost::PlainCallback);
    if (!plug)
        return 0;
    plug->StartDeferringChanges();  // as the module's entry point does
    ++fuzzhost::Inputs();
    AEffect* e = plug->GetAEffect();
    Host host(input);
    long& calls = fuzzhost::CallsIntoPlugin();
    for (int call = 0; call < kMaxCalls && input.remaining_bytes() > 0; ++call) {
        ++calls;  // one host call per step, except the skipped effEditOpen
        switch (input.ConsumeIntegralInRange<int>(0, 9)) {
            case 0:
            case 1:
                e->setParameter(e, host.Index(), host.Option());
                break;
            case 2: {
                const float v = e->getParameter(e, host.Index());
                fuzzhost::RequireFinite(&v, 1, "getParameter");
                break;
            }
            case 3:
            case 4:
            case 5:
                host.Process(e);
                break;
            default: {
                const VstInt32 opcode = host.Opcode();
                if (opcode == effEditOpen) {
                    --calls;
                    break;
                }
                if (opcode == effClose) {
                    --calls;           // made below
                    call = kMaxCalls;  // the sequence ends here
                    break;
                }
                host.Dispatch(e, opcode);
                break;
            }
        }
    }
    ++calls;
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
