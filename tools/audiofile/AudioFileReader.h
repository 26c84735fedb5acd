// An audio file opened for reading, with the checks that turn a bad file
// into a clear message: missing, unreadable, not audio, more than two
// channels, samples that are not numbers. The decoding library is the
// build's: libsndfile on Linux (AudioFileReaderSndfile.cpp), the tool's own
// WAV reader on Windows (AudioFileReaderWav.cpp); the checks are shared
// (AudioFileReader.cpp). Owns the open file. Main or render thread, one at a
// time.
#pragma once

#include <memory>
#include <string>

#include "tools/audiofile/AudioFormat.h"

class AudioFileReader {
  public:
    // Opens `path`; throws ToolError saying why it cannot be used.
    explicit AudioFileReader(const std::string& path);
    ~AudioFileReader();
    AudioFileReader(const AudioFileReader&) = delete;
    AudioFileReader& operator=(const AudioFileReader&) = delete;

    const std::string& Path() const { return mPath; }
    int Channels() const { return mChannels; }
    int SampleRate() const { return mRate; }
    // Frames the header announces; the file may hold fewer if truncated.
    long long Frames() const { return mFrames; }
    AudioFormat Format() const { return mFormat; }
    // The decoder's remark when the header and the file's length disagree
    // (a file cut short, for one), or empty.
    const std::string& HeaderMismatch() const { return mMismatch; }

    // Reads up to `frames` interleaved frames as doubles in [-1, 1] for
    // integer files (float files as stored). Returns the frames read, 0 at
    // the end. Throws ToolError on a read error or a sample that is not a
    // finite number.
    long Read(double* interleaved, long frames);

  private:
    // The library's handle, defined with the library's code.
    struct Decoder;
    struct DecoderDeleter {
        void operator()(Decoder* decoder) const;
    };

    // Opens mPath with the library and fills in the fields below; throws
    // ToolError when the library cannot read it.
    void Open();
    // Up to `frames` frames as the library decodes them; throws ToolError.
    long ReadFrames(double* interleaved, long frames);

    std::string mPath;
    std::unique_ptr<Decoder, DecoderDeleter> mDecoder;
    int mChannels = 0;
    int mRate = 0;
    long long mFrames = 0;
    AudioFormat mFormat;
    std::string mMismatch;
    long long mPosition = 0;
};
