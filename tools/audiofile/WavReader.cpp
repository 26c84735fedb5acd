#include "tools/audiofile/WavReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/audiofile/AudioFormat.h"
#include "tools/audiofile/FileSystem.h"
#include "tools/audiofile/ToolError.h"

namespace {

// Far above any audio rate; a header claiming more is not telling the truth.
constexpr std::uint32_t kMaxRate = 1000000;
// The fmt fields this reader looks at, WAVE_FORMAT_EXTENSIBLE's included.
constexpr std::size_t kFmtBytesUsed = 40;

constexpr int kTagPcm = 0x0001;
constexpr int kTagFloat = 0x0003;
constexpr int kTagExtensible = 0xFFFE;

// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE after its leading format
// tag: xxxxxxxx-0000-0010-8000-00AA00389B71.
constexpr unsigned char kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                         0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint32_t Le16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t Le32(const unsigned char* p) {
    return Le16(p) | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t Le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(Le32(p)) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}

std::string Hex16(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "0x%04X", static_cast<unsigned>(v));
    return buf;
}

// Names of the other encodings WAV files commonly hold, for the message.
std::string TagName(std::uint32_t tag) {
    switch (tag) {
        case 0x0002:
            return "Microsoft ADPCM";
        case 0x0006:
            return "A-law";
        case 0x0007:
            return "mu-law";
        case 0x0011:
            return "IMA ADPCM";
        case 0x0031:
            return "GSM 6.10";
        case 0x0050:
            return "MPEG";
        case 0x0055:
            return "MP3";
        default:
            return "encoded";
    }
}

}  // namespace

WavReader::WavReader(const std::string& path) : mPath(path) {
    mFile = FileSystem::Open(path, "rb");
    if (!mFile)
        throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    try {
        ReadHeader();
    } catch (...) {
        std::fclose(mFile);
        mFile = nullptr;
        throw;
    }
}

WavReader::~WavReader() {
    if (mFile)
        std::fclose(mFile);
}

void WavReader::Fail(const std::string& why) const {
    throw ToolError(mPath + " " + why);
}

void WavReader::ReadHeader() {
    const long long fileSize = FileSystem::Size(mFile);
    if (fileSize < 0 || !FileSystem::Seek(mFile, 0))
        throw ToolError("cannot read " + mPath + ": " + std::strerror(errno));

    unsigned char riff[12] = {};
    const std::size_t got = std::fread(riff, 1, sizeof(riff), mFile);
    const auto starts = [&](const char* magic) { return std::memcmp(riff, magic, 4) == 0; };
    if (got >= 4 && starts("fLaC"))
        Fail("is a FLAC file; this build reads WAV files only");
    if (got >= 4 && starts("OggS"))
        Fail("is an Ogg file; this build reads WAV files only");
    if (got >= 4 && starts("FORM"))
        Fail("is an AIFF file; this build reads WAV files only");
    if (got >= 4 && (starts("RF64") || starts("BW64")))
        Fail("is an RF64 file; this build reads RIFF/WAVE files only");
    if (got >= 4 && starts("RIFX"))
        Fail("is a big-endian RIFX file; this build reads little-endian RIFF/WAVE files only");
    if (got == 0)
        Fail("is empty; it holds no audio");
    if (got < 4 || !starts("RIFF") || (got == 12 && std::memcmp(riff + 8, "WAVE", 4) != 0))
        Fail("is not a WAV file: it does not begin with a RIFF/WAVE header");
    if (got < 12)
        Fail("is cut short inside its header");

    // Chunks follow one another, each padded to an even length. The order of
    // fmt and data is not fixed; the scan stops once it has seen both.
    std::vector<unsigned char> fmt;
    bool haveData = false;
    long long dataOffset = 0;
    long long dataSize = 0;
    long long pos = 12;
    while (pos + 8 <= fileSize && (fmt.empty() || !haveData)) {
        unsigned char head[8];
        if (!FileSystem::Seek(mFile, pos) || std::fread(head, 1, 8, mFile) != 8)
            throw ToolError("cannot read " + mPath + ": " + std::strerror(errno));
        const long long size = Le32(head + 4);
        const long long body = pos + 8;
        if (std::memcmp(head, "fmt ", 4) == 0 && fmt.empty()) {
            if (size < 16)
                Fail("has a broken header: its fmt chunk is " + std::to_string(size) +
                     " bytes, too short to describe the audio");
            if (body + size > fileSize)
                Fail("is cut short inside its header");
            fmt.resize(static_cast<std::size_t>(std::min<long long>(size, kFmtBytesUsed)));
            if (std::fread(fmt.data(), 1, fmt.size(), mFile) != fmt.size())
                throw ToolError("cannot read " + mPath + ": " + std::strerror(errno));
        } else if (std::memcmp(head, "data", 4) == 0 && !haveData) {
            haveData = true;
            dataOffset = body;
            dataSize = size;
        }
        pos = body + size + (size & 1);
    }
    if (fmt.empty())
        Fail(haveData ? "has a broken header: no fmt chunk says how to read its data"
                      : "ends before its fmt chunk; is it cut short?");
    ParseFormat(fmt);
    if (!haveData)
        Fail("ends before its data chunk; is it cut short?");

    mFrames = dataSize / mBlockAlign;
    const long long present = std::min(dataSize, fileSize - dataOffset);
    mFramesLeft = present / mBlockAlign;
    if (present < dataSize)
        mMismatch = "its data chunk announces " + std::to_string(dataSize) +
                    " bytes, the file holds " + std::to_string(present);
    if (!FileSystem::Seek(mFile, dataOffset))
        throw ToolError("cannot read " + mPath + ": " + std::strerror(errno));
}

