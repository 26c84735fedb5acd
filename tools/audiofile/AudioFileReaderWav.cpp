// AudioFileReader's decoding through the tool's own WAV reader (the Windows
// build, which has no libsndfile).
#include "tools/audiofile/AudioFileReader.h"
#include "tools/audiofile/WavReader.h"

struct AudioFileReader::Decoder {
    explicit Decoder(const std::string& path) : wav(path) {}
    WavReader wav;
};

void AudioFileReader::DecoderDeleter::operator()(Decoder* decoder) const {
    delete decoder;
}

void AudioFileReader::Open() {
    mDecoder.reset(new Decoder(mPath));
    const WavReader& wav = mDecoder->wav;
    mChannels = wav.Channels();
    mRate = wav.SampleRate();
    mFrames = wav.Frames();
    mFormat = AudioFormat{kMajorWav, wav.Subtype()};
    mMismatch = wav.Mismatch();
}

long AudioFileReader::ReadFrames(double* interleaved, long frames) {
    return mDecoder->wav.Read(interleaved, frames);
}
