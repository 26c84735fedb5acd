#include "plugin/Brightfall.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "graphics/IKnobMultiControl.h"
#include "plugin/BrightfallFacts.h"
#include "plugin/BrightfallVersion.h"
#include "plugin/PlatformGraphics.h"
#if defined(BRIGHTFALL_LV2)
#include "lv2/LV2PluginFactory.h"
#elif defined(BRIGHTFALL_VST3)
#include "vst3/Vst3PluginFactory.h"
#else
#include "vst2/PluginFactory.h"
#endif

namespace {

// The engine's setting for a Sustain value: divided in double, rounded once.
// A host value below 0 maps below the minimum (the normalised mapping does
// not clamp there); it means "no reverb", as 0 does, and must never reach
// the response length as a negative count.
float SustainSetting(double value) {
    const float setting = static_cast<float>(value / 100.0);
    return std::isfinite(setting) && setting > 0.0f ? setting : 0.0f;
}

}  // namespace

IPlugConfig Brightfall::Config() {
    IPlugConfig c;
    c.numParams = kNumParams;
    c.channelIO = "1-1 2-2";
    c.numPresets = 0;
    c.effectName = "Brightfall";
    c.productName = "";
    c.vendorName = brightfall::kVendor;
    c.vendorVersion = brightfall::kVendorVersion;
    c.uniqueId = brightfall::kUniqueId;
    c.latency = 0;
    c.handlesMidi = false;
    c.savesChunks = true;
    c.isInstrument = false;
    return c;
}

