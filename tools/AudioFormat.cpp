#include "tools/AudioFormat.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>

#include "tools/ToolError.h"

namespace {

struct MajorEntry {
    const char* name;
    int major;
    const char* description;
};

const MajorEntry kMajors[] = {
    {"wav", SF_FORMAT_WAV, "WAV"},    {"flac", SF_FORMAT_FLAC, "FLAC"},
    {"aiff", SF_FORMAT_AIFF, "AIFF"}, {"ogg", SF_FORMAT_OGG, "Ogg"},
    {"w64", SF_FORMAT_W64, "Wave64"}, {"caf", SF_FORMAT_CAF, "CAF"},
    {"rf64", SF_FORMAT_RF64, "RF64"},
};

struct SubtypeEntry {
    const char* name;
    int subtype;
    const char* description;
};

const SubtypeEntry kSubtypes[] = {
    {"pcm8", SF_FORMAT_PCM_S8, "8-bit PCM"},    {"pcm16", SF_FORMAT_PCM_16, "16-bit PCM"},
    {"pcm24", SF_FORMAT_PCM_24, "24-bit PCM"},  {"pcm32", SF_FORMAT_PCM_32, "32-bit PCM"},
    {"float", SF_FORMAT_FLOAT, "32-bit float"}, {"double", SF_FORMAT_DOUBLE, "64-bit float"},
    {"vorbis", SF_FORMAT_VORBIS, "Vorbis"},     {"opus", SF_FORMAT_OPUS, "Opus"},
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
        names.emplace_back(m.name);
    return names;
}

std::vector<std::string> SubtypeNames() {
    std::vector<std::string> names;
    for (const auto& s : kSubtypes)
        names.emplace_back(s.name);
    return names;
}

int MajorFromName(const std::string& name) {
    const std::string n = Lower(name);
    for (const auto& m : kMajors)
        if (n == m.name)
            return m.major;
    if (n == "aif" || n == "aifc")
        return SF_FORMAT_AIFF;
    return 0;
}

int MajorFromExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return 0;
    const std::string ext = Lower(path.substr(dot + 1));
    if (ext == "oga" || ext == "opus")
        return SF_FORMAT_OGG;
    if (ext == "wave")
        return SF_FORMAT_WAV;
    return MajorFromName(ext);
}

int SubtypeFromName(const std::string& name, int major) {
    const std::string n = Lower(name);
    for (const auto& s : kSubtypes) {
        if (n != s.name)
            continue;
        if (s.subtype == SF_FORMAT_PCM_S8 &&
            (major == SF_FORMAT_WAV || major == SF_FORMAT_W64 || major == SF_FORMAT_RF64))
            return SF_FORMAT_PCM_U8;
        return s.subtype;
    }
    return 0;
}

std::string DescribeMajor(int major) {
    for (const auto& m : kMajors)
        if (m.major == major)
            return m.description;
    SF_FORMAT_INFO info{};
    info.format = major;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) == 0 && info.name)
        return info.name;
    return "unknown format";
}

std::string DescribeSubtype(int subtype) {
    if (subtype == SF_FORMAT_PCM_U8)
        return "8-bit PCM";
    for (const auto& s : kSubtypes)
        if (s.subtype == subtype)
            return s.description;
    SF_FORMAT_INFO info{};
    info.format = subtype;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) == 0 && info.name)
        return info.name;
    return "unknown encoding";
}

std::string Describe(const AudioFormat& format) {
    return DescribeMajor(format.major) + " " + DescribeSubtype(format.subtype);
}

bool CanWrite(const AudioFormat& format, int channels, int sampleRate) {
    SF_INFO info{};
    info.format = format.Code();
    info.channels = channels;
    info.samplerate = sampleRate;
    return sf_format_check(&info) == SF_TRUE;
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
    return major == SF_FORMAT_OGG ? SF_FORMAT_VORBIS : SF_FORMAT_PCM_24;
}

bool IsFloatSubtype(int subtype) {
    return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE ||
           subtype == SF_FORMAT_VORBIS || subtype == SF_FORMAT_OPUS;
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
    } else {
        out.major = MajorFromExtension(outputPath);
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
    if (out.subtype == SF_FORMAT_PCM_U8 || out.subtype == SF_FORMAT_PCM_S8)
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
