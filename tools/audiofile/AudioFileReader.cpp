#include "tools/audiofile/AudioFileReader.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/audiofile/FileSystem.h"
#include "tools/audiofile/ToolError.h"

AudioFileReader::AudioFileReader(const std::string& path) : mPath(path) {
    // A decoder's own message for a missing file is vague; ask the system.
    bool isFolder = false;
    if (!FileSystem::Find(path, &isFolder))
        throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    if (isFolder)
        throw ToolError("cannot open " + path + ": it is a folder");
    if (FILE* probe = FileSystem::Open(path, "rb")) {
        std::fclose(probe);
    } else {
        throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    }

    Open();
    if (mChannels > 2)
        throw ToolError(path + " has " + std::to_string(mChannels) +
                        " channels; only mono and stereo files can be processed");
    if (mChannels < 1 || mRate < 1)
        throw ToolError(path + " has no audio channels or no sample rate");
}

AudioFileReader::~AudioFileReader() = default;

long AudioFileReader::Read(double* interleaved, long frames) {
    const long n = ReadFrames(interleaved, frames);
    for (long i = 0; i < n * mChannels; ++i) {
        if (!std::isfinite(interleaved[i])) {
            const double at =
                static_cast<double>(mPosition + i / mChannels) / static_cast<double>(mRate);
            char where[64];
            std::snprintf(where, sizeof(where), "%.3f s", at);
            throw ToolError(mPath + " holds a sample that is not a finite number at " + where);
        }
    }
    mPosition += n;
    return n;
}
