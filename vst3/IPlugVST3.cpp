#include "vst3/IPlugVST3.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "framework/ChunkCodec.h"
#include "framework/TextUtil.h"
#include "vst3/Vst3PlugView.h"
#include "vst3/Vst3Text.h"

using namespace vst3;

namespace {

// A chunk larger than this is no chunk of ours; reading stops there.
constexpr std::size_t kMaxChunkBytes = 1 << 16;
// At most this many queues are read per block, whatever a host claims.
constexpr int32 kMaxQueues = 4096;

int ChannelsOf(SpeakerArrangement arrangement) {
    switch (arrangement) {
        case kArrMono:
            return 1;
        case kArrStereo:
            return 2;
        default:
            return 0;
    }
}

SpeakerArrangement ArrangementOf(int channels) {
    return channels == 1 ? kArrMono : kArrStereo;
}

// A parameter's normalised mapping without touching the parameter itself: a
// scratch parameter of the same range and shape does the arithmetic, so the
// mapping stays IParameter's own.
class Mapping {
  public:
    explicit Mapping(const IParameter& param) {
        mScratch.InitContinuous(param.Name(), param.Label(), param.Default(), param.Minimum(),
                                param.Maximum(), param.Step(), param.Shape());
    }
    double Plain(double normalised) {
        mScratch.SetFromNormalised(normalised);
        return mScratch.Value();
    }
    double Normalised(double plain) {
        mScratch.SetClamped(plain);
        return mScratch.GetNormalised();
    }
    double DefaultNormalised() const { return mScratch.GetNormalised(); }

  private:
    IParameter mScratch;
};

}  // namespace

IPlugVST3::IPlugVST3(const IPlugConfig& config) : IPlugAudio(config) {
    SetInputConnections(0, NInChannels(), true);
    SetOutputConnections(0, NOutChannels(), true);
    SetMaxBlockSize(kDefaultBlockFrames);
}

IPlugVST3::~IPlugVST3() {
    if (mHandler)
        mHandler->release();
    mState.Clear();
}

// --- FUnknown -----------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::queryInterface(const TUID id, void** obj) {
    if (!obj)
        return kInvalidArgument;
    void* found = nullptr;
    if (FUnknown::iid.Matches(id) || IPluginBase::iid.Matches(id) || IComponent::iid.Matches(id))
        found = static_cast<IComponent*>(this);
    else if (IAudioProcessor::iid.Matches(id))
        found = static_cast<IAudioProcessor*>(this);
    else if (IEditController::iid.Matches(id))
        found = static_cast<IEditController*>(this);
    else if (IProcessContextRequirements::iid.Matches(id))
        found = static_cast<IProcessContextRequirements*>(this);
    *obj = found;
    if (!found)
        return kNoInterface;
    addRef();
    return kResultOk;
}

uint32 PLUGIN_API IPlugVST3::addRef() {
    return ++mRefs;
}

uint32 PLUGIN_API IPlugVST3::release() {
    const uint32 left = --mRefs;
    if (left != 0)
        return left;
    try {
        // As VST 2's effClose: the preparation thread is ended and a change
        // being prepared elsewhere waited for, and an editor still open is
        // closed while the whole plug-in is alive, its thread being about to
        // call into it.
        WaitForPreparedChanges();
        {
            Lock lock(GetMutex());
            if (IEditor* editor = GetEditor())
                editor->CloseEditorWindow();
        }
        delete this;
    } catch (...) {
    }
    return 0;
}

const IParameter* IPlugVST3::ParameterOf(ParamID id) const {
    return id < static_cast<ParamID>(NParams()) ? GetParam(static_cast<int>(id)) : nullptr;
}

