#include "tools/host/HostedVst3.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "vst3/Vst3Text.h"

using namespace vst3;

namespace {

std::string Narrow(const char16* text, std::size_t units) {
    char utf8[3 * 128 + 1];
    Utf16ToUtf8(utf8, sizeof(utf8), text, units);
    return utf8;
}

// A fixed-size text field of the factory's, which need not end in a zero.
std::string Field(const char* text, std::size_t size) {
    return std::string(text, std::find(text, text + size, '\0'));
}

SpeakerArrangement ArrangementOf(int channels) {
    return channels == 1 ? kArrMono : kArrStereo;
}

}  // namespace

std::unique_ptr<HostedVst3> HostedVst3::Open(const Vst3Module& module, const std::string& path,
                                             std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return nullptr;
    };
    std::unique_ptr<HostedVst3> plugin(new HostedVst3(module));
    const Vst3Instance& instance = *plugin->mInstance;
    const std::string notEffect = path + " is not a VST 3 effect this host can run: ";
    if (instance.ClassIndex() < 0)
        return fail(notEffect + "its factory offers no audio processor class");
    if (!instance.Component() || !instance.Processor())
        return fail(notEffect + "its factory made no audio processor");
    if (!instance.Controller())
        return fail(notEffect + "its edit controller is a class of its own, not the processor");

    IPluginFactory* factory = module.Factory();
    PluginIdentity& id = plugin->mIdentity;
    id.format = PluginFormat::kVst3;
    PClassInfo info{};
    factory->getClassInfo(instance.ClassIndex(), &info);
    id.name = Field(info.name, sizeof(info.name));
    char hex[2 * sizeof(info.cid) + 1] = {};
    for (std::size_t i = 0; i < sizeof(info.cid); ++i)
        std::snprintf(hex + 2 * i, 3, "%02X", static_cast<unsigned char>(info.cid[i]));
    id.id = hex;
    void* second = nullptr;
    if (factory->queryInterface(IPluginFactory2::iid.bytes, &second) == kResultOk && second) {
        auto* factory2 = static_cast<IPluginFactory2*>(second);
        PClassInfo2 info2{};
        if (factory2->getClassInfo2(instance.ClassIndex(), &info2) == kResultOk) {
            id.vendor = Field(info2.vendor, sizeof(info2.vendor));
            id.version = Field(info2.version, sizeof(info2.version));
        }
        factory2->release();
    }
    PFactoryInfo made{};
    if (id.vendor.empty() && factory->getFactoryInfo(&made) == kResultOk)
        id.vendor = Field(made.vendor, sizeof(made.vendor));

    plugin->mInputs = plugin->BusChannels(kInput);
    plugin->mOutputs = plugin->BusChannels(kOutput);
    if (plugin->mInputs < 1 || plugin->mOutputs < 1)
        return fail(path + " has no audio input and output (" + std::to_string(plugin->mInputs) +
                    " in, " + std::to_string(plugin->mOutputs) +
                    " out); only an audio effect can process a file");
    if (!plugin->CanDouble() && !plugin->CanSingle())
        return fail(notEffect + "it processes neither 32 nor 64-bit samples");

    IEditController* controller = instance.Controller();
    for (int32 i = 0, n = controller->getParameterCount(); i < n; ++i) {
        ParameterInfo p{};
        if (controller->getParameterInfo(i, p) != kResultOk)
            continue;
        // The host's bypass switch, and what no person sets, stay out.
        if (p.flags & (ParameterInfo::kIsBypass | ParameterInfo::kIsReadOnly |
                       ParameterInfo::kIsProgramChange))
            continue;
        plugin->mParams.push_back(p);
    }
    return plugin;
}

HostedVst3::HostedVst3(const Vst3Module& module)
    : mInstance(std::make_unique<Vst3Instance>(module)) {}

HostedVst3::~HostedVst3() = default;

int HostedVst3::BusChannels(BusDirection direction) const {
    IComponent* component = mInstance->Component();
    if (component->getBusCount(kAudio, direction) < 1)
        return 0;
    BusInfo bus{};
    if (component->getBusInfo(kAudio, direction, 0, bus) != kResultOk)
        return 0;
    return std::max(bus.channelCount, 0);
}

