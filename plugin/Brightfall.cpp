#include "plugin/Brightfall.h"

#include <cmath>
#include <new>

#include "vst2/PluginFactory.h"

IPlugConfig Brightfall::Config() {
    IPlugConfig c;
    c.numParams = kNumParams;
    c.channelIO = "1-1 2-2";
    c.numPresets = 0;
    c.effectName = "Brightfall";
    c.productName = "";
    c.vendorName = "Corvistone LLC";
    c.vendorVersion = 0x00010000;
    c.uniqueId = 0x68643436;  // 'hd46'
    c.latency = 0;
    c.handlesMidi = false;
    c.savesChunks = true;
    c.isInstrument = false;
    return c;
}

Brightfall::Brightfall(audioMasterCallback host) : IPlugVST(host, Config()) {
    // Full-length responses now; the convolvers stay empty until the host's
    // first reset, so until then the output is the dry signal at (1 - mix).
    engine.setMix(0.5f);
    engine.setSustain(1.0f);
    GetParam(kWetDry)->InitContinuous("Wet/Dry", "%", 50.0, 0.0, 100.0, 1.0, 1.0);
    GetParam(kSustain)->InitContinuous("Sustain", "", 50.0, 0.0, 100.0, 1.0, 1.0);
}

void Brightfall::OnReset() {
    Lock lock(GetMutex());
    engine.reset();
    OnParameterChanged(kWetDry);
    OnParameterChanged(kSustain);
}

void Brightfall::OnParameterChanged(int index) {
    Lock lock(GetMutex());
    const IParameter* param = GetParam(index);
    if (!param) return;
    // The engine works in single precision settings: divide in double, then
    // round once.
    const float setting = static_cast<float>(param->Value() / 100.0);
    if (index == kWetDry) {
        engine.setMix(setting);
    } else if (index == kSustain) {
        // A host value below 0 maps below the minimum (the normalised mapping
        // does not clamp there); it means "no reverb", as 0 does, and must
        // never reach the response length as a negative count.
        engine.setSustain(std::isfinite(setting) && setting > 0.0f ? setting : 0.0f);
    }
    if (IEditor* editor = GetEditor()) editor->SetEditorParameter(index, param->Value(), false);
}

void Brightfall::ProcessBlock(double** inputs, double** outputs, int frames) {
    const bool secondInput = NInChannels() >= 2 && GetInputPin(1).connected;
    const bool secondOutput = NOutChannels() >= 2 && GetOutputPin(1).connected;
    engine.process(inputs, outputs, frames, secondInput, secondOutput);
}

IPlugVST* CreatePluginInstance(audioMasterCallback host) {
    return new (std::nothrow) Brightfall(host);
}
