// A RIFF/WAVE file read without any audio library: PCM 8-bit (unsigned),
// 16, 24 and 32-bit, IEEE float 32 and 64-bit, in the plain or the
// WAVE_FORMAT_EXTENSIBLE layout. The header is checked against itself and
// against the file's length, so a file that is not WAV, holds another
// encoding or lies about its layout fails with a message saying which. Owns
// the open file. The Windows build's AudioFileReader sits on it; one thread
// at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class WavReader {
  public:
    // Opens `path` and reads its header; throws ToolError naming the file
    // and what is wrong with it.
    explicit WavReader(const std::string& path);
    ~WavReader();
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    int Channels() const { return mChannels; }
    int SampleRate() const { return mRate; }
    // kSubtypePcmU8, kSubtypePcm16, ..., kSubtypeDouble.
    int Subtype() const { return mSubtype; }
    // Frames the data chunk announces; the file may hold fewer.
    long long Frames() const { return mFrames; }
    // Says how far the file falls short of its data chunk when it is cut
    // short; empty when it holds all it announces.
    const std::string& Mismatch() const { return mMismatch; }

    // Reads up to `frames` interleaved frames as doubles: integers scaled so
    // that full scale is [-1, 1), floats as stored. Returns the frames read,
    // 0 at the end of what the file holds. Throws ToolError on a read error.
    long Read(double* interleaved, long frames);

  private:
    void ReadHeader();
    void ParseFormat(const std::vector<unsigned char>& fmt);
    [[noreturn]] void Fail(const std::string& why) const;

    std::string mPath;
    std::FILE* mFile = nullptr;
    int mChannels = 0;
    int mRate = 0;
    int mSubtype = 0;
    int mBytesPerSample = 0;
    int mBlockAlign = 0;
    long long mFrames = 0;
    long long mFramesLeft = 0;  // what the file really holds, from here on
    std::string mMismatch;
    std::vector<unsigned char> mBytes;
};
