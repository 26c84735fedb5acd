// The formats of the Windows build, which has no libsndfile: WAV, through
// the tool's own reader and writer.
#include "tools/audiofile/AudioFormat.h"
#include "tools/audiofile/WavWriter.h"

bool HandlesMajor(int major) {
    return major == kMajorWav;
}

bool CanWrite(const AudioFormat& format, int channels, int sampleRate) {
    return format.major == kMajorWav && WavWriter::CanWrite(format.subtype, channels, sampleRate);
}

std::string LibraryDescription(int) {
    return std::string();
}
