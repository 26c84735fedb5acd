// An audio file written into a temporary file beside its target, which takes
// the target's name only when Commit() succeeds. Integer encodings hold the
// integers PcmFromSample makes, in every build. The encoding library is the
// build's: libsndfile on Linux (AudioFileWriterSndfile.cpp), the tool's own
// WAV writer on Windows (AudioFileWriterWav.cpp). Owns the open file and the
// temporary file. Main or render thread, one at a time.
#pragma once

#include <memory>
#include <string>

#include "tools/audiofile/AtomicFile.h"
#include "tools/audiofile/AudioFormat.h"

class AudioFileWriter {
  public:
    // Throws ToolError when the path cannot be written or the library
    // refuses the format.
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
    // The library's handle, defined with the library's code.
    struct Encoder;
    struct EncoderDeleter {
        void operator()(Encoder* encoder) const;
    };

    AtomicFile mFile;
    // Declared after mFile, so it is gone before the file is.
    std::unique_ptr<Encoder, EncoderDeleter> mEncoder;
    long long mFrames = 0;
};
