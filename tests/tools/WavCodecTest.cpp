// The tool's own WAV reader and writer: every encoding written and read
// back, the one rule for integer samples (and the build's audio file writer,
// libsndfile on Linux, keeping to it), headers laid out as other programs lay
// them out, files cut short, broken or lying, and (where libsndfile is at
// hand) libsndfile's reading of our files and ours of its files.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ScratchTest.h"
#include "tools/audiofile/AtomicFile.h"
#include "tools/audiofile/AudioFileWriter.h"
#include "tools/audiofile/AudioFormat.h"
#include "tools/audiofile/PcmSample.h"
#include "tools/audiofile/ToolError.h"
#include "tools/audiofile/WavReader.h"
#include "tools/audiofile/WavWriter.h"

#if defined(BRIGHTFALL_TEST_WITH_SNDFILE)
#include <sndfile.h>
#endif

namespace {

using WavFile = ScratchTest;

struct Encoding {
    int subtype;
    int bits;
    bool isFloat;
};

const Encoding kEncodings[] = {
    {kSubtypePcmU8, 8, false},  {kSubtypePcm16, 16, false}, {kSubtypePcm24, 24, false},
    {kSubtypePcm32, 32, false}, {kSubtypeFloat, 32, true},  {kSubtypeDouble, 64, true},
};

// Values the encoding holds exactly: for integers, whole steps of
// 2^-(bits-1) with both ends of the range; for floats, values beyond full
// scale too, which a float file keeps.
std::vector<double> ExactSamples(const Encoding& e, std::size_t count) {
    std::vector<double> v(count);
    std::uint32_t state = 2024;
    const double step = e.isFloat ? 0.0 : std::ldexp(1.0, -(e.bits - 1));
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        const double r = static_cast<double>(state) / 4294967296.0 * 2.0 - 1.0;  // [-1, 1)
        if (!e.isFloat)
            v[i] = std::floor(r / step) * step;
        else if (e.bits == 32)
            v[i] = static_cast<float>(r * 3.0);
        else
            v[i] = r * 3.0 + 1e-300;
    }
    if (!e.isFloat) {
        v[0] = -1.0;
        v[1] = 1.0 - step;
        v[2] = step;
        v[3] = -step;
    }
    return v;
}

void Write(const std::string& path, const Encoding& e, int channels, int rate,
           const std::vector<double>& samples) {
    AtomicFile file(path);
    WavWriter writer(file, e.subtype, channels, rate);
    const long frames = static_cast<long>(samples.size()) / channels;
    // Two calls, so the second appends to the first.
    writer.Write(samples.data(), frames / 3);
    writer.Write(samples.data() + (frames / 3) * channels, frames - frames / 3);
    writer.Finish();
    file.Commit();
}

std::vector<double> ReadAll(WavReader& reader) {
    std::vector<double> all, block(static_cast<std::size_t>(300) * reader.Channels());
    for (long n; (n = reader.Read(block.data(), 300)) > 0;)
        all.insert(all.end(), block.begin(), block.begin() + n * reader.Channels());
    return all;
}

TEST_F(WavFile, EveryEncodingReadsBackExactlyAsWritten) {
    for (const Encoding& e : kEncodings) {
        for (int channels : {1, 2}) {
            SCOPED_TRACE(std::to_string(e.bits) + (e.isFloat ? "-bit float" : "-bit PCM") + ", " +
                         std::to_string(channels) + " channels");
            const long frames = 1001;  // odd: 8-bit mono data needs a pad byte
            const std::vector<double> samples = ExactSamples(e, frames * channels);
            const std::string path = Path("rt.wav");
            Write(path, e, channels, 22050, samples);
            EXPECT_EQ(ReadBytes(path).size() % 2, 0u) << "RIFF chunks are padded to even sizes";

            WavReader reader(path);
            EXPECT_EQ(reader.Channels(), channels);
            EXPECT_EQ(reader.SampleRate(), 22050);
            EXPECT_EQ(reader.Subtype(), e.subtype);
            EXPECT_EQ(reader.Frames(), frames);
            EXPECT_EQ(reader.Mismatch(), "");
            EXPECT_EQ(ReadAll(reader), samples);
        }
    }
}

