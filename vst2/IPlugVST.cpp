#include "vst2/IPlugVST.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "framework/ChunkCodec.h"
#include "framework/TextUtil.h"
#include "vst2/VendorCalls.h"

namespace {

constexpr VstIntPtr kIdentifyMagic = 0x4E764566;  // 'NvEf'
constexpr VstIntPtr kVstVersion = 2400;
constexpr VstIntPtr kCockosReply = static_cast<VstIntPtr>(std::uintptr_t{0xBEEF0000u});
constexpr VstIntPtr kCockosParamReply = 0xBEEF;
constexpr std::uint32_t kHasCockosExtensions = 1;
constexpr std::uint32_t kHasCockosViewAsConfig = 2;
// Upper bound on what we copy into a host's text buffer; our texts are far
// shorter and only their own length plus terminator is written.
constexpr std::size_t kHostText = 256;

}  // namespace

IPlugVST::IPlugVST(audioMasterCallback host, const IPlugConfig& config)
    : IPlugAudio(config), mHost(host) {
    mAEffect.magic = kEffectMagic;
    mAEffect.dispatcher = &VSTDispatcher;
    mAEffect.process = &VSTProcess;
    mAEffect.setParameter = &VSTSetParameter;
    mAEffect.getParameter = &VSTGetParameter;
    mAEffect.numPrograms = NPresets();
    mAEffect.numParams = NParams();
    mAEffect.numInputs = NInChannels();
    mAEffect.numOutputs = NOutChannels();
    mAEffect.flags = effFlagsCanReplacing | effFlagsProgramChunks | effFlagsCanDoubleReplacing;
    if (LegalIO(1, -1))
        mAEffect.flags |= effFlagsCanMono;
    mAEffect.initialDelay = GetLatency();
    mAEffect.ioRatio = 1.0f;
    mAEffect.object = this;
    mAEffect.uniqueID = GetUniqueID();
    mAEffect.version = GetVersionDecimal();
    mAEffect.processReplacing = &VSTProcessReplacing;
    mAEffect.processDoubleReplacing = &VSTProcessDoubleReplacing;

    InitArrangement(mInputArrangement, NInChannels());
    InitArrangement(mOutputArrangement, NOutChannels());

    SetInputConnections(0, NInChannels(), true);
    SetOutputConnections(0, NOutChannels(), true);
    SetMaxBlockSize(1024);
}

IPlugVST::~IPlugVST() {
    mState.Clear();
}

void IPlugVST::InitArrangement(VstSpeakerArrangement& arr, int channels) {
    std::memset(&arr, 0, sizeof(arr));
    arr.numChannels = channels;
    switch (channels) {
        case 0:
            arr.type = kSpeakerArrEmpty;
            break;
        case 1:
            arr.type = kSpeakerArrMono;
            break;
        case 2:
            arr.type = kSpeakerArrStereo;
            break;
        default:
            arr.type = kSpeakerArrUserDefined;
            break;
    }
}

// --- Calls into the host ------------------------------------------------------

VstIntPtr IPlugVST::CallHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
    return mHost ? mHost(&mAEffect, opcode, index, value, ptr, opt) : 0;
}

bool IPlugVST::HostSaysAudioThread() {
    return CallHost(audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f) ==
           kVstProcessLevelRealtime;
}

void IPlugVST::BeginParameterGesture(int index) {
    CallHost(audioMasterBeginEdit, index, 0, nullptr, 0.0f);
}

void IPlugVST::EndParameterGesture(int index) {
    CallHost(audioMasterEndEdit, index, 0, nullptr, 0.0f);
}

void IPlugVST::ReportParameterToHost(int index, double normalised) {
    CallHost(audioMasterAutomate, index, 0, nullptr, static_cast<float>(normalised));
}

bool IPlugVST::SendMidiMessage(const MidiMessage& msg) {
    VstMidiEvent ev{};
    ev.type = kVstMidiType;
    ev.byteSize = sizeof(VstMidiEvent);
    ev.deltaFrames = msg.offset;
    ev.midiData[0] = static_cast<char>(msg.status);
    ev.midiData[1] = static_cast<char>(msg.data1);
    ev.midiData[2] = static_cast<char>(msg.data2);
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&ev);
    return CallHost(audioMasterProcessEvents, 0, 0, &events, 0.0f) == 1;
}

void IPlugVST::GetTimeSignature(int* numerator, int* denominator) {
    if (numerator)
        *numerator = 4;
    if (denominator)
        *denominator = 4;
}

