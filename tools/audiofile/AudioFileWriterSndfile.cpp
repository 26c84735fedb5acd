// AudioFileWriter through libsndfile (the Linux build).
#include <sndfile.h>

#include "tools/audiofile/AudioFileWriter.h"
#include "tools/audiofile/SndfileState.h"
#include "tools/audiofile/ToolError.h"

struct AudioFileWriter::Encoder : SndfileState {};

void AudioFileWriter::EncoderDeleter::operator()(Encoder* encoder) const {
    SndfileState::Close(encoder);
}

AudioFileWriter::AudioFileWriter(const std::string& path, const AudioFormat& format, int channels,
                                 int sampleRate)
    : mFile(path) {
    SF_INFO info{};
    info.format = format.Code();
    info.channels = channels;
    info.samplerate = sampleRate;
    SNDFILE* snd = sf_open_fd(mFile.Descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (!snd)
        throw ToolError("cannot write " + path + " as " + Describe(format) + ": " +
                        sf_strerror(nullptr));
    mEncoder.reset(new Encoder{snd});
    if (!IsFloatSubtype(format.subtype))
        sf_command(snd, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The peak chunk of float files carries a timestamp; without it, the same
    // render gives the same bytes.
    sf_command(snd, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

AudioFileWriter::~AudioFileWriter() = default;

void AudioFileWriter::Write(const double* interleaved, long frames) {
    if (frames <= 0)
        return;
    const sf_count_t n = sf_writef_double(mEncoder->file, interleaved, frames);
    if (n != frames)
        throw ToolError("cannot write " + mFile.Target() + ": " + sf_strerror(mEncoder->file));
    mFrames += frames;
}

void AudioFileWriter::Commit() {
    SNDFILE* snd = mEncoder->file;
    mEncoder->file = nullptr;
    const int err = sf_close(snd);
    if (err != 0)
        throw ToolError("cannot finish " + mFile.Target() + ": " + sf_error_number(err));
    mFile.Commit();
}
