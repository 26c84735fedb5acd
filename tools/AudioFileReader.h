// An audio file opened for reading through libsndfile, with the checks that
// turn a bad file into a clear message: missing, unreadable, not audio, more
// than two channels, samples that are not numbers. Owns the open file.
// Main or render thread, one at a time.
#pragma once

#include <sndfile.h>

#include <string>

#include "tools/AudioFormat.h"

class AudioFileReader {
  public:
    // Opens `path`; throws ToolError saying why it cannot be used.
    explicit AudioFileReader(const std::string& path);
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    const std::string& Path() const { return mPath; }
    int Channels() const { return mInfo.channels; }
    int SampleRate() const { return mInfo.samplerate; }
    // Frames the header announces; the file may hold fewer if truncated.
    long long Frames() const { return static_cast<long long>(mInfo.frames); }
    AudioFormat Format() const;
    // libsndfile's remark when the header and the file's length disagree
    // (a file cut short, for one), or empty.
    const std::string& HeaderMismatch() const { return mMismatch; }

    // Reads up to `frames` interleaved frames as doubles in [-1, 1] for
    // integer files (float files as stored). Returns the frames read, 0 at
    // the end. Throws ToolError on a read error or a sample that is not a
    // finite number.
    long Read(double* interleaved, long frames);

  private:
    std::string mPath;
    SF_INFO mInfo{};
    SNDFILE* mFile = nullptr;
    long long mPosition = 0;
    std::string mMismatch;
};
