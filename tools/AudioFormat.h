// Names and rules for the audio file formats brightfall-render reads and
// writes through libsndfile: the container ("major") and sample encoding
// ("subtype") a person names on the command line, how they are described in
// the summary, and how the output's format is chosen. Pure functions.
#pragma once

#include <string>
#include <vector>

struct AudioFormat {
    int major = 0;    // SF_FORMAT_WAV, ...
    int subtype = 0;  // SF_FORMAT_PCM_16, ...
    int Code() const { return major | subtype; }
};

// The names accepted by --format and --subtype.
std::vector<std::string> MajorFormatNames();
std::vector<std::string> SubtypeNames();

// Container for a --format name; 0 when the name is not known.
int MajorFromName(const std::string& name);
// Container that a file name's extension implies (.wav, .flac, .aif, .aiff,
// .ogg, ...); 0 when the extension says nothing.
int MajorFromExtension(const std::string& path);
// Encoding for a --subtype name in a given container (8-bit PCM is unsigned
// in WAV, signed elsewhere); 0 when the name is not known.
int SubtypeFromName(const std::string& name, int major);

// "WAV", "FLAC", ... and "24-bit PCM", "32-bit float", "Vorbis", ...
std::string DescribeMajor(int major);
std::string DescribeSubtype(int subtype);
std::string Describe(const AudioFormat& format);

// Whether libsndfile can write this combination for the channel count and rate.
bool CanWrite(const AudioFormat& format, int channels, int sampleRate);
// The --subtype names a container can hold at this channel count and rate.
std::vector<std::string> WritableSubtypeNames(int major, int channels, int sampleRate);
// The encoding used when the requested or inherited one does not fit.
int DefaultSubtype(int major);

// Whether the encoding stores samples as floating point, so values beyond
// full scale survive in the file instead of being clipped.
bool IsFloatSubtype(int subtype);

// How the output format is chosen: an explicit --format, else the output
// file's extension, else the input's container; an explicit --subtype, else
// the input's encoding when the container can hold it, else the container's
// default. `note` explains a silent change of encoding; ToolError (usage)
// when an explicit request cannot be met.
AudioFormat ChooseOutputFormat(const AudioFormat& input, const std::string& outputPath,
                               const std::string& formatName, const std::string& subtypeName,
                               int channels, int sampleRate, std::string* note);