#if defined(BRIGHTFALL_LV2)
Brightfall::Brightfall(bool withEngine) : IPlugLV2(Config()) {
#elif defined(BRIGHTFALL_VST3)
Brightfall::Brightfall() : IPlugVST3(Config()) {
    const bool withEngine = true;
#else
Brightfall::Brightfall(audioMasterCallback host) : IPlugVST(host, Config()) {
    const bool withEngine = true;
#endif
    if (withEngine) {
        // Full-length responses now; the convolvers stay empty until the
        // host's first reset, so until then the output is the dry signal at
        // (1 - mix).
        engine = std::make_unique<ReverbEngine>();
        engine->setMix(0.5f);
        engine->setSustain(1.0f);
        current = engine.get();
    }
    // Knob positions as fractions of the editor size, truncated.
    knob1X = static_cast<int>(editorWidth / 5.85507);
    knob1Y = static_cast<int>(editorHeight / 1.95);
    knob2X = static_cast<int>(editorWidth / 1.491997);
    knob2Y = knob1Y;
    GetParam(kWetDry)->InitContinuous("Wet/Dry", "%", 50.0, 0.0, 100.0, 1.0, 1.0);
    GetParam(kSustain)->InitContinuous("Sustain", "", 50.0, 0.0, 100.0, 1.0, 1.0);
    BuildEditor();
}

void Brightfall::BuildEditor() {
    std::unique_ptr<IGraphics> editor = CreatePlatformGraphics(this);
    const IImageStrip knob = editor->LoadImage(kKnobStripId, kKnobStripName, kKnobFrames);
    editor->SetBackground(kBackgroundId, kBackgroundName);
    const int knobW = knob.width, knobH = knob.height / knob.frames;
    const IRect knob1(knob1X, knob1Y, knob1X + knobW, knob1Y + knobH);
    const IRect knob2(knob2X, knob2Y, knob2X + knobW, knob2Y + knobH);
    editor->AddControl(std::make_unique<IKnobMultiControl>(this, knob1, kWetDry, knob));
    editor->AddControl(std::make_unique<IKnobMultiControl>(this, knob2, kSustain, knob));
    // The knobs learn the parameters' current values, which become their
    // double-click defaults, and the offscreen picture is created.
    AttachEditor(std::move(editor));
}

void Brightfall::OnReset() {
    Lock lock(GetMutex());
    if (!current)
        return;
    current->reset();
    OnParameterChanged(kWetDry);
    OnParameterChanged(kSustain);
}

void Brightfall::OnParameterChanged(int index) {
    Lock lock(GetMutex());
    const IParameter* param = GetParam(index);
    if (!param)
        return;
    if (!current) {
        // The editor's knobs are all there is to follow.
        if (IEditor* editor = GetEditor())
            editor->SetEditorParameter(index, param->Value(), false);
        return;
    }
    // The engine works in single precision settings: divide in double, then
    // round once.
    const float setting = static_cast<float>(param->Value() / 100.0);
    if (index == kWetDry) {
        // A host value below 0 maps below the minimum, as for Sustain; a
        // negative mix would turn the dry signal up and the reverb over.
        current->setMix(std::max(setting, 0.0f));
    } else if (index == kSustain && !DeferCostlyChange(kSustain)) {
        current->setSustain(SustainSetting(param->Value()));
    }
    if (IEditor* editor = GetEditor())
        editor->SetEditorParameter(index, param->Value(), false);
}

void Brightfall::ProcessBlock(double** inputs, double** outputs, int frames) {
    const bool secondInput = NInChannels() >= 2 && GetInputPin(1).connected;
    const bool secondOutput = NOutChannels() >= 2 && GetOutputPin(1).connected;
    if (!current) {
        IPlugBase::ProcessBlock(inputs, outputs, frames);
        return;
    }
    current->process(inputs, outputs, frames, secondInput, secondOutput);
}

bool Brightfall::ProcessSilence(int frames) {
    // Once the tail has died away, silence in is silence out: the engine
    // only keeps its place in its blocks.
    const bool secondInput = NInChannels() >= 2 && GetInputPin(1).connected;
    const bool secondOutput = NOutChannels() >= 2 && GetOutputPin(1).connected;
    return current && current->skipSilence(frames, secondInput, secondOutput);
}

int Brightfall::TailSamples() {
    if (!current)
        return 0;
    return static_cast<int>(current->getSustain() *
                            static_cast<float>(ReverbEngine::kImpulseLength));
}

bool Brightfall::EnableDeferredChanges() {
    Lock lock(GetMutex());
    if (!current)
        return false;
    if (!spare) {
        spare.reset(new (std::nothrow) ReverbEngine());
        if (!spare)
            return false;
        // Both engines take turns as the spare: each holds what any Sustain
        // needs, so one prepared in slices on the audio thread allocates
        // nothing.
        spare->reserveForAnySustain();
        engine->reserveForAnySustain();
        aside = spare.get();
    }
    return true;
}

namespace {

// What a change's preparation needs, noted under the mutex: whether the
// engine in use is laid out yet, and the audio thread's noise for a change
// made there.
constexpr std::uint64_t kLaidOutBit = std::uint64_t{1} << 32;

std::uint32_t NoiseOf(std::uint64_t context) {
    return static_cast<std::uint32_t>(context & 0xFFFFFFFFu);
}

// The preparation's share of a process call of `frames`: about a twelfth of
// the time a 64-frame block lasts on this kind of machine for every 64
// frames, so the longest Sustain is ready some sixteen calls later.
std::size_t SliceBudget(int frames) {
    constexpr std::size_t kPer64Frames = 48000;
    const std::size_t blocks = static_cast<std::size_t>(std::max(frames, 64)) / 64;
    return kPer64Frames * blocks;
}

}  // namespace

bool Brightfall::DeferParameterChange(DeferredChange& change) {
    if (change.index != kSustain || !aside)
        return false;
    change.context = current->isLaidOut() ? kLaidOutBit : 0;
    if (change.fromAudioThread) {
        // The audio thread's generator moves past the draws this synthesis
        // takes, as if it had run there.
        change.context |= ReverbEngine::takeNoiseFor(SustainSetting(change.value));
    }
    return true;
}

bool Brightfall::PrepareDeferredChange(const DeferredChange& change) {
    if (change.index != kSustain || !aside)
        return false;
    aside->setLaidOut((change.context & kLaidOutBit) != 0);
    if (change.fromAudioThread) {
        aside->setSustainFrom(SustainSetting(change.value), NoiseOf(change.context));
    } else {
        // The preparing thread's own noise, as if it had set Sustain in place.
        aside->setSustain(SustainSetting(change.value));
    }
    return true;
}

bool Brightfall::BeginSlicedChange(const DeferredChange& change) {
    if (change.index != kSustain || !aside)
        return false;
    aside->setLaidOut((change.context & kLaidOutBit) != 0);
    aside->beginSustain(SustainSetting(change.value), NoiseOf(change.context));
    return true;
}

bool Brightfall::ContinueSlicedChange(int frames) {
    return !aside || aside->continueSustain(SliceBudget(frames));
}

void Brightfall::CommitDeferredChange(const DeferredChange& change) {
    if (change.index != kSustain || !aside)
        return;
    aside->setMix(current->getMix());
    std::swap(current, aside);
    if (IEditor* editor = GetEditor())
        editor->SetEditorParameter(kSustain, GetParam(kSustain)->Value(), false);
}

void Brightfall::SupersedeDeferredChange(int index, double value) {
    if (index == kSustain)
        ReverbEngine::takeNoiseFor(SustainSetting(value));
}

void Brightfall::ApplyParameterInPlace(int index) {
    if (index == kSustain && current)
        current->setSustain(SustainSetting(GetParam(kSustain)->Value()));
}

#if defined(BRIGHTFALL_LV2)
void* Brightfall::EditorWindowHandle() const {
    const auto* editor = dynamic_cast<const IGraphics*>(GetEditor());
    return editor ? editor->WindowHandle() : nullptr;
}

IPlugLV2* CreateLV2PluginInstance() {
    return new (std::nothrow) Brightfall();
}

IPlugLV2* CreateLV2EditorInstance() {
    return new (std::nothrow) Brightfall(false);
}
#elif defined(BRIGHTFALL_VST3)
IPlugVST3* CreateVST3PluginInstance() {
    return new (std::nothrow) Brightfall();
}

const Vst3ClassFacts& Vst3PluginClass() {
    static const Vst3ClassFacts facts = {brightfall::kVst3ClassId, "Brightfall",
                                         brightfall::kVendor, brightfall::kVersionText,
                                         "Fx|Reverb"};
    return facts;
}
#else
IPlugVST* CreatePluginInstance(audioMasterCallback host) {
    return new (std::nothrow) Brightfall(host);
}
#endif

static_assert(brightfall::kLongestResponse ==
                  static_cast<std::int64_t>(ReverbEngine::kImpulseLength),
              "the tools render a tail as long as the longest response");
