// Drives one opened plug-in instance the way a careful host renders a file:
// sample rate, block size, precision and speaker arrangement first, then
// processing switched on, fixed-size blocks through the replacing callbacks,
// and processing switched off again on destruction. Owns the scratch
// buffers the plug-in reads and writes; the instance belongs to the caller.
// One thread at a time: the thread that renders.
#pragma once

#include <vector>

#include "tools/host/VstHost.h"

struct RenderSettings {
    double sampleRate = 44100.0;
    int blockSize = 512;
    bool doublePrecision = true;
    // Channels the caller feeds: 1 uses the plug-in's mono-in, stereo-out
    // configuration, 2 its stereo one.
    int inputChannels = 2;
};

class OfflineRenderer {
  public:
    OfflineRenderer(VstHost& host, const RenderSettings& settings);
    ~OfflineRenderer();
    OfflineRenderer(const OfflineRenderer&) = delete;
    OfflineRenderer& operator=(const OfflineRenderer&) = delete;

    // The plug-in's outputs the caller receives: at most two.
    int OutputChannels() const { return mOutChannels; }

    // Runs `frames` frames (at most the block size) through the plug-in:
    // `input` holds inputChannels channel pointers, `output` OutputChannels().
    void Process(const double* const* input, double* const* output, int frames);

  private:
    VstHost& mHost;
    AEffect* mEffect;
    RenderSettings mSettings;
    int mOutChannels = 0;
    // The plug-in refused a mono input arrangement: mono goes to both inputs.
    bool mDuplicateMono = false;
    // One buffer per plug-in pin, used or not, so every pointer handed to
    // the plug-in is valid for a whole block.
    std::vector<std::vector<double>> mInD, mOutD;
    std::vector<std::vector<float>> mInF, mOutF;
    std::vector<double*> mInPtrD, mOutPtrD;
    std::vector<float*> mInPtrF, mOutPtrF;
};
