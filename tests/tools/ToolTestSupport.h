// Helpers for driving brightfall-render as a subprocess on Linux: audio
// files written and read back through libsndfile, and the tool's exit status
// with what it printed.
#pragma once

#include <string>
#include <vector>

#include "ScratchTest.h"

struct ToolRun {
    int status = -1;  // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
};

struct Audio {
    int rate = 0;
    int format = 0;  // libsndfile major | subtype
    std::vector<std::vector<double>> channels;
    long Frames() const { return channels.empty() ? 0 : static_cast<long>(channels[0].size()); }
};

// Runs the tool with these arguments (stdin empty, stdout and stderr
// captured), in the folder `cwd` when one is given.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& cwd = "");

void WriteAudio(const std::string& path, const Audio& audio);
Audio ReadAudio(const std::string& path);

// A decaying noise burst of `burstSeconds` at the start of `seconds` of
// audio, different in each channel, peak about `peak`.
Audio Burst(int rate, int channels, double seconds, double burstSeconds, double peak, int format);

// Largest |x| over all channels in frames [from, to).
double PeakIn(const Audio& a, long from, long to);