void IPlugVST::GetTransportInfo(ITimeInfo* info) {
    if (info)
        *info = ITimeInfo{};
}

HostKind IPlugVST::GetHostKind() {
    if (StoredHostKind() != kHostUnknownYet)
        return static_cast<HostKind>(StoredHostKind());
    char product[256] = {};
    CallHost(audioMasterGetProductString, 0, 0, product, 0.0f);
    product[255] = '\0';  // a host that fills the whole buffer
    int version = 0;
    if (product[0]) {
        const VstIntPtr d = CallHost(audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f);
        version = PackHostVersion(static_cast<int>(std::clamp<VstIntPtr>(d, 0, INT32_MAX)));
    }
    const HostKind kind = LookUpHostKind(product);
    SetHostIdentity(kind, version);
    return kind;
}

void IPlugVST::IdentifyHostOnce() {
    if (mHostSetupDone)
        return;
    mHostSetupDone = true;
    switch (GetHostKind()) {
        case kHostForte:
        case kHostAudition:
        case kHostOrion:
        case kHostSAWStudio:
            LimitToStereo();
            break;
        default:
            break;
    }
    mAEffect.numInputs = mInputArrangement.numChannels = NInChannels();
    mAEffect.numOutputs = mOutputArrangement.numChannels = NOutChannels();
    OnHostKnown();
}

void IPlugVST::EditorResized(int width, int height) {
    mEditRect.top = mEditRect.left = 0;
    mEditRect.bottom = static_cast<VstInt16>(height);
    mEditRect.right = static_cast<VstInt16>(width);
    OnEditorResized();
}

void IPlugVST::AttachEditor(std::unique_ptr<IEditor> editor) {
    if (!editor)
        return;
    IPlugBase::AttachEditor(std::move(editor));
    mAEffect.flags |= effFlagsHasEditor;
    mEditRect.top = mEditRect.left = 0;
    mEditRect.bottom = static_cast<VstInt16>(GetEditor()->Height());
    mEditRect.right = static_cast<VstInt16>(GetEditor()->Width());
}

void IPlugVST::SetLatencySamples(int samples) {
    IPlugBase::SetLatencySamples(samples);
    mAEffect.initialDelay = samples;
}

// --- Audio and parameter callbacks -------------------------------------------

void VSTCALLBACK IPlugVST::VSTProcess(AEffect* effect, float** inputs, float** outputs,
                                      VstInt32 frames) {
    GuardedAudioCall(FromAEffect(effect),
                     [&](IPlugVST& plug) { plug.ProcessFloat(inputs, outputs, frames, true); });
}

void VSTCALLBACK IPlugVST::VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                               VstInt32 frames) {
    GuardedAudioCall(FromAEffect(effect),
                     [&](IPlugVST& plug) { plug.ProcessFloat(inputs, outputs, frames, false); });
}

void VSTCALLBACK IPlugVST::VSTProcessDoubleReplacing(AEffect* effect, double** inputs,
                                                     double** outputs, VstInt32 frames) {
    GuardedAudioCall(FromAEffect(effect),
                     [&](IPlugVST& plug) { plug.ProcessDouble(inputs, outputs, frames); });
}

void VSTCALLBACK IPlugVST::VSTSetParameter(AEffect* effect, VstInt32 index, float value) {
    IPlugVST* plug = FromAEffect(effect);
    if (!plug)
        return;
    try {
        {
            Lock lock(plug->GetMutex());
            IParameter* param = plug->GetParam(index);
            if (!param)
                return;
            if (IEditor* editor = plug->GetEditor())
                editor->SetEditorParameter(index, value, true);
            param->SetFromNormalised(value);
            plug->OnParameterChanged(index);
        }
        plug->RunPendingChanges();
    } catch (...) {
    }
}

float VSTCALLBACK IPlugVST::VSTGetParameter(AEffect* effect, VstInt32 index) {
    IPlugVST* plug = FromAEffect(effect);
    if (!plug)
        return 0.0f;
    try {
        Lock lock(plug->GetMutex());
        const IParameter* param = plug->GetParam(index);
        return param ? static_cast<float>(param->GetNormalised()) : 0.0f;
    } catch (...) {
        return 0.0f;
    }
}

// --- Dispatcher ---------------------------------------------------------------

