// Drives one opened plug-in instance, of either format, the way a careful
// host renders a file: sample rate, block size, precision and channel
// arrangement first, then processing switched on, fixed-size blocks in the
// precision asked for, and processing switched off again on destruction.
// Owns the scratch buffers the plug-in reads and writes; the instance
// belongs to the caller. One thread at a time: the thread that renders.
#pragma once

#include <vector>

#include "tools/host/HostedPlugin.h"

struct RenderSettings {
    double sampleRate = 44100.0;
    int blockSize = 512;
    bool doublePrecision = true;
    // Channels the caller feeds: 1 uses the plug-in's mono-in, stereo-out
    // arrangement (or, where it has none, the mono signal on both inputs),
    // 2 its stereo one.
    int inputChannels = 2;
};

class OfflineRenderer {
  public:
    OfflineRenderer(HostedPlugin& plugin, const RenderSettings& settings);
    ~OfflineRenderer();
    OfflineRenderer(const OfflineRenderer&) = delete;
    OfflineRenderer& operator=(const OfflineRenderer&) = delete;

    // The plug-in's outputs the caller receives: at most two.
    int OutputChannels() const { return mOutChannels; }
    // Whether the plug-in took the settings and started processing.
    bool Started() const { return mStarted; }

    // Runs `frames` frames (at most the block size) through the plug-in:
    // `input` holds inputChannels channel pointers, `output` OutputChannels().
    // False when the plug-in refused the call.
    bool Process(const double* const* input, double* const* output, int frames);

  private:
    HostedPlugin& mPlugin;
    RenderSettings mSettings;
    bool mStarted = false;
    int mOutChannels = 0;
    // The plug-in refused a mono input arrangement: mono goes to both inputs.
    bool mDuplicateMono = false;
    // It took mono in only with mono out: that output goes to both sides.
    bool mDuplicateOutput = false;
    // One buffer per plug-in pin, used or not, so every pointer handed to
    // the plug-in is valid for a whole block.
    std::vector<std::vector<double>> mInD, mOutD;
    std::vector<std::vector<float>> mInF, mOutF;
    std::vector<double*> mInPtrD, mOutPtrD;
    std::vector<float*> mInPtrF, mOutPtrF;
};
