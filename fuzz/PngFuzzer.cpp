// Arbitrary bytes through the PNG loader, into a new bitmap and into one
// passed in. Chunk checksums are put right before decoding, so a mutation
// inside a chunk reaches the code that reads it instead of stopping at the
// checksum test. Images whose header asks for more than 64 M pixels are
// skipped: the loader sizes the bitmap before reading any row, and such
// sizes only test the machine's memory.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzHost.h"
#include "render/LICE_LoadPngFromMemory.h"
#include "render/LICE_MemBitmap.h"

namespace {

std::uint32_t BigEndian(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

void PutBigEndian(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// Rewrites each complete chunk's CRC; false when the header is too large.
bool Prepare(std::vector<unsigned char>& png) {
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const std::uint32_t length = BigEndian(&png[pos]);
        if (length > png.size() - pos - 12)
            break;
        const unsigned char* type = &png[pos + 4];
        if (std::memcmp(type, "IHDR", 4) == 0 && length >= 8) {
            const std::uint64_t w = BigEndian(&png[pos + 8]), h = BigEndian(&png[pos + 12]);
            if (w * h > (std::uint64_t{1} << 26))
                return false;
        }
        const uLong crc = crc32(0L, type, static_cast<uInt>(length + 4));
        PutBigEndian(&png[pos + 8 + length], static_cast<std::uint32_t>(crc));
        pos += 12 + length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzhost::ReportAtExit("png_fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte says which way to decode; the rest is the file.
    const bool intoExisting = data[0] & 1;
    std::vector<unsigned char> png(data + 1, data + size);
    if (!Prepare(png))
        return 0;
    ++fuzzhost::Inputs();
    ++fuzzhost::CallsIntoPlugin();
    if (intoExisting) {
        LICE_MemBitmap bitmap(3, 5);
        LICE_IBitmap* result = LICE_LoadPngFromMemory(png.data(), png.size(), &bitmap);
        if (result && result != &bitmap)
            std::abort();
        if (result && (bitmap.Width() <= 0 || bitmap.Height() <= 0 || !bitmap.Bits()))
            std::abort();
    } else {
        std::unique_ptr<LICE_IBitmap> result(LICE_LoadPngFromMemory(png.data(), png.size()));
        if (result) {
            // Touch every pixel the loader claims to have written.
            const Pixel* bits = result->Bits();
            std::uint32_t sum = 0;
            for (int y = 0; y < result->Height(); ++y)
                for (int x = 0; x < result->Width(); ++x)
                    sum += bits[static_cast<std::ptrdiff_t>(y) * result->RowSpan() + x];
            if (sum == 0xFFFFFFFFu)
                std::fprintf(stderr, "%u\n", sum);  // keeps the reads
        }
    }
    return 0;
}
