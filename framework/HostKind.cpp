#include "framework/HostKind.h"

#include <cstring>

namespace {

struct Fragment {
    const char* text;
    HostKind kind;
};

// Order matters: the first fragment found decides ("nuendo" hosts also say
// "cubase", and "live" is part of many words).
constexpr Fragment kFragments[] = {
    {"cubase", kHostCubase},
    {"reaper", kHostReaper},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"samplitude", kHostSamplitude},
    {"fruity", kHostFL},
    {"live", kHostAbletonLive},
    {"melodyne", kHostMelodyne},
    {"vstmanlib", kHostVSTScanner},
    {"aulab", kHostAULab},
    {"garageband", kHostGarageBand},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"sawstudio", kHostSAWStudio},
    {"logic", kHostLogic},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVST3TestHost},
    {"protools", kHostProTools},
    {"ardour", kHostArdour},
    {"openmpt", kHostOpenMPT},
    {"renoise", kHostRenoise},
    {"standalone", kHostStandalone},
};

}  // namespace

HostKind LookUpHostKind(const char* productText) {
    if (!productText)
        return kHostUnknown;
    char lower[256];
    int n = 0;
    for (; n < 255 && productText[n]; ++n) {
        const char c = productText[n];
        lower[n] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    lower[n] = '\0';
    for (const Fragment& f : kFragments) {
        if (std::strstr(lower, f.text))
            return f.kind;
    }
    return kHostUnknown;
}

int PackHostVersion(int d) {
    const int major = d / 10000;
    const int minor = (d - 10000 * major) / 100;
    const int patch = d - 10000 * major - 100 * minor;
    return major * 65536 + minor * 256 + patch;
}