VstIntPtr VSTCALLBACK IPlugVST::VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                              VstIntPtr value, void* ptr, float opt) {
    IPlugVST* plug = FromAEffect(effect);
    if (!plug)
        return 0;
    try {
        if (opcode == effClose) {
            // The mutex is a member of the object: wait for any call in
            // progress, then let go of it before the object disappears.
            // An editor window still open is closed first, while the whole
            // plug-in is alive: its thread may be about to call into the
            // plug-in, and a press it holds ends its gesture with the host.
            // A change still being prepared on another thread is waited for.
            plug->WaitForPreparedChanges();
            plug->GetMutex().lock();
            if (IEditor* editor = plug->GetEditor())
                editor->CloseEditorWindow();
            plug->GetMutex().unlock();
            delete plug;
            return 0;
        }
        VstIntPtr result = 0;
        {
            Lock lock(plug->GetMutex());
            result = plug->Dispatch(opcode, index, value, ptr, opt);
        }
        // A Sustain from a chunk, a text or a reset is synthesised here, the
        // mutex free, before the host hears back.
        plug->RunPendingChanges();
        return result;
    } catch (...) {
        return 0;
    }
}

VstIntPtr IPlugVST::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
    switch (opcode) {
        case effOpen:
        case effSetSampleRate:
        case effSetBlockSize:
        case effMainsChanged:
        case effIdle:
            return DispatchLifeCycle(opcode, value, opt);
        case effSetProgram:
        case effGetProgram:
        case effSetProgramName:
        case effGetProgramName:
        case effGetProgramNameIndexed:
        case effGetChunk:
        case effSetChunk:
            return DispatchProgramsAndState(opcode, index, value, ptr);
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
        case effCanBeAutomated:
        case effString2Parameter:
            return DispatchParameter(opcode, index, static_cast<char*>(ptr));
        case effEditGetRect:
        case effEditOpen:
        case effEditClose:
        case effEditIdle:
            return DispatchEditor(opcode, ptr);
        case effGetInputProperties:
        case effGetOutputProperties:
        case effSetSpeakerArrangement:
        case effGetSpeakerArrangement:
        case effProcessVarIo:
        case effProcessEvents:
        case effGetMidiKeyName:
            return DispatchInputsAndOutputs(opcode, index, value, ptr);
        default:
            return DispatchIdentity(opcode, index, value, ptr, opt);
    }
}

VstIntPtr IPlugVST::DispatchLifeCycle(VstInt32 opcode, VstIntPtr value, float opt) {
    switch (opcode) {
        case effOpen:
            IdentifyHostOnce();
            ResetAllParameters();
            return 0;
        case effSetSampleRate:
            // A rate that is not a positive number would only poison later
            // arithmetic; keep the previous one.
            if (std::isfinite(opt) && opt > 0.0f)
                SetSampleRate(opt);
            OnReset();
            return 0;
        case effSetBlockSize:
            SetMaxBlockSize(static_cast<int>(std::clamp<VstIntPtr>(value, 0, INT32_MAX)));
            OnReset();
            return 0;
        case effMainsChanged:
            if (value == 0) {
                OnActivation(false);
                OnReset();
            } else {
                OnActivation(true);
            }
            return 0;
        default:  // effIdle
            SetChunkRestored(false);
            return 0;
    }
}

VstIntPtr IPlugVST::DispatchProgramsAndState(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                             void* ptr) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effSetProgram:
            if (!DoesStateChunks())
                ModifyCurrentPreset(nullptr);
            if (!IsChunkRestored())
                RestorePresetSlot(static_cast<int>(value));
            return 0;
        case effGetProgram:
            return GetCurrentPresetIndex();
        case effSetProgramName:
            if (text) {
                ModifyCurrentPreset(text);
                OnProgramsChangedByHost();
            }
            return 0;
        case effGetProgramName:
            CopyText(text, kHostText, GetPresetName(GetCurrentPresetIndex()));
            return 0;
        case effGetProgramNameIndexed:
            if (!text)
                return 0;
            CopyText(text, kHostText, GetPresetName(index));
            return text[0] ? 1 : 0;
        case effGetChunk:
            return ptr ? GetChunk(static_cast<void**>(ptr)) : 0;
        case effSetChunk:
            return ptr ? SetChunk(ptr, value) : 0;
        default:
            return 0;
    }
}