TEST(PcmSample, RoundsTiesToEvenClipsAtFullScaleAndSilencesNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double tiny = std::numeric_limits<double>::denorm_min();
    for (int bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const double q = std::ldexp(1.0, 1 - bits);  // one step
        const auto max = static_cast<std::int32_t>(std::ldexp(1.0, bits - 1) - 1.0);
        const std::int32_t min = -max - 1;
        struct Case {
            double in;
            std::int32_t want;
        };
        const std::vector<Case> cases = {
            {-1.0, min},
            {1.0, max},
            {1.0 - q, max},
            {std::nextafter(1.0, 2.0), max},
            {std::nextafter(-1.0, -2.0), min},
            {-7.0, min},
            {inf, max},
            {-inf, min},
            // The ties next to each end: max is odd, min even.
            {1.0 - 1.5 * q, max - 1},
            {-1.0 + 0.5 * q, min},
            {0.5 * q, 0},
            {1.5 * q, 2},
            {2.5 * q, 2},
            {-0.5 * q, 0},
            {-1.5 * q, -2},
            {-2.5 * q, -2},
            {std::nextafter(0.5 * q, 1.0), 1},
            {std::nextafter(0.5 * q, 0.0), 0},
            {std::nextafter(-2.5 * q, -1.0), -3},
            {0.75, static_cast<std::int32_t>(0.75 / q)},
            {-0.0, 0},
            {tiny, 0},
            {-tiny, 0},
            {-1e-300, 0},
            {nan, 0},
            {-nan, 0},
        };
        // The same whatever rounding mode a plug-in left the thread in.
        for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
            std::fesetround(mode);
            for (const Case& c : cases)
                EXPECT_EQ(PcmFromSample(c.in, bits), c.want)
                    << c.in << " in rounding mode " << mode;
            std::fesetround(FE_TONEAREST);
        }
    }
}

TEST_F(WavFile, IntegersRoundToNearestAndClipAtFullScale) {
    struct Case {
        int subtype;
        double scale;  // 2^(bits-1)
    };
    for (const Case c : {Case{kSubtypePcmU8, 128.0}, Case{kSubtypePcm16, 32768.0},
                         Case{kSubtypePcm24, 8388608.0}, Case{kSubtypePcm32, 2147483648.0}}) {
        SCOPED_TRACE(c.scale);
        const double q = 1.0 / c.scale;
        const std::vector<double> in = {1.0,     1.5,      -1.0,    -7.0, 0.4 * q,
                                        0.6 * q, -0.6 * q, 2.5 * q, 0.75, -2.5 * q};
        const std::vector<double> want = {1.0 - q, 1.0 - q, -1.0,  -1.0, 0.0,
                                          q,       -q,      2 * q, 0.75, -2 * q};
        AtomicFile file(Path("clip.wav"));
        WavWriter writer(file, c.subtype, 1, 8000);
        writer.Write(in.data(), static_cast<long>(in.size()));
        writer.Finish();
        file.Commit();
        WavReader reader(Path("clip.wav"));
        EXPECT_EQ(ReadAll(reader), want) << "clipped, not wrapped; halves to even";

        // The build's writer (libsndfile on Linux) stores the same integers.
        AudioFileWriter built(Path("built.wav"), AudioFormat{kMajorWav, c.subtype}, 1, 8000);
        built.Write(in.data(), static_cast<long>(in.size()));
        built.Commit();
        WavReader builtReader(Path("built.wav"));
        EXPECT_EQ(ReadAll(builtReader), want) << "through AudioFileWriter";
    }
}

