#include "tools/AudioFileWriter.h"

#include "tools/ToolError.h"

AudioFileWriter::AudioFileWriter(const std::string& path, const AudioFormat& format, int channels,
                                 int sampleRate)
    : mFile(path) {
    SF_INFO info{};
    info.format = format.Code();
    info.channels = channels;
    info.samplerate = sampleRate;
    mSnd = sf_open_fd(mFile.Descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (!mSnd)
        throw ToolError("cannot write " + path + " as " + Describe(format) + ": " +
                        sf_strerror(nullptr));
    if (!IsFloatSubtype(format.subtype))
        sf_command(mSnd, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The peak chunk of float files carries a timestamp; without it, the same
    // render gives the same bytes.
    sf_command(mSnd, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

AudioFileWriter::~AudioFileWriter() {
    if (mSnd)
        sf_close(mSnd);
}

void AudioFileWriter::Write(const double* interleaved, long frames) {
    if (frames <= 0)
        return;
    const sf_count_t n = sf_writef_double(mSnd, interleaved, frames);
    if (n != frames)
        throw ToolError("cannot write " + mFile.Target() + ": " + sf_strerror(mSnd));
    mFrames += frames;
}

void AudioFileWriter::Commit() {
    SNDFILE* snd = mSnd;
    mSnd = nullptr;
    const int err = sf_close(snd);
    if (err != 0)
        throw ToolError("cannot finish " + mFile.Target() + ": " + sf_error_number(err));
    mFile.Commit();
}