VstIntPtr IPlugVST::DispatchParameter(VstInt32 opcode, VstInt32 index, char* text) {
    IParameter* param = GetParam(index);
    switch (opcode) {
        case effGetParamLabel:
            if (param && text)
                CopyText(text, kHostText, param->LabelForHost());
            return 0;
        case effGetParamDisplay:
            if (param && text)
                param->FormatForHost(param->Value(), false, text, kHostText, true);
            return 0;
        case effGetParamName:
            if (param && text)
                CopyText(text, kHostText, param->Name());
            return 0;
        case effCanBeAutomated:
            return 1;
        case effString2Parameter: {
            if (!param)
                return 0;
            if (!text)
                return 1;
            double v = 0.0;
            if (!param->ValueFromText(text, &v))
                return 0;
            if (std::isnan(v))
                return 1;  // "nan": nothing changes; "inf" is clamped below
            if (IEditor* editor = GetEditor())
                editor->SetEditorParameter(index, v, false);
            param->SetClamped(v);
            OnParameterChanged(index);
            return 1;
        }
        default:
            return 0;
    }
}

VstIntPtr IPlugVST::DispatchEditor(VstInt32 opcode, void* ptr) {
    IEditor* editor = GetEditor();
    switch (opcode) {
        case effEditGetRect:
            if (ptr && editor) {
                *static_cast<ERect**>(ptr) = &mEditRect;
                return 1;
            }
            return 0;
        case effEditOpen:
            if (editor && editor->OpenEditorWindow(ptr)) {
                OnEditorOpened();
                return 1;
            }
            return 0;
        case effEditClose:
            if (!editor)
                return 0;
            OnEditorClosed();
            editor->CloseEditorWindow();
            return 1;
        case effEditIdle:
            if (editor)
                editor->Idle();
            SetChunkRestored(false);
            return 0;
        default:
            return 0;
    }
}

VstIntPtr IPlugVST::DispatchInputsAndOutputs(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                             void* ptr) {
    switch (opcode) {
        case effGetInputProperties:
            return PinProperties(true, index, static_cast<VstPinProperties*>(ptr));
        case effGetOutputProperties:
            return PinProperties(false, index, static_cast<VstPinProperties*>(ptr));
        case effSetSpeakerArrangement: {
            auto* in = reinterpret_cast<const VstSpeakerArrangement*>(value);
            auto* out = static_cast<const VstSpeakerArrangement*>(ptr);
            if (in) {
                const int n = std::clamp(in->numChannels, 0, NInChannels());
                SetInputConnections(0, n, true);
                SetInputConnections(n, NInChannels() - n, false);
            }
            if (out) {
                const int n = std::clamp(out->numChannels, 0, NOutChannels());
                SetOutputConnections(0, n, true);
                SetOutputConnections(n, NOutChannels() - n, false);
            }
            return 1;
        }
        case effGetSpeakerArrangement:
            if (value)
                *reinterpret_cast<VstSpeakerArrangement**>(value) = &mInputArrangement;
            if (ptr)
                *static_cast<VstSpeakerArrangement**>(ptr) = &mOutputArrangement;
            return 1;
        case effProcessEvents:
            SetChunkRestored(false);
            if (!ptr)
                return 0;
            ProcessEvents(static_cast<const VstEvents*>(ptr));
            return 1;
        case effGetMidiKeyName: {
            auto* key = static_cast<MidiKeyName*>(ptr);
            if (!key)
                return 0;
            key->keyName[0] = '\0';
            return MidiNoteLabel(key->thisKeyNumber, key->keyName) ? 1 : 0;
        }
        default:  // effProcessVarIo
            return 0;
    }
}

VstIntPtr IPlugVST::DispatchIdentity(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                     float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
        case effIdentify:
            return kIdentifyMagic;
        case effGetPlugCategory:
            return IsInstrument() ? kPlugCategSynth : kPlugCategEffect;
        case effGetEffectName:
            return ReplyText(text, GetEffectName());
        case effGetVendorString:
            return ReplyText(text, GetVendorName());
        case effGetProductString:
            return ReplyText(text, GetProductName());
        case effGetVendorVersion:
            return GetVersionDecimal();
        case effVendorSpecific:
            return VendorSpecific(index, value, ptr, opt);
        case effCanDo:
            return CanDo(text);
        case effGetTailSize:
            return GetTailSize();
        case effGetVstVersion:
            return kVstVersion;
        default:
            return 0;
    }
}

VstIntPtr IPlugVST::ReplyText(char* text, const char* reply) {
    if (!text)
        return 0;
    CopyText(text, kHostText, reply);
    return 1;
}