// RIFF/WAVE bytes put together by hand.
std::string U16(unsigned v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

std::string U32(std::uint32_t v) {
    return U16(v & 0xFFFF) + U16(v >> 16);
}

std::string Chunk(const char* id, const std::string& body) {
    return std::string(id, 4) + U32(static_cast<std::uint32_t>(body.size())) + body +
           (body.size() % 2 ? std::string(1, '\0') : std::string());
}

std::string Riff(const std::string& chunks) {
    return "RIFF" + U32(static_cast<std::uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

std::string Fmt(unsigned tag, unsigned channels, std::uint32_t rate, unsigned blockAlign,
                unsigned bits) {
    return Chunk("fmt ", U16(tag) + U16(channels) + U32(rate) + U32(rate * blockAlign) +
                             U16(blockAlign) + U16(bits));
}

const std::string kGuidTail("\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 12);

std::string FmtExtensible(unsigned channels, unsigned blockAlign, unsigned bits, unsigned valid,
                          unsigned subTag, const std::string& guidTail = kGuidTail) {
    const std::uint32_t rate = 48000;
    return Chunk("fmt ", U16(0xFFFE) + U16(channels) + U32(rate) + U32(rate * blockAlign) +
                             U16(blockAlign) + U16(bits) + U16(22) + U16(valid) + U32(3) +
                             U32(subTag) + guidTail);
}

std::vector<double> ReadFile(const std::string& path, const std::string& bytes,
                             int* subtype = nullptr) {
    WriteBytes(path, bytes);
    WavReader reader(path);
    if (subtype)
        *subtype = reader.Subtype();
    return ReadAll(reader);
}

TEST_F(WavFile, HeadersAsOtherProgramsWriteThemAreRead) {
    const std::string f = Path("h.wav");
    int subtype = 0;
    // Unsigned 8-bit, with an odd-sized chunk before fmt and one after data.
    EXPECT_EQ(
        ReadFile(f,
                 Riff(Chunk("junk", "odd") + Fmt(1, 1, 8000, 1, 8) +
                      Chunk("data", std::string("\x00\x80\xFF", 3)) + Chunk("LIST", "INFOxxxx")),
                 &subtype),
        (std::vector<double>{-1.0, 0.0, 127.0 / 128}));
    EXPECT_EQ(subtype, kSubtypePcmU8);
    EXPECT_EQ(ReadFile(f, Riff(Fmt(1, 2, 8000, 4, 16) +
                               Chunk("data", std::string("\x00\x80\xFF\x7F\x01\x00\xFF\xFF", 8)))),
              (std::vector<double>{-1.0, 32767.0 / 32768, 1.0 / 32768, -1.0 / 32768}));
    EXPECT_EQ(ReadFile(f, Riff(Fmt(1, 1, 8000, 3, 24) +
                               Chunk("data", std::string("\x00\x00\x80\x01\x00\x00\xFF\xFF\x7F"
                                                         "\xFF\xFF\xFF",
                                                         12)))),
              (std::vector<double>{-1.0, std::ldexp(1.0, -23), 1.0 - std::ldexp(1.0, -23),
                                   -std::ldexp(1.0, -23)}));
    // 12 bits in the top of 16-bit containers.
    EXPECT_EQ(ReadFile(f, Riff(Fmt(1, 1, 8000, 2, 12) + Chunk("data", U16(0x7FF0) + U16(0x8000)))),
              (std::vector<double>{static_cast<double>(0x7FF0) / 32768, -1.0}));
    // data before fmt, and a fmt chunk longer than it needs to be.
    const std::string longFmt = Chunk(
        "fmt ", U16(3) + U16(1) + U32(8000) + U32(32000) + U16(4) + U16(32) + U16(4) + "abcd");
    EXPECT_EQ(ReadFile(f, Riff(Chunk("data", U32(0x3FC00000)) + longFmt), &subtype),
              (std::vector<double>{1.5}));
    EXPECT_EQ(subtype, kSubtypeFloat);

    // WAVE_FORMAT_EXTENSIBLE: 24-bit PCM with 20 valid bits, and float.
    EXPECT_EQ(ReadFile(f,
                       Riff(FmtExtensible(2, 6, 24, 20, 1) +
                            Chunk("data", std::string("\x00\x00\x80\x00\x10\x00", 6))),
                       &subtype),
              (std::vector<double>{-1.0, std::ldexp(1.0, -11)}));
    EXPECT_EQ(subtype, kSubtypePcm24);
    EXPECT_EQ(ReadFile(f, Riff(FmtExtensible(1, 4, 32, 32, 3) + Chunk("data", U32(0xBF000000))),
                       &subtype),
              (std::vector<double>{-0.5}));
    EXPECT_EQ(subtype, kSubtypeFloat);
}

TEST_F(WavFile, ACutShortDataChunkIsReadAsFarAsItGoes) {
    // 1000 stereo 16-bit frames announced; 400 and a half are there.
    std::string bytes = Riff(Fmt(1, 2, 8000, 4, 16)) + "data" + U32(4000);
    for (int i = 0; i < 1602; ++i)
        bytes += static_cast<char>(i % 7);
    WriteBytes(Path("cut.wav"), bytes);
    WavReader reader(Path("cut.wav"));
    EXPECT_EQ(reader.Frames(), 1000);
    EXPECT_EQ(reader.Mismatch(), "its data chunk announces 4000 bytes, the file holds 1602");
    EXPECT_EQ(ReadAll(reader).size(), 800u) << "400 whole frames, the half frame left out";
}

TEST_F(WavFile, BrokenAndForeignFilesAreRefusedWithTheReason) {
    const std::string pcm16 = Fmt(1, 2, 44100, 4, 16);
    const std::string data = Chunk("data", std::string(8, '\0'));
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"text", "not audio at all\n",
         "is not a WAV file: it does not begin with a RIFF/WAVE header"},
        {"empty", "", "is empty"},
        {"RIFF but not WAVE", "RIFF" + U32(4) + "AVI ", "is not a WAV file"},
        {"FLAC", "fLaC" + std::string(30, '\0'), "is a FLAC file; this build reads WAV files only"},
        {"Ogg", "OggS" + std::string(30, '\0'), "is an Ogg file"},
        {"AIFF", "FORM" + U32(4) + "AIFF", "is an AIFF file"},
        {"big-endian", "RIFX" + U32(4) + "WAVE", "is a big-endian RIFX file"},
        {"RF64", "RF64" + U32(0xFFFFFFFF) + "WAVE", "is an RF64 file"},
        {"cut in the RIFF header", "RIFF" + U32(100) + "WA", "is cut short inside its header"},
        {"cut in fmt", Riff(pcm16).substr(0, 28), "is cut short inside its header"},
        {"nothing after RIFF", Riff(""), "ends before its fmt chunk; is it cut short?"},
        {"no data", Riff(pcm16), "ends before its data chunk; is it cut short?"},
        {"no fmt", Riff(data), "no fmt chunk says how to read its data"},
        {"fmt too short", Riff(Chunk("fmt ", std::string(14, '\0')) + data),
         "its fmt chunk is 14 bytes, too short"},
        {"ADPCM", Riff(Fmt(2, 2, 44100, 2048, 4) + data),
         "holds Microsoft ADPCM audio (format tag 0x0002); this build reads PCM and "
         "floating-point WAV files only"},
        {"mu-law", Riff(Fmt(7, 1, 8000, 1, 8) + data), "holds mu-law audio (format tag 0x0007)"},
        {"unknown extensible", Riff(FmtExtensible(2, 4, 16, 16, 1, std::string(12, '\x01')) + data),
         "sub-format this build does not know"},
        {"extensible cut short",
         Riff(Chunk("fmt ", U16(0xFFFE) + pcm16.substr(10, 14) + U16(0)) + data),
         "WAVE_FORMAT_EXTENSIBLE fmt chunk is cut short"},
        {"valid bits beyond the container", Riff(FmtExtensible(2, 4, 16, 20, 1) + data),
         "20 valid bits in 16-bit samples"},
        {"no channels", Riff(Fmt(1, 0, 44100, 0, 16) + data), "gives no audio channels"},
        {"no rate", Riff(Fmt(1, 2, 0, 4, 16) + data), "its sample rate is 0 Hz"},
        {"absurd rate", Riff(Fmt(1, 2, 3000000000u, 4, 16) + data),
         "its sample rate is 3000000000 Hz"},
        {"frame size lies", Riff(Fmt(1, 2, 44100, 2, 16) + data),
         "it gives 2 bytes per frame, but 2 channels of 16-bit samples take 4"},
        {"24-bit float", Riff(Fmt(3, 1, 44100, 3, 24) + data), "holds 24-bit floating point"},
        {"48-bit PCM", Riff(Fmt(1, 1, 44100, 6, 48) + data), "holds 48-bit PCM"},
    };
    for (const Case& c : cases) {
        WriteBytes(Path("bad.wav"), c.bytes);
        try {
            WavReader reader(Path("bad.wav"));
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const ToolError& e) {
            EXPECT_EQ(e.Status(), 1) << c.what;
            EXPECT_NE(std::string(e.what()).find(Path("bad.wav") + " "), std::string::npos)
                << c.what << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << c.what << ": " << e.what();
        }
    }
    try {
        WavReader reader(Path("missing.wav"));
        ADD_FAILURE() << "a missing file was opened";
    } catch (const ToolError& e) {
        EXPECT_NE(std::string(e.what()).find("cannot open " + Path("missing.wav")),
                  std::string::npos)
            << e.what();
    }
}

TEST_F(WavFile, AtomicFileReplacesTheTargetOnlyOnCommit) {
    const std::string target = Path("out.bin");
    WriteBytes(target, "old contents");
    {
        AtomicFile file(target);
        file.Write("abandoned", 9);
    }
    EXPECT_EQ(ReadBytes(target), "old contents");
    EXPECT_EQ(Entries(), std::vector<std::string>{"out.bin"}) << "no temporary file left";
    {
        AtomicFile file(target);
        file.Write("new contents", 12);
        file.WriteAt(0, "N", 1);
        file.Write("!", 1);  // WriteAt left the position at the end
        EXPECT_EQ(ReadBytes(target), "old contents") << "untouched until the commit";
        file.Commit();
    }
    EXPECT_EQ(ReadBytes(target), "New contents!");
    EXPECT_EQ(Entries(), std::vector<std::string>{"out.bin"});

    try {
        AtomicFile file(Path("no/such/folder/x.wav"));
        ADD_FAILURE() << "created a file in a missing folder";
    } catch (const ToolError& e) {
        EXPECT_NE(
            std::string(e.what()).find("the folder " + Path("no/such/folder") + " does not exist"),
            std::string::npos)
            << e.what();
    }
}

#if defined(BRIGHTFALL_TEST_WITH_SNDFILE)

// libsndfile's reading of a file, as doubles at its default scale.
std::vector<double> SndfileRead(const std::string& path, int* format) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    if (!f)
        return {};
    *format = info.format;
    std::vector<double> v(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_double(f, v.data(), info.frames), info.frames);
    sf_close(f);
    return v;
}

TEST_F(WavFile, LibsndfileReadsOurFilesAndWeReadItsAlike) {
    for (const Encoding& e : kEncodings) {
        SCOPED_TRACE(e.subtype);
        const std::vector<double> samples = ExactSamples(e, 2 * 513);
        Write(Path("ours.wav"), e, 2, 44100, samples);
        int format = 0;
        EXPECT_EQ(SndfileRead(Path("ours.wav"), &format), samples);
        EXPECT_EQ(format, SF_FORMAT_WAV | e.subtype);

        // Its plain and its WAVE_FORMAT_EXTENSIBLE layout (float files carry
        // a PEAK chunk too).
        for (int major : {SF_FORMAT_WAV, SF_FORMAT_WAVEX}) {
            SF_INFO info{};
            info.samplerate = 44100;
            info.channels = 2;
            info.format = major | e.subtype;
            SNDFILE* f = sf_open(Path("theirs.wav").c_str(), SFM_WRITE, &info);
            ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
            sf_writef_double(f, samples.data(), 513);
            sf_close(f);
            const std::vector<double> theirs = SndfileRead(Path("theirs.wav"), &format);
            WavReader reader(Path("theirs.wav"));
            EXPECT_EQ(reader.Subtype(), e.subtype) << major;
            EXPECT_EQ(reader.Frames(), 513) << major;
            EXPECT_EQ(ReadAll(reader), theirs) << major;
        }
    }
}

#endif

}  // namespace
