// What the benchmarks that drive the built modules through the tools' hosts
// share: a stereo pair of noise blocks for the 64-bit process calls, and a
// VST 2 instance opened, set up and switched on as a DAW does. Each
// benchmark owns what these make.
#pragma once

#include <memory>
#include <vector>

#include "bench/BenchNoise.h"
#include "tools/host/PluginModule.h"
#include "tools/host/VstHost.h"

namespace bench {

// A block of noise at -12 dB on each side (the seeds `seed` and `seed` + 1)
// and an output block, with the pointer arrays a process call takes.
struct StereoBlock {
    StereoBlock(int frames, unsigned seed) {
        for (int c = 0; c < 2; ++c) {
            in[c] = noise(static_cast<std::size_t>(frames), seed + static_cast<unsigned>(c));
            for (double& x : in[c])
                x *= 0.25;
            out[c].assign(static_cast<std::size_t>(frames), 0.0);
            inPtrs[c] = in[c].data();
            outPtrs[c] = out[c].data();
        }
    }
    bool OutputIsInput(int frames) const {
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < frames; ++i)
                if (out[c][i] != in[c][i])
                    return false;
        return true;
    }
    std::vector<double> in[2], out[2];
    double* inPtrs[2] = {};
    double* outPtrs[2] = {};
};

// A VST 2 instance of `module` at `rate` and `frames` a block, processing,
// its host calls unrecorded (a record would allocate on the audio thread);
// null when the module gives no effect.
inline std::unique_ptr<VstHost> OpenVst2(const PluginModule& module, double rate, int frames) {
    auto host = std::make_unique<VstHost>(module);
    if (!host->Effect())
        return nullptr;
    host->SetRecording(false);
    host->Dispatch(effOpen);
    host->Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    host->Dispatch(effSetBlockSize, 0, frames);
    host->Dispatch(effMainsChanged, 0, 1);
    return host;
}

}  // namespace bench
