#include "tools/AudioFileReader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "tools/ToolError.h"

AudioFileReader::AudioFileReader(const std::string& path) : mPath(path) {
    // libsndfile's own message for a missing file is vague; ask the system.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        throw ToolError("cannot open " + path + ": it is a folder");
    if (FILE* probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    }

    mFile = sf_open(path.c_str(), SFM_READ, &mInfo);
    if (!mFile)
        throw ToolError(path +
                        " is not an audio file that can be read (WAV, FLAC, AIFF, Ogg, ...): " +
                        sf_strerror(nullptr));
    if (mInfo.channels > 2) {
        const int channels = mInfo.channels;
        sf_close(mFile);
        mFile = nullptr;
        throw ToolError(path + " has " + std::to_string(channels) +
                        " channels; only mono and stereo files can be processed");
    }
    // libsndfile reads what is there and notes "data : N (should be M)" in
    // its log when the header promised more than the file holds. (Extra bytes
    // after the data, M above N, are harmless and not reported.)
    char log[8192] = {};
    sf_command(mFile, SFC_GET_LOG_INFO, log, sizeof(log));
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        long long said = 0, is = 0;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos ||
            std::sscanf(line.c_str() + colon + 1, " %lld (should be %lld)", &said, &is) != 2)
            continue;
        if (is < said) {
            mMismatch = line;
            break;
        }
    }
    if (mInfo.channels < 1 || mInfo.samplerate < 1) {
        sf_close(mFile);
        mFile = nullptr;
        throw ToolError(path + " has no audio channels or no sample rate");
    }
}

AudioFileReader::~AudioFileReader() {
    if (mFile)
        sf_close(mFile);
}

AudioFormat AudioFileReader::Format() const {
    return AudioFormat{mInfo.format & SF_FORMAT_TYPEMASK, mInfo.format & SF_FORMAT_SUBMASK};
}

long AudioFileReader::Read(double* interleaved, long frames) {
    const sf_count_t got = sf_readf_double(mFile, interleaved, frames);
    if (got < frames && sf_error(mFile) != SF_ERR_NO_ERROR)
        throw ToolError("cannot read " + mPath + ": " + sf_strerror(mFile));
    const long n = static_cast<long>(got);
    for (long i = 0; i < n * mInfo.channels; ++i) {
        if (!std::isfinite(interleaved[i])) {
            const double at = static_cast<double>(mPosition + i / mInfo.channels) /
                              static_cast<double>(mInfo.samplerate);
            char where[64];
            std::snprintf(where, sizeof(where), "%.3f s", at);
            throw ToolError(mPath + " holds a sample that is not a finite number at " + where);
        }
    }
    mPosition += n;
    return n;
}
