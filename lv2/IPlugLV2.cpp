#include "lv2/IPlugLV2.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "framework/ChunkCodec.h"
#include "lv2/LV2PluginFactory.h"

namespace {

IPlugLV2* FromHandle(LV2_Handle instance) {
    return static_cast<IPlugLV2*>(instance);
}

// Runs body(plug) with the plug-in mutex held, letting no exception reach
// the host: the shape of the callbacks outside the audio thread.
template <typename Body>
void GuardedHostCall(LV2_Handle instance, Body body) {
    IPlugLV2* plug = FromHandle(instance);
    if (!plug)
        return;
    try {
        {
            IPlugBase::Lock lock(plug->GetMutex());
            body(*plug);
        }
        // A costly change the call caused is made now, the mutex free.
        plug->RunPendingChanges();
    } catch (...) {
    }
}

}  // namespace

IPlugLV2::IPlugLV2(const IPlugConfig& config) : IPlugAudio(config) {
    mAudioIn.assign(static_cast<std::size_t>(NInChannels()), nullptr);
    mAudioOut.assign(static_cast<std::size_t>(NOutChannels()), nullptr);
    mControls.assign(static_cast<std::size_t>(NParams()), nullptr);
    mSeen.assign(static_cast<std::size_t>(NParams()), std::nanf(""));
    // Every port is always there; an unconnected one reads silence and
    // writes nowhere.
    SetInputConnections(0, NInChannels(), true);
    SetOutputConnections(0, NOutChannels(), true);
    SetMaxBlockSize(kDefaultBlockFrames);
}

IPlugLV2::~IPlugLV2() {
    mState.Clear();
}

int IPlugLV2::ParameterOfPort(std::uint32_t port) const {
    const std::uint32_t first = ControlPortOf(0);
    if (port < first || port >= first + static_cast<std::uint32_t>(NParams()))
        return -1;
    return static_cast<int>(port - first);
}

// --- Host-facing operations -----------------------------------------------------

void IPlugLV2::BeginParameterGesture(int index) {
    if (mUi.touch && index >= 0 && index < NParams())
        mUi.touch->touch(mUi.touch->handle, ControlPortOf(index), true);
}

void IPlugLV2::EndParameterGesture(int index) {
    if (mUi.touch && index >= 0 && index < NParams())
        mUi.touch->touch(mUi.touch->handle, ControlPortOf(index), false);
}

void IPlugLV2::ReportParameterToHost(int index, double) {
    const IParameter* param = GetParam(index);
    if (!mUi.write || !param)
        return;
    const float value = static_cast<float>(param->Value());
    mUi.write(mUi.controller, ControlPortOf(index), sizeof(value), 0, &value);
}

void IPlugLV2::SetParameterFromEditor(int index, double normalised) {
    if (!mUi.write) {
        IPlugAudio::SetParameterFromEditor(index, normalised);
        return;
    }
    Lock lock(GetMutex());
    IParameter* param = GetParam(index);
    if (!param)
        return;
    param->SetFromNormalised(normalised);
    ReportParameterToHost(index, normalised);
    if (IEditor* editor = GetEditor())
        editor->SetEditorParameter(index, param->Value(), false);
}

void IPlugLV2::SetParameterFromHost(int index, double value) {
    Lock lock(GetMutex());
    IParameter* param = GetParam(index);
    if (!param || std::isnan(value))
        return;
    if (std::isinf(value))
        value = value > 0 ? param->Maximum() : param->Minimum();
    param->SetClamped(value);
    if (IEditor* editor = GetEditor())
        editor->SetEditorParameter(index, param->Value(), false);
}

void IPlugLV2::GetTimeSignature(int* numerator, int* denominator) {
    if (numerator)
        *numerator = 4;
    if (denominator)
        *denominator = 4;
}

void IPlugLV2::GetTransportInfo(ITimeInfo* info) {
    if (info)
        *info = ITimeInfo{};
}

// --- The descriptor ------------------------------------------------------------

const LV2_Descriptor* IPlugLV2::Descriptor() {
    static const LV2_Descriptor descriptor = {kUri, &Instantiate, &ConnectPort, &Activate,
                                              &Run, &Deactivate,  &Cleanup,     &ExtensionData};
    return &descriptor;
}

