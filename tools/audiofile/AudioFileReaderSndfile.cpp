// AudioFileReader's decoding through libsndfile (the Linux build).
#include <sndfile.h>

#include <cstdio>
#include <sstream>

#include "tools/audiofile/AudioFileReader.h"
#include "tools/audiofile/SndfileState.h"
#include "tools/audiofile/ToolError.h"

struct AudioFileReader::Decoder : SndfileState {};

void AudioFileReader::DecoderDeleter::operator()(Decoder* decoder) const {
    SndfileState::Close(decoder);
}

void AudioFileReader::Open() {
    SF_INFO info{};
    SNDFILE* file = sf_open(mPath.c_str(), SFM_READ, &info);
    if (!file)
        throw ToolError(mPath +
                        " is not an audio file that can be read (WAV, FLAC, AIFF, Ogg, ...): " +
                        sf_strerror(nullptr));
    mDecoder.reset(new Decoder{file});
    mChannels = info.channels;
    mRate = info.samplerate;
    mFrames = static_cast<long long>(info.frames);
    mFormat = AudioFormat{info.format & SF_FORMAT_TYPEMASK, info.format & SF_FORMAT_SUBMASK};

    // libsndfile reads what is there and notes "data : N (should be M)" in
    // its log when the header promised more than the file holds. (Extra bytes
    // after the data, M above N, are harmless and not reported.)
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof(log));
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
}

long AudioFileReader::ReadFrames(double* interleaved, long frames) {
    SNDFILE* file = mDecoder->file;
    const sf_count_t got = sf_readf_double(file, interleaved, frames);
    if (got < frames && sf_error(file) != SF_ERR_NO_ERROR)
        throw ToolError("cannot read " + mPath + ": " + sf_strerror(file));
    return static_cast<long>(got);
}
