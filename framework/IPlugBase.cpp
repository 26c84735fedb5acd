#include "framework/IPlugBase.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "framework/TextUtil.h"

namespace {

template <typename T>
void DestroyBackToFront(std::vector<std::unique_ptr<T>>& list) {
    while (!list.empty())
        list.pop_back();
}

}  // namespace

IPlugBase::IPlugBase(const IPlugConfig& config)
    : mUniqueId(config.uniqueId),
      mVendorVersion(config.vendorVersion),
      mPluginApi(config.pluginApi),
      mSavesChunks(config.savesChunks),
      mIsInstrument(config.isInstrument),
      mHandlesMidi(config.handlesMidi),
      mLatency(config.latency) {
    for (int i = 0; i < config.numParams; ++i)
        mParams.push_back(std::make_unique<IParameter>());
    CopyText(mEffectName, sizeof(mEffectName), config.effectName);
    CopyText(mProductName, sizeof(mProductName), config.productName);
    CopyText(mVendorName, sizeof(mVendorName), config.vendorName);

    // "1-1 2-2": space-separated "inputs-outputs" pairs. An unreadable count
    // is 0, so a trailing space yields a (0, 0) pair rather than an error.
    int maxIn = 0, maxOut = 0;
    const char* p = config.channelIO ? config.channelIO : "";
    for (;;) {
        IOPair pair;
        std::sscanf(p, "%d-%d", &pair.inputs, &pair.outputs);
        mIOPairs.push_back(pair);
        maxIn = std::max(maxIn, pair.inputs);
        maxOut = std::max(maxOut, pair.outputs);
        p = std::strchr(p, ' ');
        if (!p)
            break;
        ++p;
    }

    mInPtrs.assign(static_cast<std::size_t>(maxIn), nullptr);
    mOutPtrs.assign(static_cast<std::size_t>(maxOut), nullptr);
    for (int i = 0; i < maxIn; ++i)
        mInputPins.push_back(std::make_unique<InputPin>(&mInPtrs[i]));
    for (int i = 0; i < maxOut; ++i)
        mOutputPins.push_back(std::make_unique<OutputPin>(&mOutPtrs[i]));
}

IPlugBase::~IPlugBase() {
    mEditor.reset();
    DestroyBackToFront(mParams);
    DestroyBackToFront(mInputPins);
    DestroyBackToFront(mOutputPins);
    mIOPairs.clear();
}

void IPlugBase::OnReset() {
    Lock lock(mMutex);
}

void IPlugBase::OnParameterChanged(int) {
    Lock lock(mMutex);
}

void IPlugBase::OnActivation(bool) {
    Lock lock(mMutex);
}

void IPlugBase::ProcessBlock(double** inputs, double** outputs, int frames) {
    const int nIn = NInChannels(), nOut = NOutChannels();
    const int n = std::max(frames, 0);
    for (int i = 0; i < nOut; ++i) {
        if (i < nIn) {
            if (outputs[i] != inputs[i])
                std::memmove(outputs[i], inputs[i], sizeof(double) * static_cast<std::size_t>(n));
        } else {
            std::fill(outputs[i], outputs[i] + n, 0.0);
        }
    }
}

bool IPlugBase::MidiNoteLabel(int, char* label) {
    if (label)
        label[0] = '\0';
    return false;
}

void IPlugBase::SetParameterFromEditor(int index, double normalised) {
    Lock lock(mMutex);
    IParameter* param = GetParam(index);
    if (!param)
        return;
    param->SetFromNormalised(normalised);
    ReportParameterToHost(index, normalised);
    OnParameterChanged(index);
}

void IPlugBase::AttachEditor(std::unique_ptr<IEditor> editor) {
    if (!editor)
        return;
    Lock lock(mMutex);
    for (int i = 0; i < NParams(); ++i)
        editor->SetEditorParameter(i, mParams[i]->GetNormalised(), true);
    editor->PrepareForDrawing();
    mEditor = std::move(editor);
}