VstIntPtr IPlugVST::CanDo(const char* text) {
    if (!text)
        return 0;
    if (!std::strcmp(text, "receiveVstTimeInfo"))
        return 1;
    if (DoesMidi()) {
        for (const char* midi :
             {"sendVstEvents", "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent"}) {
            if (!std::strcmp(text, midi))
                return 1;
        }
    }
    if (!std::strcmp(text, "hasCockosExtensions")) {
        mHostExtensionBits |= kHasCockosExtensions;
        return kCockosReply;
    }
    if (!std::strcmp(text, "hasCockosViewAsConfig")) {
        mHostExtensionBits |= kHasCockosViewAsConfig;
        return kCockosReply;
    }
    return 0;
}

VstIntPtr IPlugVST::VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    const bool inRange = value >= 0 && value < NParams();
    switch (index) {
        case 7: {
            if (!ptr)
                return 0;
            if (inRange)
                GetParam(static_cast<int>(value))
                    ->FormatForHost(opt, true, static_cast<char*>(ptr), kHostText, true);
            return kCockosParamReply;
        }
        case 8:
            return inRange &&
                           GetParam(static_cast<int>(value))->Kind() != IParameter::kKindContinuous
                       ? kCockosParamReply
                       : 0;
        case brightfall_vendor::kLastAudioCall: {
            auto* out = static_cast<brightfall_vendor::AudioCallReport*>(ptr);
            if (!out || out->size != static_cast<std::int32_t>(sizeof(*out)))
                return 0;
            const AudioCallReport last = LastAudioCall();
            out->flags = (last.changes.sliced ? brightfall_vendor::kRanSlice : 0) |
                         (last.changes.swapped ? brightfall_vendor::kSwappedIn : 0) |
                         (last.changes.started ? brightfall_vendor::kStartedChange : 0);
            out->mutexWaitNanos = last.mutexWaitNanos;
            return 1;
        }
        default:
            return 0;
    }
}

VstIntPtr IPlugVST::GetChunk(void** data) {
    if (!ChunkCodec::Save(*this, mState))
        return 0;
    *data = mState.Data();
    return mState.Size();
}

VstIntPtr IPlugVST::SetChunk(const void* data, VstIntPtr size) {
    // A negative size is an empty chunk; one we cannot allocate is refused.
    const VstIntPtr n = std::clamp<VstIntPtr>(size, 0, INT32_MAX);
    if (n != size && size > 0)
        return 0;
    if (ChunkCodec::Load(*this, mState, data, static_cast<std::size_t>(n), ChunkCodec::kVst2) !=
        ChunkCodec::Result::kLoaded)
        return 0;
    SetChunkRestored(true);
    return 1;
}

VstIntPtr IPlugVST::PinProperties(bool input, VstInt32 index, VstPinProperties* props) {
    const int pins = input ? NInChannels() : NOutChannels();
    if (!props || index < 0 || index >= pins)
        return 0;
    props->flags = kVstPinIsActive;
    if (index % 2 == 0 && index < pins - 1)
        props->flags |= kVstPinIsStereo;
    const char* label = input ? GetInputPin(index).label : GetOutputPin(index).label;
    if (label[0]) {
        CopyText(props->label, sizeof(props->label), label);
    } else {
        std::snprintf(props->label, sizeof(props->label), input ? "Input %d" : "Output %d",
                      index + 1);
    }
    return 1;
}

void IPlugVST::ProcessEvents(const VstEvents* events) {
    // The record declares two entries; hosts allocate it with as many as
    // numEvents says. Indexing the declared array past its second entry is
    // undefined, so the list is read through a pointer to its first.
    const VstEvent* const* list = events->events;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* ev = list[i];
        if (!ev)
            continue;
        if (ev->type == kVstMidiType) {
            const auto* midi = reinterpret_cast<const VstMidiEvent*>(ev);
            MidiMessage msg;
            msg.offset = midi->deltaFrames;
            msg.status = static_cast<std::uint8_t>(midi->midiData[0]);
            msg.data1 = static_cast<std::uint8_t>(midi->midiData[1]);
            msg.data2 = static_cast<std::uint8_t>(midi->midiData[2]);
            HandleMidiMessage(msg);
        } else if (ev->type == kVstSysExType) {
            const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(ev);
            SysExMessage msg;
            msg.offset = sysex->deltaFrames;
            msg.size = sysex->dumpBytes;
            msg.data = reinterpret_cast<const std::uint8_t*>(sysex->sysexDump);
            HandleSysEx(msg);
        }
    }
}
