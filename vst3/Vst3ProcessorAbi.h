// The VST 3 interfaces of an audio effect, declared from Steinberg's published
// interface definitions: the component with its buses and state, the audio
// processor with its process data, the edit controller with its parameters,
// and the host's handler and parameter queues. Shared by the plug-in (vst3/)
// and the test host (tools/host/); nothing here runs.
#pragma once

#include "vst3/Vst3Abi.h"

namespace vst3 {

class IPlugView;

using TChar = char16;
using String128 = TChar[128];
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using UnitID = int32;
using ParamValue = double;
using ParamID = uint32;
using Sample32 = float;
using Sample64 = double;
using SampleRate = double;
using SpeakerArrangement = uint64;  // one bit per speaker

enum MediaTypes : int32 { kAudio = 0, kEvent };
enum BusDirections : int32 { kInput = 0, kOutput };
enum BusTypes : int32 { kMain = 0, kAux };
enum SymbolicSampleSizes : int32 { kSample32 = 0, kSample64 };
enum ProcessModes : int32 { kRealtime = 0, kPrefetch, kOffline };

// The speaker bits of the two arrangements Brightfall plays.
constexpr SpeakerArrangement kSpeakerL = 1u << 0;
constexpr SpeakerArrangement kSpeakerR = 1u << 1;
constexpr SpeakerArrangement kSpeakerM = 1u << 19;
constexpr SpeakerArrangement kArrEmpty = 0;
constexpr SpeakerArrangement kArrMono = kSpeakerM;
constexpr SpeakerArrangement kArrStereo = kSpeakerL | kSpeakerR;

constexpr const char* kVstAudioEffectClass = "Audio Module Class";
constexpr uint32 kNoTail = 0;
constexpr UnitID kRootUnitId = 0;

VST3_PACK_PUSH

struct BusInfo {
    enum BusFlags : uint32 { kDefaultActive = 1u << 0, kIsControlVoltage = 1u << 1 };
    MediaType mediaType;
    BusDirection direction;
    int32 channelCount;
    String128 name;
    BusType busType;
    uint32 flags;
};

struct RoutingInfo {
    MediaType mediaType;
    int32 busIndex;
    int32 channel;  // -1: all channels
};

struct ProcessSetup {
    int32 processMode;         // ProcessModes
    int32 symbolicSampleSize;  // SymbolicSampleSizes
    int32 maxSamplesPerBlock;
    SampleRate sampleRate;
};

// One bus's channels for one process call; which member of the union holds
// depends on ProcessData::symbolicSampleSize.
struct AudioBusBuffers {
    int32 numChannels;
    uint64 silenceFlags;  // bit per channel: all its samples are 0
    union {
        Sample32** channelBuffers32;
        Sample64** channelBuffers64;
    };
};

class IParameterChanges;
class IEventList;
struct ProcessContext;

struct ProcessData {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 numSamples;  // 0: the host flushes parameter changes only
    int32 numInputs;   // audio buses
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    IEventList* outputEvents;
    ProcessContext* processContext;
};

struct ParameterInfo {
    enum ParameterFlags : int32 {
        kNoFlags = 0,
        kCanAutomate = 1 << 0,
        kIsReadOnly = 1 << 1,
        kIsWrapAround = 1 << 2,
        kIsList = 1 << 3,
        kIsHidden = 1 << 4,
        kIsProgramChange = 1 << 15,
        kIsBypass = 1 << 16,
    };
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount;  // 0: continuous
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;
};

VST3_PACK_POP

// The processing object's identity, buses, activation and saved state.
class IComponent : public IPluginBase {
  public:
    virtual tresult PLUGIN_API getControllerClassId(TUID classId) = 0;
    virtual tresult PLUGIN_API setIoMode(IoMode mode) = 0;
    virtual int32 PLUGIN_API getBusCount(MediaType type, BusDirection dir) = 0;
    virtual tresult PLUGIN_API getBusInfo(MediaType type, BusDirection dir, int32 index,
                                          BusInfo& bus) = 0;
    virtual tresult PLUGIN_API getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
    virtual tresult PLUGIN_API activateBus(MediaType type, BusDirection dir, int32 index,
                                           TBool state) = 0;
    virtual tresult PLUGIN_API setActive(TBool state) = 0;
    virtual tresult PLUGIN_API setState(IBStream* state) = 0;
    virtual tresult PLUGIN_API getState(IBStream* state) = 0;

    static constexpr Uid iid = MakeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);

  protected:
    ~IComponent() = default;
};