void WavReader::ParseFormat(const std::vector<unsigned char>& fmt) {
    std::uint32_t tag = Le16(&fmt[0]);
    const std::uint32_t channels = Le16(&fmt[2]);
    const std::uint32_t rate = Le32(&fmt[4]);
    const std::uint32_t blockAlign = Le16(&fmt[12]);
    const std::uint32_t bits = Le16(&fmt[14]);

    if (tag == kTagExtensible) {
        if (fmt.size() < kFmtBytesUsed || Le16(&fmt[16]) < 22)
            Fail("has a broken header: its WAVE_FORMAT_EXTENSIBLE fmt chunk is cut short");
        const std::uint32_t valid = Le16(&fmt[18]);
        if (valid > bits)
            Fail("has a broken header: " + std::to_string(valid) + " valid bits in " +
                 std::to_string(bits) + "-bit samples");
        const std::uint32_t sub = Le32(&fmt[24]);
        if (sub > 0xFFFF || std::memcmp(&fmt[28], kGuidTail, sizeof(kGuidTail)) != 0)
            Fail("holds audio in a WAVE_FORMAT_EXTENSIBLE sub-format this build does not know");
        tag = sub;
        // Valid bits below the container's are its most significant ones:
        // reading the whole container gives the right value.
        if (tag == kTagPcm && bits % 8 != 0)
            Fail("has a broken header: its samples take " + std::to_string(bits) +
                 " bits, not a whole number of bytes");
    }
    if (tag != kTagPcm && tag != kTagFloat)
        Fail("holds " + TagName(tag) + " audio (format tag " + Hex16(tag) +
             "); this build reads PCM and floating-point WAV files only");
    if (channels == 0)
        Fail("has a broken header: it gives no audio channels");
    if (rate == 0 || rate > kMaxRate)
        Fail("has a broken header: its sample rate is " + std::to_string(rate) + " Hz");

    if (tag == kTagPcm) {
        if (bits < 1 || bits > 32)
            Fail("holds " + std::to_string(bits) +
                 "-bit PCM; this build reads PCM of 8 to 32 bits only");
        // Fewer bits than the container sit in its top bits, as above.
        mBytesPerSample = static_cast<int>((bits + 7) / 8);
        const int subtypes[] = {kSubtypePcmU8, kSubtypePcm16, kSubtypePcm24, kSubtypePcm32};
        mSubtype = subtypes[mBytesPerSample - 1];
    } else {
        if (bits != 32 && bits != 64)
            Fail("holds " + std::to_string(bits) +
                 "-bit floating point; this build reads 32 and 64-bit floats only");
        mBytesPerSample = static_cast<int>(bits / 8);
        mSubtype = bits == 32 ? kSubtypeFloat : kSubtypeDouble;
    }
    const std::uint32_t frameBytes = channels * static_cast<std::uint32_t>(mBytesPerSample);
    if (blockAlign != frameBytes)
        Fail("has a broken header: it gives " + std::to_string(blockAlign) +
             " bytes per frame, but " + std::to_string(channels) + " channels of " +
             std::to_string(bits) + "-bit samples take " + std::to_string(frameBytes));
    mChannels = static_cast<int>(channels);
    mRate = static_cast<int>(rate);
    mBlockAlign = static_cast<int>(blockAlign);
}

long WavReader::Read(double* interleaved, long frames) {
    const long n = static_cast<long>(std::min<long long>(std::max(frames, 0L), mFramesLeft));
    if (n == 0)
        return 0;
    const std::size_t want = static_cast<std::size_t>(n) * static_cast<std::size_t>(mBlockAlign);
    mBytes.resize(want);
    const std::size_t got = std::fread(mBytes.data(), 1, want, mFile);
    if (got < want && std::ferror(mFile))
        throw ToolError("cannot read " + mPath + ": " + std::strerror(errno));
    const long done = static_cast<long>(got / static_cast<std::size_t>(mBlockAlign));
    // A file that shrank while open ends where it ends.
    mFramesLeft = got < want ? 0 : mFramesLeft - done;

    const std::size_t samples =
        static_cast<std::size_t>(done) * static_cast<std::size_t>(mChannels);
    const unsigned char* p = mBytes.data();
    switch (mSubtype) {
        case kSubtypePcmU8:
            for (std::size_t i = 0; i < samples; ++i)
                interleaved[i] = (static_cast<int>(p[i]) - 128) / 128.0;
            break;
        case kSubtypePcm16:
            for (std::size_t i = 0; i < samples; ++i)
                interleaved[i] = static_cast<std::int16_t>(Le16(p + 2 * i)) / 32768.0;
            break;
        case kSubtypePcm24:
            for (std::size_t i = 0; i < samples; ++i) {
                // Shift into the top of 32 bits so the sign comes along.
                const std::uint32_t u =
                    Le16(p + 3 * i) << 8 | static_cast<std::uint32_t>(p[3 * i + 2]) << 24;
                interleaved[i] = static_cast<std::int32_t>(u) / 2147483648.0;
            }
            break;
        case kSubtypePcm32:
            for (std::size_t i = 0; i < samples; ++i)
                interleaved[i] = static_cast<std::int32_t>(Le32(p + 4 * i)) / 2147483648.0;
            break;
        case kSubtypeFloat:
            for (std::size_t i = 0; i < samples; ++i) {
                const std::uint32_t u = Le32(p + 4 * i);
                float f;
                std::memcpy(&f, &u, sizeof(f));
                interleaved[i] = f;
            }
            break;
        default:
            for (std::size_t i = 0; i < samples; ++i) {
                const std::uint64_t u = Le64(p + 8 * i);
                double d;
                std::memcpy(&d, &u, sizeof(d));
                interleaved[i] = d;
            }
            break;
    }
    return done;
}
