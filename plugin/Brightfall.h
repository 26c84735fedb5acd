// Brightfall, the reverb plug-in: declares "Wet/Dry" and "Sustain", turns
// them into reverb settings and hands each audio block to the reverb. One
// object per instance, built by the entry point and destroyed by effClose.
#pragma once

#include "vst2/IPlugVST.h"

class Brightfall : public IPlugVST {
public:
    enum Param { kWetDry = 0, kSustain = 1, kNumParams };

    explicit Brightfall(audioMasterCallback host);
    ~Brightfall() override = default;

    static IPlugConfig Config();
};