bool HostedVst3::CanDouble() const {
    return mInstance->Processor()->canProcessSampleSize(kSample64) == kResultTrue;
}

bool HostedVst3::CanSingle() const {
    return mInstance->Processor()->canProcessSampleSize(kSample32) == kResultTrue;
}

long HostedVst3::TailFrames() {
    // kNoTail is 0; an endless tail (all bits set) is held at a length a
    // render can use.
    const uint32 tail = mInstance->Processor()->getTailSamples();
    return static_cast<long>(std::min<uint32>(tail, 1u << 30));
}

int HostedVst3::Latency() {
    return static_cast<int>(
        std::min<uint32>(mInstance->Processor()->getLatencySamples(), 1u << 30));
}

std::string HostedVst3::ParameterName(int index) {
    return Narrow(mParams.at(static_cast<std::size_t>(index)).title, 128);
}

std::string HostedVst3::ParameterLabel(int index) {
    return Narrow(mParams.at(static_cast<std::size_t>(index)).units, 128);
}

std::string HostedVst3::ParameterDisplay(int index) {
    return FormatValue(index, Normalised(index));
}

std::string HostedVst3::FormatValue(int index, double normalised) {
    String128 text = {};
    if (mInstance->Controller()->getParamStringByValue(
            mParams.at(static_cast<std::size_t>(index)).id, normalised, text) != kResultOk)
        return std::string();
    return Narrow(text, 128);
}

bool HostedVst3::SetFromText(int index, const std::string& text) {
    IEditController* controller = mInstance->Controller();
    const ParamID id = mParams.at(static_cast<std::size_t>(index)).id;
    String128 wide = {};
    Utf8ToUtf16(wide, 128, text.c_str());
    ParamValue normalised = 0.0;
    return controller->getParamValueByString(id, wide, normalised) == kResultOk &&
           controller->setParamNormalized(id, normalised) == kResultOk;
}

double HostedVst3::Normalised(int index) {
    return mInstance->Controller()->getParamNormalized(
        mParams.at(static_cast<std::size_t>(index)).id);
}

void HostedVst3::SetNormalised(int index, double value) {
    mInstance->Controller()->setParamNormalized(mParams.at(static_cast<std::size_t>(index)).id,
                                                value);
}

bool HostedVst3::SetState(const std::vector<unsigned char>& bytes) {
    // The component reads its state, and the controller is handed the same
    // bytes after it, as a host restoring a session does.
    Vst3MemoryStream stream(bytes);
    if (mInstance->Component()->setState(&stream) != kResultOk)
        return false;
    stream.Rewind();
    return mInstance->Controller()->setComponentState(&stream) == kResultOk;
}

void HostedVst3::SetupProcessing(double rate, int maxBlock, bool doublePrecision) {
    // Given to the plug-in with activation, after the arrangements.
    mRate = rate;
    mMaxBlock = maxBlock;
    mSampleSize = doublePrecision ? kSample64 : kSample32;
}

bool HostedVst3::SetChannels(int inputs, int outputs) {
    SpeakerArrangement in = ArrangementOf(inputs);
    SpeakerArrangement out = ArrangementOf(outputs);
    if (mInstance->Processor()->setBusArrangements(&in, 1, &out, 1) != kResultTrue)
        return false;
    mInUse = inputs;
    mOutUse = outputs;
    return true;
}

bool HostedVst3::SetActive(bool on) {
    if (!on) {
        mInstance->Stop();
        return true;
    }
    if (mInUse == 0) {
        // No arrangement asked for: the buses as they are.
        mInUse = mInputs;
        mOutUse = mOutputs;
    }
    return mInstance->Start(mRate, mMaxBlock, mSampleSize, kOffline) == kResultOk;
}

bool HostedVst3::Process(double** in, double** out, int frames) {
    return mInstance->Process(in, mInUse, out, mOutUse, frames) == kResultOk;
}

bool HostedVst3::Process(float** in, float** out, int frames) {
    return mInstance->Process(in, mInUse, out, mOutUse, frames) == kResultOk;
}
