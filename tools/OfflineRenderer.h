// Runs audio through a plug-in instance the way a careful host renders a
// file: configure, switch processing on, feed fixed-size blocks, switch off.
// Used by the command-line tools; owns nothing but its settings.
#pragma once

#include <functional>
#include <vector>

#include "tools/VstHost.h"

struct RenderSettings {
    double sampleRate = 44100.0;
    int blockSize = 512;
    bool doublePrecision = true;
    // Frames of silence appended after the input so the reverb tail is heard.
    long tailFrames = 0;
};

class OfflineRenderer {
public:
    using Progress = std::function<void(long done, long total)>;

    // Input: one or two channels of equal length. Output: always two
    // channels, input length plus tail. A mono input is fed to the plug-in's
    // mono-in, stereo-out configuration.
    static std::vector<std::vector<double>> Render(VstHost& host,
                                                   const std::vector<std::vector<double>>& input,
                                                   const RenderSettings& settings,
                                                   const Progress& progress = nullptr);
};

struct LevelStats {
    double peak = 0.0;
    double rms = 0.0;
    long nonFinite = 0;
};

LevelStats MeasureLevels(const std::vector<std::vector<double>>& channels);
double ToDecibels(double linear);