class IAudioProcessor : public FUnknown {
  public:
    virtual tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                  SpeakerArrangement* outputs, int32 numOuts) = 0;
    virtual tresult PLUGIN_API getBusArrangement(BusDirection dir, int32 index,
                                                 SpeakerArrangement& arr) = 0;
    virtual tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) = 0;
    virtual uint32 PLUGIN_API getLatencySamples() = 0;
    virtual tresult PLUGIN_API setupProcessing(ProcessSetup& setup) = 0;
    virtual tresult PLUGIN_API setProcessing(TBool state) = 0;
    virtual tresult PLUGIN_API process(ProcessData& data) = 0;
    virtual uint32 PLUGIN_API getTailSamples() = 0;

    static constexpr Uid iid = MakeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);

  protected:
    ~IAudioProcessor() = default;
};

// What of the transport a processor reads; asked once before activation.
class IProcessContextRequirements : public FUnknown {
  public:
    virtual uint32 PLUGIN_API getProcessContextRequirements() = 0;

    static constexpr Uid iid = MakeUid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);

  protected:
    ~IProcessContextRequirements() = default;
};

// The host's side of the controller: edits made in the plug-in's editor.
class IComponentHandler : public FUnknown {
  public:
    virtual tresult PLUGIN_API beginEdit(ParamID id) = 0;
    virtual tresult PLUGIN_API performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult PLUGIN_API endEdit(ParamID id) = 0;
    virtual tresult PLUGIN_API restartComponent(int32 flags) = 0;

    static constexpr Uid iid = MakeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);

  protected:
    ~IComponentHandler() = default;
};

// Parameters as a host and a generic editor see them, and the editor view.
class IEditController : public IPluginBase {
  public:
    virtual tresult PLUGIN_API setComponentState(IBStream* state) = 0;
    virtual tresult PLUGIN_API setState(IBStream* state) = 0;
    virtual tresult PLUGIN_API getState(IBStream* state) = 0;
    virtual int32 PLUGIN_API getParameterCount() = 0;
    virtual tresult PLUGIN_API getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
    virtual tresult PLUGIN_API getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                     String128 string) = 0;
    virtual tresult PLUGIN_API getParamValueByString(ParamID id, TChar* string,
                                                     ParamValue& valueNormalized) = 0;
    virtual ParamValue PLUGIN_API normalizedParamToPlain(ParamID id,
                                                         ParamValue valueNormalized) = 0;
    virtual ParamValue PLUGIN_API plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
    virtual ParamValue PLUGIN_API getParamNormalized(ParamID id) = 0;
    virtual tresult PLUGIN_API setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult PLUGIN_API setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* PLUGIN_API createView(FIDString name) = 0;

    static constexpr Uid iid = MakeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);

  protected:
    ~IEditController() = default;
};

constexpr const char* kViewTypeEditor = "editor";

// One parameter's changes within a block: points at sample offsets.
class IParamValueQueue : public FUnknown {
  public:
    virtual ParamID PLUGIN_API getParameterId() = 0;
    virtual int32 PLUGIN_API getPointCount() = 0;
    virtual tresult PLUGIN_API getPoint(int32 index, int32& sampleOffset, ParamValue& value) = 0;
    virtual tresult PLUGIN_API addPoint(int32 sampleOffset, ParamValue value, int32& index) = 0;

    static constexpr Uid iid = MakeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);

  protected:
    ~IParamValueQueue() = default;
};

// A block's queues, one per parameter that changed.
class IParameterChanges : public FUnknown {
  public:
    virtual int32 PLUGIN_API getParameterCount() = 0;
    virtual IParamValueQueue* PLUGIN_API getParameterData(int32 index) = 0;
    virtual IParamValueQueue* PLUGIN_API addParameterData(const ParamID& id, int32& index) = 0;

    static constexpr Uid iid = MakeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);

  protected:
    ~IParameterChanges() = default;
};

#if defined(_WIN64) || defined(__LP64__)
static_assert(sizeof(AudioBusBuffers) == 24);
static_assert(offsetof(AudioBusBuffers, channelBuffers64) == 16);
static_assert(sizeof(ProcessData) == 80);
static_assert(offsetof(ProcessData, inputs) == 24);
static_assert(offsetof(ProcessData, processContext) == 72);
static_assert(offsetof(ProcessSetup, sampleRate) == 16);
#elif defined(_WIN32)
static_assert(sizeof(AudioBusBuffers) == 24);
static_assert(offsetof(AudioBusBuffers, channelBuffers64) == 16);
static_assert(sizeof(ProcessData) == 48);
static_assert(offsetof(ProcessSetup, sampleRate) == 16);
#endif
static_assert(sizeof(BusInfo) == 276);
static_assert(sizeof(RoutingInfo) == 12);
static_assert(offsetof(ParameterInfo, stepCount) == 772);
static_assert(offsetof(ParameterInfo, defaultNormalizedValue) == 776);
static_assert(sizeof(ParameterInfo) == 792);

}  // namespace vst3
