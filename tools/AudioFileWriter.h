// An audio file written through libsndfile into a temporary file beside its
// target, which takes the target's name only when Commit() succeeds. Integer
// encodings clip at full scale instead of wrapping around. Owns the open
// file and the temporary file. Main or render thread, one at a time.
#pragma once

#include <sndfile.h>

#include <string>

#include "tools/AtomicFile.h"
#include "tools/AudioFormat.h"

class AudioFileWriter {
  public:
    // Throws ToolError when the path cannot be written or libsndfile refuses
    // the format.
    AudioFileWriter(const std::string& path, const AudioFormat& format, int channels,
                    int sampleRate);
    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    void Write(const double* interleaved, long frames);
    long long FramesWritten() const { return mFrames; }
    // Finishes the file and gives it its name; throws ToolError.
    void Commit();

  private:
    AtomicFile mFile;
    SNDFILE* mSnd = nullptr;
    long long mFrames = 0;
};
