// brightfall-demo: renders the project's own dry signal through the built
// plug-in module at a few settings and writes WAV files a person can listen
// to, with a one-screen summary of what the host saw.
#include <sndfile.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/DemoSignal.h"
#include "tools/OfflineRenderer.h"

namespace {

bool WriteWav(const std::string& path, const std::vector<std::vector<double>>& audio, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = static_cast<int>(audio.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        std::fprintf(stderr, "brightfall-demo: cannot write %s: %s\n", path.c_str(),
                     sf_strerror(nullptr));
        return false;
    }
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const std::size_t frames = audio[0].size();
    std::vector<double> interleaved(frames * audio.size());
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < audio.size(); ++c) interleaved[i * audio.size() + c] = audio[c][i];
    const sf_count_t written = sf_writef_double(f, interleaved.data(), static_cast<sf_count_t>(frames));
    sf_close(f);
    return written == static_cast<sf_count_t>(frames);
}

void PrintLevels(const char* what, const std::vector<std::vector<double>>& audio) {
    const LevelStats s = MeasureLevels(audio);
    std::printf("  %-22s peak %6.1f dBFS   RMS %6.1f dBFS%s\n", what, ToDecibels(s.peak),
                ToDecibels(s.rms), s.nonFinite ? "   NON-FINITE SAMPLES" : "");
}

struct Setting {
    const char* file;
    const char* description;
    float wet;      // normalised "Wet/Dry"
    float sustain;  // normalised "Sustain"
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: brightfall-demo MODULE OUTDIR\n");
        return 2;
    }
    const std::string modulePath = argv[1], outDir = argv[2];
    const int rate = 44100;

    std::string error;
    auto module = PluginModule::Load(modulePath, &error);
    if (!module) {
        std::fprintf(stderr, "brightfall-demo: %s\n", error.c_str());
        return 1;
    }

    const auto dry = MakeDemoSignal(rate, 6.0);
    if (!WriteWav(outDir + "/dry.wav", dry, rate)) return 1;

    const Setting settings[] = {
        {"wet-default.wav", "defaults (Wet/Dry 50, Sustain 50)", 0.5f, 0.5f},
        {"wet-hall.wav", "long hall (Wet/Dry 40, Sustain 100)", 0.4f, 1.0f},
    };

    std::printf("Brightfall demo\n  module: %s\n", modulePath.c_str());
    {
        VstHost host(*module);
        if (!host.Effect()) {
            std::fprintf(stderr, "brightfall-demo: the module refused to instantiate\n");
            return 1;
        }
        char name[256] = {}, vendor[256] = {};
        host.Dispatch(effGetEffectName, 0, 0, name);
        host.Dispatch(effGetVendorString, 0, 0, vendor);
        const AEffect* e = host.Effect();
        std::printf("  plug-in: \"%s\" by \"%s\", version %d, id 0x%08X, %d in / %d out, %d parameters\n",
                    name, vendor, e->version, static_cast<unsigned>(e->uniqueID), e->numInputs,
                    e->numOutputs, e->numParams);
        for (int i = 0; i < e->numParams; ++i) {
            char pname[256] = {}, label[256] = {}, display[256] = {};
            host.Dispatch(effGetParamName, i, 0, pname);
            host.Dispatch(effGetParamLabel, i, 0, label);
            host.Dispatch(effGetParamDisplay, i, 0, display);
            std::printf("    parameter %d: \"%s\" = %s %s\n", i, pname, display, label);
        }
    }

    std::printf("  input: %.1f s of drums and plucked strings at %d Hz\n", 6.0, rate);
    PrintLevels("dry.wav", dry);
    for (const Setting& s : settings) {
        VstHost host(*module);
        AEffect* e = host.Effect();
        host.Dispatch(effOpen);
        e->setParameter(e, 0, s.wet);
        e->setParameter(e, 1, s.sustain);
        RenderSettings rs;
        rs.sampleRate = rate;
        rs.blockSize = 512;
        rs.tailFrames = 128000 + rate / 2;
        const auto wet = OfflineRenderer::Render(host, dry, rs);
        if (!WriteWav(outDir + "/" + s.file, wet, rate)) return 1;
        PrintLevels(s.file, wet);
        std::printf("  %-22s %s\n", "", s.description);
    }
    std::printf("Written to %s/\n", outDir.c_str());
    return 0;
}
