// One file through one plug-in instance: reads the input block by block,
// runs it through a fresh instance with the chosen settings, appends the
// reverb tail, trims the silence at its end and writes the output. The
// instance is created, driven and closed on a thread of its own, so the
// plug-in sees a thread that has run nothing before, as in a fresh host
// process: a plug-in whose randomness is per thread then renders the same
// settings identically every time. Owns nothing beyond one call.
#pragma once

#include <atomic>
#include <cstdint>

#include "tools/audiofile/AudioFileReader.h"
#include "tools/audiofile/AudioFileWriter.h"
#include "tools/render-cli/LevelMeter.h"
#include "tools/render-cli/PluginSetup.h"
#include "tools/render-cli/ProgressBar.h"

struct RenderRequest {
    int blockSize = 512;
    bool doublePrecision = true;
    // Frames of silence fed after the input so the tail is heard.
    std::int64_t tailFrames = 0;
    // When set, the output ends `keepAfterDecay` frames after the last frame
    // at or above `decayThreshold` (never before the input's length) instead
    // of running through the whole tail.
    bool trimTail = false;
    std::int64_t keepAfterDecay = 0;
    double decayThreshold = 1e-6;             // -120 dBFS
    const std::atomic<bool>* stop = nullptr;  // set from a signal handler
    ProgressBar* progress = nullptr;
};

struct RenderResult {
    std::int64_t inputFrames = 0;
    std::int64_t outputFrames = 0;
    int latency = 0;  // frames dropped from the start, as the plug-in reports
    LevelMeter input;
    LevelMeter output;
    double seconds = 0.0;  // wall-clock time of the render
    // The output was still above the threshold at the end of the tail.
    bool tailStillAudible = false;
};

class RenderJob {
  public:
    // Throws ToolError; the writer is left uncommitted on failure.
    static RenderResult Run(const HostedModule& module, const HostIdentity& identity,
                            const PluginSettings& settings, AudioFileReader& reader,
                            AudioFileWriter& writer, const RenderRequest& request);

  private:
    static RenderResult RunHere(const HostedModule& module, const HostIdentity& identity,
                                const PluginSettings& settings, AudioFileReader& reader,
                                AudioFileWriter& writer, const RenderRequest& request);
};
