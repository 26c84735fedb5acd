// Names and rules for the audio file formats brightfall-render reads and
// writes: the container ("major") and sample encoding ("subtype") a person
// names on the command line, how they are described in the summary, and how
// the output's format is chosen. Pure functions. The file library behind them
// is chosen by the build: libsndfile on Linux (AudioFormatSndfile.cpp), the
// tool's own WAV codec on Windows (AudioFormatWav.cpp).
#pragma once

#include <string>
#include <vector>

// Container and encoding codes: libsndfile's values, handed to it unchanged
// where it is the library; the WAV-only build uses them as names.
constexpr int kMajorWav = 0x010000;
constexpr int kMajorAiff = 0x020000;
constexpr int kMajorW64 = 0x0B0000;
constexpr int kMajorFlac = 0x170000;
constexpr int kMajorCaf = 0x180000;
constexpr int kMajorOgg = 0x200000;
constexpr int kMajorRf64 = 0x220000;
constexpr int kSubtypePcmS8 = 0x0001;
constexpr int kSubtypePcm16 = 0x0002;
constexpr int kSubtypePcm24 = 0x0003;
constexpr int kSubtypePcm32 = 0x0004;
constexpr int kSubtypePcmU8 = 0x0005;
constexpr int kSubtypeFloat = 0x0006;
constexpr int kSubtypeDouble = 0x0007;
constexpr int kSubtypeVorbis = 0x0060;
constexpr int kSubtypeOpus = 0x0064;

struct AudioFormat {
    int major = 0;    // kMajorWav, ...
    int subtype = 0;  // kSubtypePcm16, ...
    int Code() const { return major | subtype; }
};

// The names accepted by --format and --subtype in this build.
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

// Provided by the build's file library:
// whether it reads and writes this container at all,
bool HandlesMajor(int major);
// whether it can write this combination for the channel count and rate,
bool CanWrite(const AudioFormat& format, int channels, int sampleRate);
// and its own name for a container or encoding this file does not list
// (empty when it has none).
std::string LibraryDescription(int code);

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
// when an explicit request cannot be met, or the container is not one this
// build writes.
AudioFormat ChooseOutputFormat(const AudioFormat& input, const std::string& outputPath,
                               const std::string& formatName, const std::string& subtypeName,
                               int channels, int sampleRate, std::string* note);
