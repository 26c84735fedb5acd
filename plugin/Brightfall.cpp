#include "plugin/Brightfall.h"

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
    GetParam(kWetDry)->InitContinuous("Wet/Dry", "%", 50.0, 0.0, 100.0, 1.0, 1.0);
    GetParam(kSustain)->InitContinuous("Sustain", "", 50.0, 0.0, 100.0, 1.0, 1.0);
}

IPlugVST* CreatePluginInstance(audioMasterCallback host) {
    return new (std::nothrow) Brightfall(host);
}
