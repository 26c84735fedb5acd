#include "tools/audiofile/AudioFormat.h"

#include <algorithm>
#include <cctype>

#include "tools/audiofile/FileSystem.h"
#include "tools/audiofile/ToolError.h"

namespace {

struct MajorEntry {
    const char* name;
    int major;
    const char* description;
};

const MajorEntry kMajors[] = {
    {"wav", kMajorWav, "WAV"},    {"flac", kMajorFlac, "FLAC"}, {"aiff", kMajorAiff, "AIFF"},
    {"ogg", kMajorOgg, "Ogg"},    {"w64", kMajorW64, "Wave64"}, {"caf", kMajorCaf, "CAF"},
    {"rf64", kMajorRf64, "RF64"},
};

struct SubtypeEntry {
    const char* name;
    int subtype;
    const char* description;
};

const SubtypeEntry kSubtypes[] = {
    {"pcm8", kSubtypePcmS8, "8-bit PCM"},     {"pcm16", kSubtypePcm16, "16-bit PCM"},
    {"pcm24", kSubtypePcm24, "24-bit PCM"},   {"pcm32", kSubtypePcm32, "32-bit PCM"},
    {"float", kSubtypeFloat, "32-bit float"}, {"double", kSubtypeDouble, "64-bit float"},
    {"vorbis", kSubtypeVorbis, "Vorbis"},     {"opus", kSubtypeOpus, "Opus"},
};

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& s : items)
        out += (out.empty() ? "" : ", ") + s;
    return out;
}

}  // namespace

std::vector<std::string> MajorFormatNames() {
    std::vector<std::string> names;
    for (const auto& m : kMajors)
        if (HandlesMajor(m.major))
            names.emplace_back(m.name);
    return names;
}

// An encoding counts when some container of this build holds it (Opus wants
// 48 kHz).
std::vector<std::string> SubtypeNames() {
    std::vector<std::string> names;
    for (const auto& s : kSubtypes) {
        for (const auto& m : kMajors) {
            if (HandlesMajor(m.major) &&
                CanWrite(AudioFormat{m.major, SubtypeFromName(s.name, m.major)}, 2, 48000)) {
                names.emplace_back(s.name);
                break;
            }
        }
    }
    return names;
}

int MajorFromName(const std::string& name) {
    const std::string n = Lower(name);
    for (const auto& m : kMajors)
        if (n == m.name)
            return m.major;
    if (n == "aif" || n == "aifc")
        return kMajorAiff;
    return 0;
}

int MajorFromExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of(FileSystem::kSeparators);
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return 0;
    const std::string ext = Lower(path.substr(dot + 1));
    if (ext == "oga" || ext == "opus")
        return kMajorOgg;
    if (ext == "wave")
        return kMajorWav;
    return MajorFromName(ext);
}

int SubtypeFromName(const std::string& name, int major) {
    const std::string n = Lower(name);
    for (const auto& s : kSubtypes) {
        if (n != s.name)
            continue;
        if (s.subtype == kSubtypePcmS8 &&
            (major == kMajorWav || major == kMajorW64 || major == kMajorRf64))
            return kSubtypePcmU8;
        return s.subtype;
    }
    return 0;
}

std::string DescribeMajor(int major) {
    for (const auto& m : kMajors)
        if (m.major == major)
            return m.description;
    const std::string name = LibraryDescription(major);
    return name.empty() ? "unknown format" : name;
}

std::string DescribeSubtype(int subtype) {
    if (subtype == kSubtypePcmU8)
        return "8-bit PCM";
    for (const auto& s : kSubtypes)
        if (s.subtype == subtype)
            return s.description;
    const std::string name = LibraryDescription(subtype);
    return name.empty() ? "unknown encoding" : name;
}

std::string Describe(const AudioFormat& format) {
    return DescribeMajor(format.major) + " " + DescribeSubtype(format.subtype);
}

std::vector<std::string> WritableSubtypeNames(int major, int channels, int sampleRate) {
    std::vector<std::string> names;
    for (const auto& s : kSubtypes) {
        const AudioFormat f{major, SubtypeFromName(s.name, major)};
        if (CanWrite(f, channels, sampleRate))
            names.emplace_back(s.name);
    }
    return names;
}

int DefaultSubtype(int major) {
    return major == kMajorOgg ? kSubtypeVorbis : kSubtypePcm24;
}

bool IsFloatSubtype(int subtype) {
    return subtype == kSubtypeFloat || subtype == kSubtypeDouble || subtype == kSubtypeVorbis ||
           subtype == kSubtypeOpus;
}

AudioFormat ChooseOutputFormat(const AudioFormat& input, const std::string& outputPath,
                               const std::string& formatName, const std::string& subtypeName,
                               int channels, int sampleRate, std::string* note) {
    AudioFormat out;
    if (!formatName.empty()) {
        out.major = MajorFromName(formatName);
        if (!out.major)
            throw UsageError("--format " + formatName + ": unknown format; choose one of " +
                             Join(MajorFormatNames()));
        if (!HandlesMajor(out.major))
            throw UsageError("--format " + formatName + ": this build writes " +
                             Join(MajorFormatNames()) + " only");
    } else {
        out.major = MajorFromExtension(outputPath);
        if (out.major && !HandlesMajor(out.major))
            throw UsageError(outputPath + " names a " + DescribeMajor(out.major) +
                             " file, but this build writes " + Join(MajorFormatNames()) +
                             " only; name it ." + MajorFormatNames().front() + " or give --format");
        if (!out.major)
            out.major = input.major;
    }

    if (!subtypeName.empty()) {
        out.subtype = SubtypeFromName(subtypeName, out.major);
        if (!out.subtype)
            throw UsageError("--subtype " + subtypeName + ": unknown encoding; choose one of " +
                             Join(SubtypeNames()));
        if (!CanWrite(out, channels, sampleRate)) {
            const auto fits = WritableSubtypeNames(out.major, channels, sampleRate);
            throw UsageError(
                "--subtype " + subtypeName + ": " + DescribeMajor(out.major) + " cannot hold " +
                DescribeSubtype(out.subtype) +
                (fits.empty() ? std::string(" at this rate") : "; it takes " + Join(fits)));
        }
        return out;
    }

    out.subtype = input.subtype;
    // 8-bit PCM is unsigned in some containers and signed in others.
    if (out.subtype == kSubtypePcmU8 || out.subtype == kSubtypePcmS8)
        out.subtype = SubtypeFromName("pcm8", out.major);
    if (CanWrite(out, channels, sampleRate))
        return out;

    const int wanted = out.subtype;
    out.subtype = DefaultSubtype(out.major);
    if (!CanWrite(out, channels, sampleRate))
        throw ToolError("cannot write " + DescribeMajor(out.major) + " with " +
                        std::to_string(channels) + " channels at " + std::to_string(sampleRate) +
                        " Hz");
    if (note)
        *note = DescribeMajor(out.major) + " cannot hold " + DescribeSubtype(wanted) +
                "; writing " + DescribeSubtype(out.subtype);
    return out;
}