void IPlugLV2::TakeHostFeatures(double rate, const LV2_Feature* const* features) {
    mMap = static_cast<LV2_URID_Map*>(const_cast<void*>(FindFeature(features, LV2_URID__map)));
    if (mMap) {
        mChunkType = mMap->map(mMap->handle, LV2_ATOM__Chunk);
        mStateKey = mMap->map(mMap->handle, kStateKeyUri);
    }
    mSchedule =
        static_cast<const LV2_Worker_Schedule*>(FindFeature(features, LV2_WORKER__schedule));
    // Costly changes are prepared aside: on the worker where the host has
    // one, otherwise on the plug-in's own thread.
    StartDeferringChanges(mSchedule == nullptr);

    int maxBlock = 0;
    const auto* options =
        static_cast<const LV2_Options_Option*>(FindFeature(features, LV2_OPTIONS__options));
    if (options && mMap) {
        const LV2_URID maxKey = mMap->map(mMap->handle, LV2_BUF_SIZE__maxBlockLength);
        const LV2_URID intType = mMap->map(mMap->handle, LV2_ATOM__Int);
        for (const LV2_Options_Option* o = options; o->key; ++o) {
            if (o->key == maxKey && o->type == intType && o->size == sizeof(std::int32_t) &&
                o->value)
                maxBlock = *static_cast<const std::int32_t*>(o->value);
        }
    }
    if (maxBlock > 0)
        SetMaxBlockSize(maxBlock);

    // What a VST 2 host does on opening an instance and telling it the rate:
    // every parameter applied, then a reset. The draws of noise that come
    // with them are the same, so the same settings give the same responses.
    ResetAllParameters();
    if (std::isfinite(rate) && rate > 0.0)
        SetSampleRate(rate);
    OnReset();
}

LV2_Handle IPlugLV2::Instantiate(const LV2_Descriptor*, double rate, const char*,
                                 const LV2_Feature* const* features) {
    try {
        std::unique_ptr<IPlugLV2> plug(CreateLV2PluginInstance());
        if (!plug)
            return nullptr;
        {
            Lock lock(plug->GetMutex());
            plug->TakeHostFeatures(rate, features);
        }
        plug->RunPendingChanges();
        return plug.release();
    } catch (...) {
        return nullptr;
    }
}

void IPlugLV2::ConnectPort(LV2_Handle instance, std::uint32_t port, void* data) {
    IPlugLV2* plug = FromHandle(instance);
    if (!plug)
        return;
    // No mutex: hosts connect ports between runs, and each pointer is read
    // only by run.
    const std::uint32_t nIn = static_cast<std::uint32_t>(plug->NInChannels());
    const std::uint32_t nOut = static_cast<std::uint32_t>(plug->NOutChannels());
    if (port < nIn) {
        plug->mAudioIn[port] = static_cast<float*>(data);
    } else if (port < nIn + nOut) {
        plug->mAudioOut[port - nIn] = static_cast<float*>(data);
    } else if (const int index = plug->ParameterOfPort(port); index >= 0) {
        plug->mControls[static_cast<std::size_t>(index)] = static_cast<const float*>(data);
    }
}

void IPlugLV2::Activate(LV2_Handle instance) {
    GuardedHostCall(instance, [](IPlugLV2& plug) {
        plug.OnActivation(true);
        plug.OnReset();
        plug.mHasRun = false;
    });
}

void IPlugLV2::Deactivate(LV2_Handle instance) {
    GuardedHostCall(instance, [](IPlugLV2& plug) { plug.OnActivation(false); });
}

void IPlugLV2::Cleanup(LV2_Handle instance) {
    IPlugLV2* plug = FromHandle(instance);
    if (!plug)
        return;
    try {
        {
            Lock lock(plug->GetMutex());
            if (IEditor* editor = plug->GetEditor())
                editor->CloseEditorWindow();
        }
        plug->WaitForPreparedChanges();
        delete plug;
    } catch (...) {
    }
}

