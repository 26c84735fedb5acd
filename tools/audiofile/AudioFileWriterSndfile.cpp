// AudioFileWriter through libsndfile (the Linux build). Integer encodings
// are handed to libsndfile as integers made by PcmFromSample, so this build
// stores the same samples as the Windows build's WAV writer; libsndfile's
// own conversion from doubles rounds differently.
#include <sndfile.h>

#include <cstdint>
#include <vector>

#include "tools/audiofile/AudioFileWriter.h"
#include "tools/audiofile/PcmSample.h"
#include "tools/audiofile/SndfileState.h"
#include "tools/audiofile/ToolError.h"

namespace {

// Bits per sample of an integer PCM encoding; 0 for the others.
int PcmBits(int subtype) {
    switch (subtype) {
        case kSubtypePcmS8:
        case kSubtypePcmU8:
            return 8;
        case kSubtypePcm16:
            return 16;
        case kSubtypePcm24:
            return 24;
        case kSubtypePcm32:
            return 32;
        default:
            return 0;
    }
}

}  // namespace

struct AudioFileWriter::Encoder : SndfileState {
    int channels = 0;
    int pcmBits = 0;
    std::vector<int> pcm;
};

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
    mEncoder.reset(new Encoder);
    mEncoder->file = snd;
    mEncoder->channels = channels;
    mEncoder->pcmBits = PcmBits(format.subtype);
    // The peak chunk of float files carries a timestamp; without it, the same
    // render gives the same bytes.
    sf_command(snd, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

AudioFileWriter::~AudioFileWriter() = default;

void AudioFileWriter::Write(const double* interleaved, long frames) {
    if (frames <= 0)
        return;
    Encoder& e = *mEncoder;
    sf_count_t n = 0;
    if (e.pcmBits > 0) {
        // libsndfile takes ints at full 32-bit scale and keeps their top
        // bits: an integer shifted up to them is stored exactly.
        const std::size_t count = static_cast<std::size_t>(frames) * e.channels;
        const int shift = 32 - e.pcmBits;
        e.pcm.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            e.pcm[i] = static_cast<int>(
                static_cast<std::uint32_t>(PcmFromSample(interleaved[i], e.pcmBits)) << shift);
        n = sf_writef_int(e.file, e.pcm.data(), frames);
    } else {
        n = sf_writef_double(e.file, interleaved, frames);
    }
    if (n != frames)
        throw ToolError("cannot write " + mFile.Target() + ": " + sf_strerror(e.file));
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