// --- IPluginBase ------------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::initialize(FUnknown*) {
    try {
        // The component and the controller are this one object: a host may
        // initialise it as either, or both.
        if (mInitialized)
            return kResultOk;
        // VST 3 hosts offer plug-ins no worker: a Sustain automated on the
        // audio thread is prepared on the plug-in's own.
        StartDeferringChanges(true);
        {
            Lock lock(GetMutex());
            ResetAllParameters();
            mInitialized = true;
        }
        RunPendingChanges();
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API IPlugVST3::terminate() {
    try {
        Lock lock(GetMutex());
        if (IEditor* editor = GetEditor())
            editor->CloseEditorWindow();
        if (mHandler)
            mHandler->release();
        mHandler = nullptr;
        mInitialized = false;
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

// --- IComponent -------------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::getControllerClassId(TUID) {
    return kNotImplemented;
}

tresult PLUGIN_API IPlugVST3::setIoMode(IoMode) {
    return kNotImplemented;
}

int32 PLUGIN_API IPlugVST3::getBusCount(MediaType type, BusDirection dir) {
    return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult PLUGIN_API IPlugVST3::getBusInfo(MediaType type, BusDirection dir, int32 index,
                                         BusInfo& bus) {
    if (type != kAudio || index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    Lock lock(GetMutex());
    bus = BusInfo{};
    bus.mediaType = kAudio;
    bus.direction = dir;
    bus.channelCount = ChannelsOf(dir == kInput ? mInputArrangement : mOutputArrangement);
    Utf8ToUtf16(bus.name, 128, dir == kInput ? "Input" : "Output");
    bus.busType = kMain;
    bus.flags = BusInfo::kDefaultActive;
    return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getRoutingInfo(RoutingInfo&, RoutingInfo&) {
    return kNotImplemented;  // one bus each way: nothing to relate
}

tresult PLUGIN_API IPlugVST3::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
    if (type != kAudio || index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    return kResultOk;
}

tresult PLUGIN_API IPlugVST3::setActive(TBool state) {
    try {
        {
            Lock lock(GetMutex());
            mActive = state != 0;
            OnActivation(mActive);
            if (mActive)
                OnReset();
        }
        RunPendingChanges();
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

tresult IPlugVST3::GetComponentChunk(IBStream* stream) {
    if (!stream)
        return kInvalidArgument;
    try {
        Lock lock(GetMutex());
        // The VST 2 module's effGetChunk: header, then the parameters' values.
        if (!ChunkCodec::Save(*this, mState))
            return kResultFalse;
        int32 written = 0;
        if (stream->write(mState.Data(), mState.Size(), &written) != kResultOk ||
            written != mState.Size())
            return kResultFalse;
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

bool IPlugVST3::ReadStream(IBStream* stream, std::vector<unsigned char>& bytes) {
    unsigned char buffer[512];
    while (bytes.size() < kMaxChunkBytes) {
        int32 got = 0;
        if (stream->read(buffer, sizeof(buffer), &got) != kResultOk || got <= 0)
            break;
        bytes.insert(bytes.end(), buffer,
                     buffer + std::min(got, static_cast<int32>(sizeof(buffer))));
    }
    return !bytes.empty();
}

bool IPlugVST3::LoadChunk(const std::vector<unsigned char>& bytes) {
    // As the VST 2 module reads a chunk: the header when there is one, then
    // the values; but only a whole chunk: one cut short would leave the
    // parameters it lacks at zero.
    return ChunkCodec::Load(*this, mState, bytes.data(), bytes.size(), ChunkCodec::kVst3) ==
           ChunkCodec::Result::kLoaded;
}

tresult IPlugVST3::SetComponentChunk(IBStream* stream) {
    if (!stream)
        return kInvalidArgument;
    try {
        std::vector<unsigned char> bytes;
        if (!ReadStream(stream, bytes))
            return kResultFalse;
        bool loaded;
        {
            Lock lock(GetMutex());
            loaded = LoadChunk(bytes);
        }
        // A restored Sustain is synthesised now, the mutex free.
        RunPendingChanges();
        return loaded ? kResultOk : kResultFalse;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API IPlugVST3::setComponentState(IBStream* stream) {
    if (!stream)
        return kInvalidArgument;
    try {
        std::vector<unsigned char> bytes;
        if (!ReadStream(stream, bytes))
            return kResultFalse;
        bool loaded = true;
        {
            Lock lock(GetMutex());
            // Hosts hand the controller the chunk the component has just
            // loaded: the same values are not synthesised a second time.
            StateChunk now;
            const bool same = ChunkCodec::Save(*this, now) &&
                              now.Size() == static_cast<int>(bytes.size()) &&
                              std::memcmp(now.Data(), bytes.data(), bytes.size()) == 0;
            if (!same)
                loaded = LoadChunk(bytes);
        }
        RunPendingChanges();
        return loaded ? kResultOk : kResultFalse;
    } catch (...) {
        return kInternalError;
    }
}

tresult IPlugVST3::SetControllerState(IBStream* stream) {
    return stream ? kResultOk : kInvalidArgument;
}

// --- IAudioProcessor -----------------------------------------------------------

tresult PLUGIN_API IPlugVST3::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                 SpeakerArrangement* outputs, int32 numOuts) {
    if (!inputs || !outputs || numIns != 1 || numOuts != 1)
        return kResultFalse;
    try {
        Lock lock(GetMutex());
        const int in = ChannelsOf(inputs[0]), out = ChannelsOf(outputs[0]);
        if (mActive || in == 0 || in != out || !LegalIO(in, out))
            return kResultFalse;
        // As VST 2's effSetSpeakerArrangement: the first pins connected, the
        // rest let go.
        SetInputConnections(0, in, true);
        SetInputConnections(in, NInChannels() - in, false);
        SetOutputConnections(0, out, true);
        SetOutputConnections(out, NOutChannels() - out, false);
        mInputArrangement = ArrangementOf(in);
        mOutputArrangement = ArrangementOf(out);
        return kResultTrue;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API IPlugVST3::getBusArrangement(BusDirection dir, int32 index,
                                                SpeakerArrangement& arr) {
    if (index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    Lock lock(GetMutex());
    arr = dir == kInput ? mInputArrangement : mOutputArrangement;
    return kResultOk;
}

tresult PLUGIN_API IPlugVST3::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 || symbolicSampleSize == kSample64 ? kResultTrue
                                                                              : kResultFalse;
}

uint32 PLUGIN_API IPlugVST3::getLatencySamples() {
    return static_cast<uint32>(std::max(GetLatency(), 0));
}

tresult PLUGIN_API IPlugVST3::setupProcessing(ProcessSetup& setup) {
    if (!std::isfinite(setup.sampleRate) || setup.sampleRate <= 0.0 ||
        setup.maxSamplesPerBlock < 1 || canProcessSampleSize(setup.symbolicSampleSize) != kResultOk)
        return kResultFalse;
    try {
        {
            Lock lock(GetMutex());
            if (mActive)
                return kResultFalse;
            // What VST 2's effSetSampleRate and effSetBlockSize do, with one
            // reset for both.
            SetSampleRate(setup.sampleRate);
            SetMaxBlockSize(setup.maxSamplesPerBlock);
            OnReset();
        }
        RunPendingChanges();
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API IPlugVST3::setProcessing(TBool) {
    return kResultOk;
}

uint32 PLUGIN_API IPlugVST3::getTailSamples() {
    try {
        Lock lock(GetMutex());
        return static_cast<uint32>(std::max(TailSamples(), 0));
    } catch (...) {
        return kNoTail;
    }
}

tresult PLUGIN_API IPlugVST3::process(ProcessData& data) {
    tresult result = kInternalError;
    GuardedAudioCall(this, [&](IPlugVST3& plug) { result = plug.ProcessLocked(data); });
    return result;
}

// Where each parameter queue of a process call stands: the points not yet
// applied, in the order the host gave them (by offset, as the format asks).
class IPlugVST3::ChangeCursor {
  public:
    ChangeCursor(IPlugVST3& plug, IParameterChanges* changes) : mPlug(plug) {
        if (!changes)
            return;
        const int32 count = std::min(changes->getParameterCount(), kMaxQueues);
        for (int32 i = 0; i < count; ++i) {
            IParamValueQueue* queue = changes->getParameterData(i);
            const int32 points = queue ? queue->getPointCount() : 0;
            if (points <= 0)
                continue;
            int32 at = 0;
            double value = 0.0;
            if (mCount < kMaxSplitQueues) {
                mQueues[mCount++] = {queue, points, 0};
            } else if (queue->getPoint(points - 1, at, value) == kResultOk) {
                // Beyond what is followed point by point: the value the
                // block ends on, from its start.
                Apply(queue->getParameterId(), value);
            }
        }
    }

    // Applies every point due at or before `offset`. [mutex held]
    void ApplyUpTo(int32 offset) {
        for (int k = 0; k < mCount; ++k) {
            Followed& f = mQueues[k];
            for (; f.next < f.points; ++f.next) {
                int32 at = 0;
                double value = 0.0;
                if (f.queue->getPoint(f.next, at, value) != kResultOk)
                    continue;  // a point the host cannot give is no point
                if (at > offset)
                    break;
                Apply(f.queue->getParameterId(), value);
            }
        }
    }

    // The offset of the next point still to come after `offset`, or `end`.
    int32 NextAfter(int32 offset, int32 end) const {
        int32 next = end;
        for (int k = 0; k < mCount; ++k) {
            const Followed& f = mQueues[k];
            int32 at = 0;
            double value = 0.0;
            if (f.next < f.points && f.queue->getPoint(f.next, at, value) == kResultOk &&
                at > offset)
                next = std::min(next, at);
        }
        return next;
    }

    // Applies whatever is left, points at or past the block's end included.
    void ApplyAll() { ApplyUpTo(std::numeric_limits<int32>::max()); }

  private:
    struct Followed {
        IParamValueQueue* queue;
        int32 points;
        int32 next;
    };

    void Apply(ParamID id, double value) {
        // NaN and infinities are no value: the parameter keeps its own.
        if (std::isfinite(value))
            mPlug.ApplyNormalised(id, value);
    }

    IPlugVST3& mPlug;
    Followed mQueues[kMaxSplitQueues] = {};
    int mCount = 0;
};

template <typename Sample>
bool IPlugVST3::ProcessPiece(Sample** in, Sample** out, int start, int frames) {
    Sample* pieceIn[2] = {};
    Sample* pieceOut[2] = {};
    const int nIn = ChannelsOf(mInputArrangement), nOut = ChannelsOf(mOutputArrangement);
    for (int c = 0; c < nIn && c < 2; ++c)
        pieceIn[c] = in[c] + start;
    for (int c = 0; c < nOut && c < 2; ++c)
        pieceOut[c] = out[c] + start;
    if (mBypass) {
        CopyThrough(pieceIn, pieceOut, frames);
        return false;
    }
    if constexpr (sizeof(Sample) == sizeof(double))
        return ProcessDouble(pieceIn, pieceOut, frames);
    else
        return ProcessFloat(pieceIn, pieceOut, frames, false);
}

void IPlugVST3::ApplyNormalised(ParamID id, double value) {
    if (id == kBypassId) {
        mBypass = value >= 0.5;
        return;
    }
    if (id >= static_cast<ParamID>(NParams()))
        return;
    const int index = static_cast<int>(id);
    IParameter* param = GetParam(index);
    const double before = param->Value();
    param->SetFromNormalised(value);
    // A value the parameter already holds (the editor's own edit coming
    // back through the host) is not made again.
    if (param->Value() != before)
        OnParameterChanged(index);
}

template <typename Sample>
void IPlugVST3::CopyThrough(Sample** in, Sample** out, int frames) {
    const int nIn = ChannelsOf(mInputArrangement), nOut = ChannelsOf(mOutputArrangement);
    for (int c = 0; c < nOut; ++c) {
        const Sample* src = in[std::min(c, nIn - 1)];
        if (out[c] != src)
            std::memmove(out[c], src, sizeof(Sample) * static_cast<std::size_t>(frames));
    }
}

tresult IPlugVST3::ProcessLocked(ProcessData& data) {
    ChangeCursor changes(*this, data.inputParameterChanges);
    if (data.numSamples <= 0) {
        // A flush of parameter changes (no audio), or a call with none to
        // make: the changes all the same.
        changes.ApplyAll();
        return data.numSamples == 0 ? kResultOk : kInvalidArgument;
    }
    const bool wide = data.symbolicSampleSize == kSample64;
    if (!wide && data.symbolicSampleSize != kSample32) {
        changes.ApplyAll();
        return kInvalidArgument;
    }
    const int nIn = ChannelsOf(mInputArrangement), nOut = ChannelsOf(mOutputArrangement);
    // The union's two members share their storage: either pointer array
    // stands for both.
    auto channelsPresent = [](const AudioBusBuffers* bus, int needed) {
        if (!bus || bus->numChannels < needed || !bus->channelBuffers32)
            return false;
        for (int c = 0; c < needed; ++c) {
            if (!bus->channelBuffers32[c])
                return false;
        }
        return true;
    };
    AudioBusBuffers* out = data.numOutputs >= 1 ? data.outputs : nullptr;
    const AudioBusBuffers* in = data.numInputs >= 1 ? data.inputs : nullptr;
    const int frames = data.numSamples;
    if (!channelsPresent(out, nOut) || !channelsPresent(in, nIn))
        changes.ApplyAll();
    if (!channelsPresent(out, nOut))
        return kInvalidArgument;
    if (!channelsPresent(in, nIn)) {
        // No input to read: silence out rather than whatever the buffers held.
        for (int c = 0; c < nOut; ++c) {
            if (wide)
                std::fill(out->channelBuffers64[c], out->channelBuffers64[c] + frames, 0.0);
            else
                std::fill(out->channelBuffers32[c], out->channelBuffers32[c] + frames, 0.0f);
        }
        return kInvalidArgument;
    }
    // The block in pieces between the points of the parameter queues, each
    // point in effect from its own sample on.
    bool silent = true;
    for (int32 start = 0; start < frames;) {
        changes.ApplyUpTo(start);
        const int32 end = changes.NextAfter(start, frames);
        silent =
            (wide
                 ? ProcessPiece(in->channelBuffers64, out->channelBuffers64, start, end - start)
                 : ProcessPiece(in->channelBuffers32, out->channelBuffers32, start, end - start)) &&
            silent;
        start = end;
    }
    changes.ApplyAll();
    // Silence out, once the tail has died away, is said to the host, which
    // may then skip what follows.
    out->silenceFlags = silent ? (std::uint64_t{1} << nOut) - 1 : 0;
    return kResultOk;
}

// --- IEditController -----------------------------------------------------------

int32 PLUGIN_API IPlugVST3::getParameterCount() {
    return NParams() + 1;
}

tresult PLUGIN_API IPlugVST3::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    if (paramIndex < 0 || paramIndex > NParams())
        return kInvalidArgument;
    try {
        Lock lock(GetMutex());
        info = ParameterInfo{};
        info.unitId = kRootUnitId;
        if (paramIndex == NParams()) {
            info.id = kBypassId;
            Utf8ToUtf16(info.title, 128, "Bypass");
            Utf8ToUtf16(info.shortTitle, 128, "Bypass");
            info.stepCount = 1;
            info.defaultNormalizedValue = 0.0;
            info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
            return kResultOk;
        }
        const IParameter& param = *GetParam(paramIndex);
        info.id = static_cast<ParamID>(paramIndex);
        Utf8ToUtf16(info.title, 128, param.Name());
        Utf8ToUtf16(info.shortTitle, 128, param.Name());
        Utf8ToUtf16(info.units, 128, param.Label());
        // A continuous parameter takes any value in its range, as under VST 2.
        info.stepCount = param.Kind() == IParameter::kKindContinuous
                             ? 0
                             : static_cast<int32>(
                                   std::lround((param.Maximum() - param.Minimum()) / param.Step()));
        info.defaultNormalizedValue = Mapping(param).DefaultNormalised();
        info.flags = ParameterInfo::kCanAutomate;
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API IPlugVST3::getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                    String128 string) {
    if (!string || !std::isfinite(valueNormalized))
        return kInvalidArgument;
    try {
        char text[IParameter::kTextLength] = {};
        if (id == kBypassId) {
            CopyText(text, sizeof(text), valueNormalized >= 0.5 ? "On" : "Off");
        } else {
            Lock lock(GetMutex());
            const IParameter* param = ParameterOf(id);
            if (!param)
                return kInvalidArgument;
            param->FormatForHost(valueNormalized, true, text, sizeof(text), true);
        }
        Utf8ToUtf16(string, 128, text);
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API IPlugVST3::getParamValueByString(ParamID id, TChar* string,
                                                    ParamValue& valueNormalized) {
    if (!string)
        return kInvalidArgument;
    try {
        char text[128];
        Utf16ToUtf8(text, sizeof(text), string, 128);
        if (id == kBypassId) {
            if (!std::strcmp(text, "On") || !std::strcmp(text, "1")) {
                valueNormalized = 1.0;
            } else if (!std::strcmp(text, "Off") || !std::strcmp(text, "0")) {
                valueNormalized = 0.0;
            } else {
                return kResultFalse;
            }
            return kResultOk;
        }
        Lock lock(GetMutex());
        const IParameter* param = ParameterOf(id);
        if (!param)
            return kInvalidArgument;
        double plain = 0.0;
        if (!param->ValueFromText(text, &plain) || std::isnan(plain))
            return kResultFalse;
        valueNormalized = Mapping(*param).Normalised(plain);
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

ParamValue PLUGIN_API IPlugVST3::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    if (id == kBypassId)
        return valueNormalized >= 0.5 ? 1.0 : 0.0;
    try {
        Lock lock(GetMutex());
        const IParameter* param = ParameterOf(id);
        return param ? Mapping(*param).Plain(valueNormalized) : 0.0;
    } catch (...) {
        return 0.0;
    }
}

ParamValue PLUGIN_API IPlugVST3::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    if (id == kBypassId)
        return plainValue >= 0.5 ? 1.0 : 0.0;
    try {
        Lock lock(GetMutex());
        const IParameter* param = ParameterOf(id);
        return param ? Mapping(*param).Normalised(plainValue) : 0.0;
    } catch (...) {
        return 0.0;
    }
}

ParamValue PLUGIN_API IPlugVST3::getParamNormalized(ParamID id) {
    try {
        Lock lock(GetMutex());
        if (id == kBypassId)
            return mBypass ? 1.0 : 0.0;
        const IParameter* param = ParameterOf(id);
        return param ? param->GetNormalised() : 0.0;
    } catch (...) {
        return 0.0;
    }
}

tresult PLUGIN_API IPlugVST3::setParamNormalized(ParamID id, ParamValue value) {
    if (id != kBypassId && id >= static_cast<ParamID>(NParams()))
        return kInvalidArgument;
    if (std::isnan(value))
        return kResultFalse;
    try {
        {
            Lock lock(GetMutex());
            ApplyNormalised(id, value);
        }
        // A new Sustain is prepared here, on the host's UI thread, without
        // the mutex: the audio goes on meanwhile.
        RunPendingChanges();
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

tresult PLUGIN_API IPlugVST3::setComponentHandler(IComponentHandler* handler) {
    try {
        Lock lock(GetMutex());
        if (handler == mHandler)
            return kResultOk;
        if (handler)
            handler->addRef();
        if (mHandler)
            mHandler->release();
        mHandler = handler;
        return kResultOk;
    } catch (...) {
        return kInternalError;
    }
}

IPlugView* PLUGIN_API IPlugVST3::createView(FIDString name) {
    try {
        if (!name || std::strcmp(name, kViewTypeEditor) != 0)
            return nullptr;
        Lock lock(GetMutex());
        if (!GetEditor() || mView)
            return nullptr;
        auto* view = new (std::nothrow) Vst3PlugView(*this);
        mView = view;
        return view;
    } catch (...) {
        return nullptr;
    }
}

void IPlugVST3::ViewGone(const Vst3PlugView* view) {
    Lock lock(GetMutex());
    if (mView == view)
        mView = nullptr;
}

// --- Edits reported to the host -------------------------------------------------

void IPlugVST3::BeginParameterGesture(int index) {
    SendEdit(EditKind::kBegin, index, 0.0);
}

void IPlugVST3::ReportParameterToHost(int index, double normalised) {
    SendEdit(EditKind::kPerform, index, normalised);
}

void IPlugVST3::EndParameterGesture(int index) {
    SendEdit(EditKind::kEnd, index, 0.0);
}

void IPlugVST3::SendEdit(EditKind kind, int index, double value) {
    if (index < 0 || index >= NParams())
        return;
    const QueuedEdit edit{kind, static_cast<ParamID>(index), value};
    {
        std::lock_guard<std::mutex> queue(mEditLock);
        if (mRouteEdits && std::this_thread::get_id() != mUiThread) {
            mQueuedEdits.push_back(edit);
            return;
        }
    }
    Lock lock(GetMutex());
    if (!mHandler)
        return;
    switch (kind) {
        case EditKind::kBegin:
            mHandler->beginEdit(edit.id);
            break;
        case EditKind::kPerform:
            mHandler->performEdit(edit.id, edit.value);
            break;
        case EditKind::kEnd:
            mHandler->endEdit(edit.id);
            break;
    }
}

void IPlugVST3::RouteEditsThroughUiThread(bool route) {
    {
        std::lock_guard<std::mutex> queue(mEditLock);
        mRouteEdits = route;
        mUiThread = std::this_thread::get_id();
    }
    if (!route)
        DeliverQueuedEdits();
}

void IPlugVST3::DeliverQueuedEdits() {
    std::vector<QueuedEdit> edits;
    {
        std::lock_guard<std::mutex> queue(mEditLock);
        edits.swap(mQueuedEdits);
    }
    Lock lock(GetMutex());
    for (const QueuedEdit& edit : edits) {
        if (!mHandler)
            break;
        if (edit.kind == EditKind::kBegin)
            mHandler->beginEdit(edit.id);
        else if (edit.kind == EditKind::kPerform)
            mHandler->performEdit(edit.id, edit.value);
        else
            mHandler->endEdit(edit.id);
    }
}

void IPlugVST3::GetTimeSignature(int* numerator, int* denominator) {
    if (numerator)
        *numerator = 4;
    if (denominator)
        *denominator = 4;
}

void IPlugVST3::GetTransportInfo(ITimeInfo* info) {
    if (info)
        *info = ITimeInfo{};
}