void IPlugLV2::Run(LV2_Handle instance, std::uint32_t frames) {
    GuardedAudioCall(FromHandle(instance), [frames](IPlugLV2& plug) {
        // What the ports hold at the first run after activation is how the
        // host set the instance up before playing (a session loaded, an
        // offline render's settings): made at once, as a VST 2 host's
        // settings before it resumes are. Later changes are prepared aside.
        plug.MakeChangesAtOnce(!plug.mHasRun);
        plug.mHasRun = true;
        plug.ReadControlPorts();
        plug.MakeChangesAtOnce(false);
        const int n = static_cast<int>(std::min<std::uint32_t>(frames, INT32_MAX));
        plug.ProcessFloat(plug.mAudioIn.data(), plug.mAudioOut.data(), n, false);
    });
}

const void* IPlugLV2::FindFeature(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f && *f; ++f) {
        if ((*f)->URI && !std::strcmp((*f)->URI, uri))
            return (*f)->data;
    }
    return nullptr;
}

// --- Control ports -------------------------------------------------------------

void IPlugLV2::ReadControlPorts() {
    for (int i = 0; i < NParams(); ++i) {
        const float* port = mControls[static_cast<std::size_t>(i)];
        if (!port)
            continue;
        const float v = *port;
        float& seen = mSeen[static_cast<std::size_t>(i)];
        if (v == seen || (std::isnan(v) && std::isnan(seen)))
            continue;
        seen = v;
        // NaN keeps the previous value; infinities go to the ends.
        if (std::isnan(v))
            continue;
        IParameter* param = GetParam(i);
        const double before = param->Value();
        param->SetClamped(PortTarget(i, v));
        if (param->Value() != before)
            ApplyParameter(i);
    }
}

double IPlugLV2::PortTarget(int index, float v) {
    const IParameter* param = GetParam(index);
    if (std::isinf(v))
        return v > 0 ? param->Maximum() : param->Minimum();
    return static_cast<double>(v);
}

bool IPlugLV2::SaveStateWithPendingPorts() {
    // A value the host has written to a control port that no run has read
    // yet (a host that sets a port and saves before it processes, or whose
    // engine is stopped) is the value the user sees: the chunk carries that
    // one. The parameters are put back afterwards, so the next run still
    // finds the change and applies it as usual.
    struct Held {
        int index;
        double value;
    };
    std::vector<Held> held;
    for (int i = 0; i < NParams(); ++i) {
        const float* port = mControls[static_cast<std::size_t>(i)];
        if (!port)
            continue;
        const float v = *port;
        if (v == mSeen[static_cast<std::size_t>(i)] || std::isnan(v))
            continue;
        IParameter* param = GetParam(i);
        held.push_back({i, param->Value()});
        param->SetClamped(PortTarget(i, v));
    }
    const bool ok = ChunkCodec::Save(*this, mState);
    for (const Held& h : held)
        GetParam(h.index)->SetClamped(h.value);
    return ok;
}

void IPlugLV2::ApplyParameter(int index) {
    OnParameterChanged(index);
}

bool IPlugLV2::ScheduleDeferredWork(const DeferredChange& change) {
    return mSchedule && mSchedule->schedule_work(mSchedule->handle, sizeof(change), &change) ==
                            LV2_WORKER_SUCCESS;
}

// --- Worker --------------------------------------------------------------------

// What the worker hands back: the change and whether it was prepared.
struct IPlugLV2::WorkResult {
    DeferredChange change;
    bool prepared;
};

LV2_Worker_Status IPlugLV2::Work(LV2_Handle instance, LV2_Worker_Respond_Function respond,
                                 LV2_Worker_Respond_Handle handle, std::uint32_t size,
                                 const void* data) {
    IPlugLV2* plug = FromHandle(instance);
    if (!plug || !data || size != sizeof(DeferredChange))
        return LV2_WORKER_ERR_UNKNOWN;
    try {
        WorkResult result{};
        std::memcpy(&result.change, data, sizeof(result.change));
        result.prepared = plug->RunDeferredWork(result.change);
        return respond(handle, sizeof(result), &result);
    } catch (...) {
        return LV2_WORKER_ERR_UNKNOWN;
    }
}

