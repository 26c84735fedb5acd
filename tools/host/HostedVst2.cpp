#include "tools/host/HostedVst2.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// effVendorSpecific with this index (the parameter-display opcode) and a
// normalised value formats that value without setting it, where the plug-in
// offers the extension; it answers 0xBEEF.
constexpr VstInt32 kVendorFormatValue = effGetParamDisplay;
constexpr VstIntPtr kVendorFormatReply = 0xBEEF;
// Hosts hand plug-ins generous text buffers: many plug-ins write past the
// nominal 8 or 24 characters.
constexpr std::size_t kTextBuffer = 256;
// effSetProcessPrecision values.
constexpr VstIntPtr kPrecision32 = 0;
constexpr VstIntPtr kPrecision64 = 1;

VstSpeakerArrangement Arrangement(int channels) {
    VstSpeakerArrangement a{};
    a.numChannels = channels;
    a.type = channels == 1 ? kSpeakerArrMono
                           : (channels == 2 ? kSpeakerArrStereo : kSpeakerArrUserDefined);
    return a;
}

}  // namespace

std::unique_ptr<HostedVst2> HostedVst2::Open(const PluginModule& module,
                                             const HostIdentity& identity, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return nullptr;
    };
    auto host = std::make_unique<VstHost>(module, identity);
    AEffect* e = host->Effect();
    const std::string notEffect = module.Path() + " is not a VST 2 effect: ";
    if (!e)
        return fail(notEffect + "its entry point returned no plug-in");
    if (e->magic != kEffectMagic || !e->dispatcher || !e->setParameter || !e->getParameter) {
        // Not a record we can call into, not even to close it.
        host->Abandon();
        return fail(notEffect +
                    "its entry point returned something other than a VST 2 plug-in record");
    }
    if (e->numParams < 0 || e->numParams > 100000 || e->numInputs < 0 || e->numOutputs < 0)
        return fail(notEffect + "its plug-in record has impossible counts");
    if ((e->flags & effFlagsIsSynth) || e->numInputs < 1 || e->numOutputs < 1)
        return fail(module.Path() + " has no audio input and output (" +
                    std::to_string(e->numInputs) + " in, " + std::to_string(e->numOutputs) +
                    " out); only an audio effect can process a file");
    std::unique_ptr<HostedVst2> plugin(new HostedVst2(std::move(host)));
    if (!plugin->CanDouble() && !plugin->CanSingle())
        return fail(notEffect + "it offers no replacing process callback");
    plugin->mHost->Dispatch(effOpen);

    PluginIdentity& id = plugin->mIdentity;
    id.format = PluginFormat::kVst2;
    char text[kTextBuffer] = {};
    plugin->mHost->Dispatch(effGetEffectName, 0, 0, text);
    id.name = TrimmedText(text);
    if (id.name.empty()) {
        std::memset(text, 0, sizeof(text));
        plugin->mHost->Dispatch(effGetProductString, 0, 0, text);
        id.name = TrimmedText(text);
    }
    std::memset(text, 0, sizeof(text));
    plugin->mHost->Dispatch(effGetVendorString, 0, 0, text);
    id.vendor = TrimmedText(text);
    id.version = std::to_string(e->version);
    id.id = PluginIdentity::Vst2IdText(e->uniqueID);
    return plugin;
}

HostedVst2::HostedVst2(std::unique_ptr<VstHost> host)
    : mHost(std::move(host)), mEffect(mHost->Effect()) {}

HostedVst2::~HostedVst2() {
    if (mActive)
        SetActive(false);
}

bool HostedVst2::CanDouble() const {
    return (mEffect->flags & effFlagsCanDoubleReplacing) && mEffect->processDoubleReplacing;
}

bool HostedVst2::CanSingle() const {
    return (mEffect->flags & effFlagsCanReplacing) && mEffect->processReplacing;
}

long HostedVst2::TailFrames() {
    // 0 means "not known" and 1 "no tail" by the usual convention.
    const VstIntPtr tail = mHost->Dispatch(effGetTailSize);
    return tail > 1 ? static_cast<long>(std::min<VstIntPtr>(tail, 1L << 30)) : 0;
}

std::string HostedVst2::Text(VstInt32 opcode, int index, float opt) {
    char text[kTextBuffer] = {};
    mHost->Dispatch(opcode, index, 0, text, opt);
    text[kTextBuffer - 1] = '\0';
    return TrimmedText(text);
}

std::string HostedVst2::FormatValue(int index, double normalised) {
    char text[kTextBuffer] = {};
    const float value = static_cast<float>(normalised);
    if (mHost->Dispatch(effVendorSpecific, kVendorFormatValue, index, text, value) ==
        kVendorFormatReply) {
        text[kTextBuffer - 1] = '\0';
        return TrimmedText(text);
    }
    // VST 2 has no other way: set the value, read its display, put it back.
    const float saved = mEffect->getParameter(mEffect, index);
    mEffect->setParameter(mEffect, index, value);
    const std::string shown = ParameterDisplay(index);
    mEffect->setParameter(mEffect, index, saved);
    return shown;
}

bool HostedVst2::SetFromText(int index, const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return mHost->Dispatch(effString2Parameter, index, 0, buffer.data()) != 0;
}

double HostedVst2::Normalised(int index) {
    return mEffect->getParameter(mEffect, index);
}

void HostedVst2::SetNormalised(int index, double value) {
    mEffect->setParameter(mEffect, index, static_cast<float>(value));
}

std::vector<unsigned char> HostedVst2::State() {
    void* data = nullptr;
    const VstIntPtr size = mHost->Dispatch(effGetChunk, 0, 0, &data);
    if (size <= 0 || !data)
        return {};
    const auto* bytes = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(bytes, bytes + size);
}

bool HostedVst2::SetState(const std::vector<unsigned char>& bytes) {
    mLoadedState = bytes;
    return mHost->Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(mLoadedState.size()),
                           mLoadedState.data()) != 0;
}

void HostedVst2::SetupProcessing(double rate, int maxBlock, bool doublePrecision) {
    mHost->Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    mHost->Dispatch(effSetBlockSize, 0, maxBlock);
    mHost->Dispatch(effSetProcessPrecision, 0, doublePrecision ? kPrecision64 : kPrecision32);
}

bool HostedVst2::SetChannels(int inputs, int outputs) {
    VstSpeakerArrangement in = Arrangement(inputs);
    VstSpeakerArrangement out = Arrangement(outputs);
    return mHost->Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out) !=
           0;
}

bool HostedVst2::SetActive(bool on) {
    mHost->Dispatch(effMainsChanged, 0, on ? 1 : 0);
    mActive = on;
    return true;
}

bool HostedVst2::Process(double** in, double** out, int frames) {
    mEffect->processDoubleReplacing(mEffect, in, out, frames);
    return true;
}

bool HostedVst2::Process(float** in, float** out, int frames) {
    mEffect->processReplacing(mEffect, in, out, frames);
    return true;
}
