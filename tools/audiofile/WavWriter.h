// Samples written as a RIFF/WAVE file without any audio library, into an
// AtomicFile: PCM 8-bit (unsigned), 16, 24 and 32-bit, made by PcmFromSample
// (rounded, clipped at full scale rather than wrapped around), and IEEE float
// 32 and 64-bit, kept as they are.
// The header's sizes are filled in by Finish(). Owns its conversion buffer;
// the file belongs to the caller. The Windows build's AudioFileWriter sits on
// it; one thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/audiofile/AtomicFile.h"

class WavWriter {
  public:
    // `subtype` is one of kSubtypePcmU8, kSubtypePcm16, ..., kSubtypeDouble.
    // Writes the header; throws ToolError for an encoding WAV cannot hold.
    WavWriter(AtomicFile& file, int subtype, int channels, int sampleRate);
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Whether this writer takes the encoding, channel count and rate.
    static bool CanWrite(int subtype, int channels, int sampleRate);

    // Appends `frames` interleaved frames; throws ToolError on a write error
    // or when the file would outgrow what a WAV header can describe (4 GiB).
    void Write(const double* interleaved, long frames);
    // Fills in the header's sizes. The file is left for the caller to commit.
    void Finish();
    long long Frames() const { return mFrames; }

  private:
    std::vector<unsigned char> Header() const;

    AtomicFile& mFile;
    int mSubtype;
    int mChannels;
    int mRate;
    int mBytesPerSample;
    std::uint64_t mHeaderBytes = 0;
    long long mFrames = 0;
    std::vector<unsigned char> mBytes;
};