LV2_Worker_Status IPlugLV2::WorkResponse(LV2_Handle instance, std::uint32_t size,
                                         const void* body) {
    if (!body || size != sizeof(WorkResult))
        return LV2_WORKER_ERR_UNKNOWN;
    GuardedAudioCall(FromHandle(instance), [body](IPlugLV2& plug) {
        WorkResult result{};
        std::memcpy(&result, body, sizeof(result));
        plug.DeferredWorkDone(result.change, result.prepared);
    });
    return LV2_WORKER_SUCCESS;
}

// --- State ---------------------------------------------------------------------

LV2_State_Status IPlugLV2::StateRefusal(const IPlugLV2* plug, bool hostFunction) {
    if (!plug || !hostFunction)
        return LV2_STATE_ERR_UNKNOWN;
    // The chunk is stored under a URID: without the host's map there is none.
    return plug->mMap ? LV2_STATE_SUCCESS : LV2_STATE_ERR_NO_FEATURE;
}

LV2_State_Status IPlugLV2::StateSave(LV2_Handle instance, LV2_State_Store_Function store,
                                     LV2_State_Handle handle, std::uint32_t,
                                     const LV2_Feature* const*) {
    IPlugLV2* plug = FromHandle(instance);
    if (const LV2_State_Status refused = StateRefusal(plug, store != nullptr))
        return refused;
    try {
        Lock lock(plug->GetMutex());
        // The same chunk as the VST 2 module's effGetChunk: header, then
        // the parameters' values.
        if (!plug->SaveStateWithPendingPorts())
            return LV2_STATE_ERR_UNKNOWN;
        return store(handle, plug->mStateKey, plug->mState.Data(),
                     static_cast<std::size_t>(plug->mState.Size()), plug->mChunkType,
                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status IPlugLV2::StateRestore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                                        LV2_State_Handle handle, std::uint32_t,
                                        const LV2_Feature* const*) {
    IPlugLV2* plug = FromHandle(instance);
    if (const LV2_State_Status refused = StateRefusal(plug, retrieve != nullptr))
        return refused;
    try {
        std::size_t size = 0;
        std::uint32_t type = 0, flags = 0;
        const void* data = retrieve(handle, plug->mStateKey, &size, &type, &flags);
        if (!data)
            return LV2_STATE_ERR_NO_PROPERTY;
        if (type != plug->mChunkType || size > static_cast<std::size_t>(INT32_MAX))
            return LV2_STATE_ERR_BAD_TYPE;
        LV2_State_Status status;
        {
            Lock lock(plug->GetMutex());
            status = plug->RestoreChunk(data, size);
        }
        // The restored Sustain is synthesised now, the mutex free.
        plug->RunPendingChanges();
        return status;
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

LV2_State_Status IPlugLV2::RestoreChunk(const void* data, std::size_t size) {
    // Only a whole chunk of ours is loaded: one cut short would leave the
    // parameters it lacks at zero.
    switch (ChunkCodec::Load(*this, mState, data, size, ChunkCodec::kLv2)) {
        case ChunkCodec::Result::kLoaded:
            break;
        case ChunkCodec::Result::kRefused:
            return LV2_STATE_ERR_BAD_TYPE;
        default:
            return LV2_STATE_ERR_UNKNOWN;
    }
    // What the control ports hold now is older than the state: only a value
    // the host writes from here on overrides it.
    for (int i = 0; i < NParams(); ++i) {
        if (const float* port = mControls[static_cast<std::size_t>(i)])
            mSeen[static_cast<std::size_t>(i)] = *port;
    }
    return LV2_STATE_SUCCESS;
}

const void* IPlugLV2::ExtensionData(const char* uri) {
    static const LV2_State_Interface state = {&StateSave, &StateRestore};
    static const LV2_Worker_Interface worker = {&Work, &WorkResponse, nullptr};
    if (!uri)
        return nullptr;
    if (!std::strcmp(uri, LV2_STATE__interface))
        return &state;
    if (!std::strcmp(uri, LV2_WORKER__interface))
        return &worker;
    return nullptr;
}