void IPlugBase::RefreshEditorFromParameters() {
    if (!mEditor)
        return;
    for (int i = 0; i < NParams(); ++i)
        mEditor->SetEditorParameter(i, mParams[i]->Value(), false);
}

void IPlugBase::ModifyCurrentPreset(const char*) {
    // No preset slots: there is no current slot to write the state into.
}

void IPlugBase::SetMaxBlockSize(int n) {
    // A block size below one sample is meaningless; keep what we have rather
    // than leave the audio path without scratch space.
    if (n < 1 || n == mBlockSize)
        return;
    // Longer calls are processed in pieces anyway, so scratch space beyond a
    // generous bound buys nothing; a host announcing a hundred million frames
    // must not make every instance zero-fill gigabytes.
    const int size = std::min(n, kMaxScratchFrames);
    bool all = true;
    int frames = size;
    auto resize = [&](GrowableArray<double>& buf) {
        if (buf.Resize(size)) {
            std::fill(buf.Get(), buf.Get() + size, 0.0);
        } else {
            all = false;
        }
        frames = std::min(frames, buf.GetSize());
    };
    for (auto& pin : mInputPins)
        resize(pin->scratch);
    for (auto& pin : mOutputPins)
        resize(pin->scratch);
    // When memory ran out some buffers kept their old size: processing then
    // runs in pieces no longer than the shortest of them.
    mScratchFrames = frames;
    if (all)
        mBlockSize = n;
    PointDisconnectedPinsAtScratch();
}

void IPlugBase::PointDisconnectedPinsAtScratch() {
    for (auto& pin : mInputPins)
        if (!pin->connected)
            *pin->slot = pin->scratch.Get();
    for (auto& pin : mOutputPins)
        if (!pin->connected)
            *pin->slot = pin->scratch.Get();
}

bool IPlugBase::LegalIO(int inputs, int outputs) const {
    for (const IOPair& p : mIOPairs) {
        if ((inputs < 0 || p.inputs == inputs) && (outputs < 0 || p.outputs == outputs))
            return true;
    }
    return false;
}

namespace {

// Pins [start, start + count) of `pins`, clipped to the list, connected or
// not; a pin let go of points its slot at its own scratch buffer.
template <typename PinList>
void SetConnections(PinList& pins, int start, int count, bool connected) {
    const int end = std::min(start + std::max(count, 0), static_cast<int>(pins.size()));
    for (int i = std::max(start, 0); i < end; ++i) {
        auto& pin = *pins[i];
        pin.connected = connected;
        if (!connected)
            *pin.slot = pin.scratch.Get();
    }
}

}  // namespace

void IPlugBase::SetInputConnections(int start, int count, bool connected) {
    SetConnections(mInputPins, start, count, connected);
}

void IPlugBase::SetOutputConnections(int start, int count, bool connected) {
    SetConnections(mOutputPins, start, count, connected);
}

// The k-th host buffer goes to the k-th connected pin: hosts pass only as
// many buffers as they connected.
void IPlugBase::AttachInputs(int start, int count, double** host, int) {
    const int end = std::min(start + count, NInChannels());
    for (int i = start, k = 0; i < end; ++i) {
        InputPin& pin = *mInputPins[i];
        double* buffer = pin.connected ? host[k++] : nullptr;
        *pin.slot = buffer ? buffer : pin.scratch.Get();
    }
}

void IPlugBase::AttachInputs(int start, int count, float** host, int frames) {
    const int end = std::min(start + count, NInChannels());
    for (int i = start, k = 0; i < end; ++i) {
        InputPin& pin = *mInputPins[i];
        double* scratch = pin.scratch.Get();
        if (pin.connected) {
            const float* src = host[k++];
            if (src) {
                for (int s = 0; s < frames; ++s)
                    scratch[s] = static_cast<double>(src[s]);
            } else {
                std::fill(scratch, scratch + frames, 0.0);  // a host that passed no buffer
            }
        }
        *pin.slot = scratch;
    }
}

