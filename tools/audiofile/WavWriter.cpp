#include "tools/audiofile/WavWriter.h"

#include <algorithm>
#include <cstring>

#include "tools/audiofile/AudioFormat.h"
#include "tools/audiofile/PcmSample.h"
#include "tools/audiofile/ToolError.h"

namespace {

// RIFF sizes are 32 bits wide and count everything after the first 8 bytes.
constexpr std::uint64_t kMaxRiffSize = 0xFFFFFFFFull;

int BytesPerSample(int subtype) {
    switch (subtype) {
        case kSubtypePcmU8:
            return 1;
        case kSubtypePcm16:
            return 2;
        case kSubtypePcm24:
            return 3;
        case kSubtypePcm32:
        case kSubtypeFloat:
            return 4;
        case kSubtypeDouble:
            return 8;
        default:
            return 0;
    }
}

void Put16(std::vector<unsigned char>& out, std::uint32_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutId(std::vector<unsigned char>& out, const char* id) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<unsigned char>(id[i]));
}

}  // namespace

bool WavWriter::CanWrite(int subtype, int channels, int sampleRate) {
    // blockAlign is a 16-bit field.
    return BytesPerSample(subtype) > 0 && channels >= 1 &&
           channels * BytesPerSample(subtype) <= 0xFFFF && sampleRate >= 1;
}

WavWriter::WavWriter(AtomicFile& file, int subtype, int channels, int sampleRate)
    : mFile(file),
      mSubtype(subtype),
      mChannels(channels),
      mRate(sampleRate),
      mBytesPerSample(BytesPerSample(subtype)) {
    if (!CanWrite(subtype, channels, sampleRate))
        throw ToolError("cannot write " + file.Target() + ": WAV does not hold encoding " +
                        std::to_string(subtype) + " with " + std::to_string(channels) +
                        " channels at " + std::to_string(sampleRate) + " Hz");
    const std::vector<unsigned char> header = Header();
    mHeaderBytes = header.size();
    mFile.Write(header.data(), header.size());
}

// Integer PCM has the plain 16-byte fmt chunk. Float has the 18-byte one
// and a fact chunk with the frame count, as non-PCM WAV files should.
std::vector<unsigned char> WavWriter::Header() const {
    const bool isFloat = mSubtype == kSubtypeFloat || mSubtype == kSubtypeDouble;
    const std::uint32_t blockAlign = static_cast<std::uint32_t>(mChannels * mBytesPerSample);
    const std::uint64_t dataBytes = static_cast<std::uint64_t>(mFrames) * blockAlign;
    std::vector<unsigned char> h;
    PutId(h, "RIFF");
    Put32(h, 0);  // filled in below
    PutId(h, "WAVE");
    PutId(h, "fmt ");
    Put32(h, isFloat ? 18 : 16);
    Put16(h, isFloat ? 3 : 1);
    Put16(h, static_cast<std::uint32_t>(mChannels));
    Put32(h, static_cast<std::uint32_t>(mRate));
    Put32(h, static_cast<std::uint32_t>(mRate) * blockAlign);
    Put16(h, blockAlign);
    Put16(h, static_cast<std::uint32_t>(mBytesPerSample * 8));
    if (isFloat) {
        Put16(h, 0);
        PutId(h, "fact");
        Put32(h, 4);
        Put32(h, static_cast<std::uint32_t>(std::min<long long>(mFrames, 0xFFFFFFFF)));
    }
    PutId(h, "data");
    Put32(h, static_cast<std::uint32_t>(dataBytes));
    const std::uint64_t riff = h.size() - 8 + dataBytes + (dataBytes & 1);
    for (int i = 0; i < 4; ++i)
        h[4 + i] = static_cast<unsigned char>(riff >> (8 * i));
    return h;
}

void WavWriter::Write(const double* interleaved, long frames) {
    if (frames <= 0)
        return;
    const std::size_t samples = static_cast<std::size_t>(frames) * mChannels;
    const std::uint64_t blockAlign = static_cast<std::uint64_t>(mChannels) * mBytesPerSample;
    const std::uint64_t total = static_cast<std::uint64_t>(mFrames + frames) * blockAlign;
    if (mHeaderBytes - 8 + total + 1 > kMaxRiffSize)
        throw ToolError("cannot write " + mFile.Target() +
                        ": the audio is longer than a WAV file can hold (4 GiB)");

    mBytes.resize(samples * mBytesPerSample);
    unsigned char* p = mBytes.data();
    switch (mSubtype) {
        case kSubtypePcmU8:
            for (std::size_t i = 0; i < samples; ++i)
                p[i] = static_cast<unsigned char>(PcmFromSample(interleaved[i], 8) + 128);
            break;
        case kSubtypePcm16:
        case kSubtypePcm24:
        case kSubtypePcm32: {
            const int bytes = mBytesPerSample;
            for (std::size_t i = 0; i < samples; ++i) {
                const auto v = static_cast<std::uint32_t>(PcmFromSample(interleaved[i], 8 * bytes));
                for (int b = 0; b < bytes; ++b)
                    p[i * bytes + b] = static_cast<unsigned char>(v >> (8 * b));
            }
            break;
        }
        case kSubtypeFloat:
            for (std::size_t i = 0; i < samples; ++i) {
                const float f = static_cast<float>(interleaved[i]);
                std::uint32_t u;
                std::memcpy(&u, &f, sizeof(u));
                for (int b = 0; b < 4; ++b)
                    p[4 * i + b] = static_cast<unsigned char>(u >> (8 * b));
            }
            break;
        default:
            for (std::size_t i = 0; i < samples; ++i) {
                std::uint64_t u;
                std::memcpy(&u, &interleaved[i], sizeof(u));
                for (int b = 0; b < 8; ++b)
                    p[8 * i + b] = static_cast<unsigned char>(u >> (8 * b));
            }
            break;
    }
    mFile.Write(mBytes.data(), mBytes.size());
    mFrames += frames;
}

void WavWriter::Finish() {
    const std::uint64_t dataBytes = static_cast<std::uint64_t>(mFrames) *
                                    static_cast<std::uint64_t>(mChannels) *
                                    static_cast<std::uint64_t>(mBytesPerSample);
    if (dataBytes & 1) {
        const unsigned char pad = 0;
        mFile.Write(&pad, 1);
    }
    const std::vector<unsigned char> header = Header();
    mFile.WriteAt(0, header.data(), header.size());
}
