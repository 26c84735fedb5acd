// AudioFileWriter through the tool's own WAV writer (the Windows build,
// which has no libsndfile).
#include "tools/audiofile/AudioFileWriter.h"
#include "tools/audiofile/ToolError.h"
#include "tools/audiofile/WavWriter.h"

struct AudioFileWriter::Encoder {
    Encoder(AtomicFile& file, int subtype, int channels, int rate)
        : wav(file, subtype, channels, rate) {}
    WavWriter wav;
};

void AudioFileWriter::EncoderDeleter::operator()(Encoder* encoder) const {
    delete encoder;
}

AudioFileWriter::AudioFileWriter(const std::string& path, const AudioFormat& format, int channels,
                                 int sampleRate)
    : mFile(path) {
    if (format.major != kMajorWav)
        throw ToolError("cannot write " + path + " as " + Describe(format) +
                        ": this build writes WAV files only");
    mEncoder.reset(new Encoder(mFile, format.subtype, channels, sampleRate));
}

AudioFileWriter::~AudioFileWriter() = default;

void AudioFileWriter::Write(const double* interleaved, long frames) {
    mEncoder->wav.Write(interleaved, frames);
    mFrames = mEncoder->wav.Frames();
}

void AudioFileWriter::Commit() {
    mEncoder->wav.Finish();
    mFile.Commit();
}