void IPlugBase::AttachOutputs(int start, int count, double** host) {
    const int end = std::min(start + count, NOutChannels());
    for (int i = start, k = 0; i < end; ++i) {
        OutputPin& pin = *mOutputPins[i];
        double* buffer = pin.connected ? host[k++] : nullptr;
        *pin.slot = buffer ? buffer : pin.scratch.Get();
    }
}

void IPlugBase::AttachOutputs(int start, int count, float** host) {
    const int end = std::min(start + count, NOutChannels());
    for (int i = start, k = 0; i < end; ++i) {
        OutputPin& pin = *mOutputPins[i];
        *pin.slot = pin.scratch.Get();
        pin.floatDestination = pin.connected ? host[k++] : nullptr;
    }
}

template <typename Store>
void IPlugBase::DeliverFloat(int frames, Store store) {
    for (auto& pin : mOutputPins) {
        if (!pin->connected || !pin->floatDestination)
            continue;
        const double* src = *pin->slot;
        for (int s = 0; s < frames; ++s)
            store(pin->floatDestination[s], static_cast<float>(src[s]));
    }
}

void IPlugBase::RunBlockFloat(int frames) {
    ProcessBlock(mInPtrs.data(), mOutPtrs.data(), frames);
    DeliverFloat(frames, [](float& out, float value) { out = value; });
}

void IPlugBase::RunBlockFloatAccumulating(int frames) {
    ProcessBlock(mInPtrs.data(), mOutPtrs.data(), frames);
    DeliverFloat(frames, [](float& out, float value) { out += value; });
}

void IPlugBase::LimitToStereo() {
    if (NInChannels() > 2)
        SetInputConnections(2, NInChannels() - 2, false);
}

void IPlugBase::ResetAllParameters() {
    for (int i = 0; i < NParams(); ++i)
        OnParameterChanged(i);
}

int IPlugBase::GetVersionDecimal() const {
    const int major = (mVendorVersion >> 16) & 0xFFFF;
    const int minor = (mVendorVersion >> 8) & 0xFF;
    const int patch = mVendorVersion & 0xFF;
    return major * 10000 + minor * 100 + patch;
}

IParameter* IPlugBase::GetParam(int index) const {
    if (index < 0 || index >= NParams())
        return nullptr;
    return mParams[index].get();
}

bool IPlugBase::SerializeParams(StateChunk& chunk) {
    Lock lock(mMutex);
    bool ok = true;
    for (auto& param : mParams) {
        const double v = param->Value();
        ok = chunk.Append(&v, sizeof(v)) && chunk.Size() > 0;
        if (!ok)
            break;
    }
    return ok;
}

int IPlugBase::UnserializeParams(const StateChunk& chunk, int startPos) {
    Lock lock(mMutex);
    int pos = startPos;
    for (int i = 0; i < NParams() && pos >= 0; ++i) {
        double v = 0.0;
        pos = chunk.Read(&v, sizeof(v), pos);
        if (pos < 0)
            v = 0.0;
        // An infinite stored value is clamped like any other beyond the
        // range; NaN is ignored by SetClamped, and the parameter keeps its
        // previous value instead of carrying NaN into the engine.
        mParams[i]->SetClamped(v);
    }
    for (int i = 0; i < NParams(); ++i)
        OnParameterChanged(i);
    return pos;
}

void IPlugBase::WriteChunkHeader(StateChunk& chunk) {
    chunk.Clear();
    const std::int32_t magic = kChunkMagic, version = kChunkVersion;
    chunk.Append(&magic, sizeof(magic));
    chunk.Append(&version, sizeof(version));
}

int IPlugBase::ReadChunkHeader(const StateChunk& chunk, int* pos) {
    std::int32_t magic = 0, version = 0;
    const int afterMagic = chunk.Read(&magic, sizeof(magic), *pos);
    if (afterMagic < 0 || magic != kChunkMagic)
        return 0;
    *pos = chunk.Read(&version, sizeof(version), afterMagic);
    return *pos < 0 ? 0 : version;
}

bool IPlugBase::RestorePresetSlot(int) {
    return false;
}

const char* IPlugBase::GetPresetName(int) const {
    return "";
}
