// The formats of the Linux build: whatever libsndfile reads and writes.
#include <sndfile.h>

#include "tools/audiofile/AudioFormat.h"

static_assert(kMajorWav == SF_FORMAT_WAV && kMajorAiff == SF_FORMAT_AIFF &&
                  kMajorW64 == SF_FORMAT_W64 && kMajorFlac == SF_FORMAT_FLAC &&
                  kMajorCaf == SF_FORMAT_CAF && kMajorOgg == SF_FORMAT_OGG &&
                  kMajorRf64 == SF_FORMAT_RF64,
              "container codes are libsndfile's");
static_assert(kSubtypePcmS8 == SF_FORMAT_PCM_S8 && kSubtypePcm16 == SF_FORMAT_PCM_16 &&
                  kSubtypePcm24 == SF_FORMAT_PCM_24 && kSubtypePcm32 == SF_FORMAT_PCM_32 &&
                  kSubtypePcmU8 == SF_FORMAT_PCM_U8 && kSubtypeFloat == SF_FORMAT_FLOAT &&
                  kSubtypeDouble == SF_FORMAT_DOUBLE && kSubtypeVorbis == SF_FORMAT_VORBIS &&
                  kSubtypeOpus == SF_FORMAT_OPUS,
              "encoding codes are libsndfile's");

bool HandlesMajor(int) {
    return true;
}

bool CanWrite(const AudioFormat& format, int channels, int sampleRate) {
    SF_INFO info{};
    info.format = format.Code();
    info.channels = channels;
    info.samplerate = sampleRate;
    return sf_format_check(&info) == SF_TRUE;
}

std::string LibraryDescription(int code) {
    SF_FORMAT_INFO info{};
    info.format = code;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) == 0 && info.name)
        return info.name;
    return std::string();
}
