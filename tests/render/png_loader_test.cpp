#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <chrono>
#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "render/LICE_LoadPngFromMemory.h"
#include "render/LICE_MemBitmap.h"

namespace {

using Bytes = std::vector<unsigned char>;

// --- Writing test images with libpng ---------------------------------------------------------

// Everything libpng needs to write one image. Rows hold the raw PNG samples (packed below
// 8 bits, big-endian at 16 bits), exactly as they are filtered and compressed.
struct TestImage {
    int width = 0;
    int height = 0;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool interlaced = false;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;  // tRNS of a palette image
    bool hasTransparentColor = false;    // tRNS of a grey or RGB image
    png_color_16 transparentColor{};
    std::vector<Bytes> rows;
};

void AppendToBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

// Nothing with a destructor lives in this frame, since libpng leaves it by longjmp on errors.
bool EncodePng(const TestImage* image, png_bytepp rows, Bytes* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, AppendToBytes, FlushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width),
                 static_cast<png_uint_32>(image->height), image->bitDepth, image->colorType,
                 image->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!image->palette.empty()) {
        png_set_PLTE(png, info, image->palette.data(), static_cast<int>(image->palette.size()));
    }
    if (!image->paletteAlpha.empty()) {
        png_set_tRNS(png, info, image->paletteAlpha.data(),
                     static_cast<int>(image->paletteAlpha.size()), nullptr);
    }
    if (image->hasTransparentColor) {
        png_color_16 color = image->transparentColor;
        png_set_tRNS(png, info, nullptr, 0, &color);
    }
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

Bytes WritePng(TestImage image) {
    std::vector<png_bytep> rows;
    for (auto& row : image.rows) {
        rows.push_back(row.data());
    }
    Bytes out;
    EXPECT_TRUE(EncodePng(&image, rows.data(), &out));
    return out;
}

// Packs one row of samples (each already within the bit depth) into PNG row bytes.
Bytes PackRow(const std::vector<int>& samples, int bitDepth) {
    Bytes row;
    if (bitDepth == 16) {
        for (int s : samples) {
            row.push_back(static_cast<unsigned char>(s >> 8));
            row.push_back(static_cast<unsigned char>(s & 0xFF));
        }
    } else if (bitDepth == 8) {
        for (int s : samples) {
            row.push_back(static_cast<unsigned char>(s));
        }
    } else {
        const int perByte = 8 / bitDepth;
        row.assign((samples.size() + perByte - 1) / perByte, 0);
        for (size_t i = 0; i < samples.size(); ++i) {
            const int shift = 8 - bitDepth * (static_cast<int>(i % perByte) + 1);
            row[i / perByte] = static_cast<unsigned char>(row[i / perByte] | samples[i] << shift);
        }
    }
    return row;
}

// A deterministic scatter of sample values, so that every row differs from its neighbours.
int Sample(int x, int y, int channel, int maxValue) {
    const std::uint32_t h =
        static_cast<std::uint32_t>(x * 73856093 ^ y * 19349663 ^ (channel + 1) * 83492791);
    return static_cast<int>((h ^ (h >> 13)) % static_cast<std::uint32_t>(maxValue + 1));
}

// --- The matrix of colour types and depths ---------------------------------------------------

// One case: how to fill the image, and the pixel the loader must make of each position.
struct Case {
    std::string name;
    TestImage image;
    std::function<Pixel(int x, int y)> expected;
};

constexpr int kW = 11;  // odd sizes leave partial bytes at low depths and uneven Adam7 passes
constexpr int kH = 9;

std::vector<int> Channels(int colorType) {
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY:
        case PNG_COLOR_TYPE_PALETTE:
            return {0};
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            return {0, 1};
        case PNG_COLOR_TYPE_RGB:
            return {0, 1, 2};
        default:
            return {0, 1, 2, 3};
    }
}

// Fills image.rows from `sample(x, y, channel)`.
void FillRows(TestImage& image, const std::function<int(int, int, int)>& sample) {
    image.rows.clear();
    for (int y = 0; y < image.height; ++y) {
        std::vector<int> samples;
        for (int x = 0; x < image.width; ++x) {
            for (int c : Channels(image.colorType)) {
                samples.push_back(sample(x, y, c));
            }
        }
        image.rows.push_back(PackRow(samples, image.bitDepth));
    }
}

// A kW x kH image of `colorType` at `bitDepth`, its rows and expectations
// still to fill.
Case NewCase(const std::string& name, int colorType, int bitDepth) {
    Case c;
    c.name = name;
    c.image.width = kW;
    c.image.height = kH;
    c.image.bitDepth = bitDepth;
    c.image.colorType = colorType;
    return c;
}

Case PaletteCase(const std::string& name, int bitDepth, std::vector<png_byte> alpha) {
    Case c = NewCase(name, PNG_COLOR_TYPE_PALETTE, bitDepth);
    const int entries = 1 << bitDepth;
    for (int i = 0; i < entries; ++i) {
        c.image.palette.push_back({static_cast<png_byte>(i * 37 + 5),
                                   static_cast<png_byte>(250 - i * 11),
                                   static_cast<png_byte>(i * 90 % 256)});
    }
    c.image.paletteAlpha = alpha;
    const auto index = [entries](int x, int y) { return Sample(x, y, 0, entries - 1); };
    FillRows(c.image, [index](int x, int y, int) { return index(x, y); });
    const TestImage image = c.image;
    c.expected = [image, index](int x, int y) {
        const size_t i = static_cast<size_t>(index(x, y));
        const png_color rgb = image.palette[i];
        const int a = i < image.paletteAlpha.size() ? image.paletteAlpha[i] : 255;
        return MakePixel(rgb.blue, rgb.green, rgb.red, a);
    };
    return c;
}

// Grey at a depth, optionally with one grey level made transparent.
Case GreyCase(const std::string& name, int bitDepth, int transparentLevel = -1) {
    Case c = NewCase(name, PNG_COLOR_TYPE_GRAY, bitDepth);
    const int maxValue = (1 << bitDepth) - 1;
    FillRows(c.image, [maxValue](int x, int y, int ch) { return Sample(x, y, ch, maxValue); });
    if (transparentLevel >= 0) {
        c.image.hasTransparentColor = true;
        c.image.transparentColor.gray = static_cast<png_uint_16>(transparentLevel);
    }
    c.expected = [maxValue, bitDepth, transparentLevel](int x, int y) {
        const int v = Sample(x, y, 0, maxValue);
        // Low depths scale up to the full 0..255 range; 16 bits keep the high byte.
        const int g = bitDepth == 16 ? v >> 8 : v * 255 / maxValue;
        return MakePixel(g, g, g, v == transparentLevel ? 0 : 255);
    };
    return c;
}

// Direct colour (grey with alpha, RGB, RGBA) at 8 or 16 bits.
Case DirectCase(const std::string& name, int colorType, int bitDepth, bool transparentColor) {
    Case c = NewCase(name, colorType, bitDepth);
    const int maxValue = (1 << bitDepth) - 1;
    // A few positions repeat the transparent colour, so the tRNS match is exercised.
    const auto sample = [maxValue](int x, int y, int ch) {
        if ((x + 2 * y) % 7 == 0) {
            return maxValue / 3 + ch;
        }
        return Sample(x, y, ch, maxValue);
    };
    FillRows(c.image, sample);
    if (transparentColor) {
        c.image.hasTransparentColor = true;
        c.image.transparentColor.red = static_cast<png_uint_16>(sample(0, 0, 0));
        c.image.transparentColor.green = static_cast<png_uint_16>(sample(0, 0, 1));
        c.image.transparentColor.blue = static_cast<png_uint_16>(sample(0, 0, 2));
    }
    c.expected = [colorType, bitDepth, transparentColor, sample](int x, int y) {
        const auto eight = [bitDepth](int v) { return bitDepth == 16 ? v >> 8 : v; };
        if (colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
            const int g = eight(sample(x, y, 0));
            return MakePixel(g, g, g, eight(sample(x, y, 1)));
        }
        const int r = sample(x, y, 0), g = sample(x, y, 1), b = sample(x, y, 2);
        int a = 255;
        if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
            a = eight(sample(x, y, 3));
        } else if (transparentColor && r == sample(0, 0, 0) && g == sample(0, 0, 1) &&
                   b == sample(0, 0, 2)) {
            a = 0;
        }
        return MakePixel(eight(b), eight(g), eight(r), a);
    };
    return c;
}

std::vector<Case> AllCases() {
    return {
        PaletteCase("palette 8-bit", 8, {}),
        PaletteCase("palette 8-bit with tRNS", 8, {0, 10, 128, 255, 77}),
        PaletteCase("palette 4-bit with tRNS", 4, {200, 0, 35}),
        PaletteCase("palette 1-bit", 1, {}),
        GreyCase("grey 1-bit", 1),
        GreyCase("grey 2-bit with tRNS", 2, 2),
        GreyCase("grey 4-bit", 4),
        GreyCase("grey 8-bit with tRNS", 8, 77),
        GreyCase("grey 16-bit", 16),
        GreyCase("grey 16-bit with tRNS", 16, 1234),
        DirectCase("grey+alpha 8-bit", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false),
        DirectCase("grey+alpha 16-bit", PNG_COLOR_TYPE_GRAY_ALPHA, 16, false),
        DirectCase("RGB 8-bit", PNG_COLOR_TYPE_RGB, 8, false),
        DirectCase("RGB 8-bit with tRNS", PNG_COLOR_TYPE_RGB, 8, true),
        DirectCase("RGB 16-bit with tRNS", PNG_COLOR_TYPE_RGB, 16, true),
        DirectCase("RGBA 8-bit", PNG_COLOR_TYPE_RGB_ALPHA, 8, false),
        DirectCase("RGBA 16-bit", PNG_COLOR_TYPE_RGB_ALPHA, 16, false),
    };
}

void ExpectPicture(const LICE_IBitmap& bitmap, const Case& c, const std::string& what) {
    ASSERT_EQ(bitmap.Width(), c.image.width) << what;
    ASSERT_EQ(bitmap.Height(), c.image.height) << what;
    for (int y = 0; y < c.image.height; ++y) {
        for (int x = 0; x < c.image.width; ++x) {
            ASSERT_EQ(PixelAt(bitmap, x, y), c.expected(x, y))
                << what << " at " << x << "," << y << std::hex << " got 0x" << PixelAt(bitmap, x, y)
                << " want 0x" << c.expected(x, y);
        }
    }
}

// Every case, interlaced and not: both decode to the expected straight-alpha pixels, and so to
// the same picture as each other.
TEST(PngLoader, DecodesEveryColourTypeAndDepthInterlacedOrNot) {
    for (const Case& c : AllCases()) {
        for (bool interlaced : {false, true}) {
            TestImage image = c.image;
            image.interlaced = interlaced;
            const Bytes png = WritePng(image);
            const std::string what = c.name + (interlaced ? " interlaced" : "");
            std::unique_ptr<LICE_IBitmap> bitmap(LICE_LoadPngFromMemory(png.data(), png.size()));
            ASSERT_NE(bitmap, nullptr) << what;
            ExpectPicture(*bitmap, c, what);
        }
    }
}

TEST(PngLoader, StoresPixelsAsBlueGreenRedAlphaBytes) {
    TestImage image;
    image.width = 1;
    image.height = 1;
    image.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    image.rows = {{0x12, 0x34, 0x56, 0x78}};
    const Bytes png = WritePng(image);
    std::unique_ptr<LICE_IBitmap> bitmap(LICE_LoadPngFromMemory(png.data(), png.size()));
    ASSERT_NE(bitmap, nullptr);
    unsigned char bytes[4];
    std::memcpy(bytes, bitmap->Bits(), 4);
    EXPECT_EQ(bytes[0], 0x56);
    EXPECT_EQ(bytes[1], 0x34);
    EXPECT_EQ(bytes[2], 0x12);
    EXPECT_EQ(bytes[3], 0x78);
    EXPECT_EQ(bitmap->Bits()[0], 0x78123456u);
}

// --- Destinations passed in ------------------------------------------------------------------

TEST(PngLoader, ResizesAndReturnsAPassedBitmapLeavingTheRowPaddingAlone) {
    const Case c = DirectCase("RGBA", PNG_COLOR_TYPE_RGB_ALPHA, 8, false);
    const Bytes png = WritePng(c.image);

    LICE_MemBitmap other(3, 40);
    EXPECT_EQ(LICE_LoadPngFromMemory(png.data(), png.size(), &other), &other);
    ExpectPicture(other, c, "resized destination");

    // Already the right size, so the storage and its padding columns stay.
    LICE_MemBitmap exact(kW, kH);
    FillStorage(exact, 0xCAFEF00Du);
    EXPECT_EQ(LICE_LoadPngFromMemory(png.data(), png.size(), &exact), &exact);
    ExpectPicture(exact, c, "exact destination");
    for (int y = 0; y < kH; ++y) {
        for (int x = kW; x < exact.RowSpan(); ++x) {
            EXPECT_EQ(exact.Bits()[y * exact.RowSpan() + x], 0xCAFEF00Du);
        }
    }

    FlippedBitmap flipped(1, 1);
    EXPECT_EQ(LICE_LoadPngFromMemory(png.data(), png.size(), &flipped), &flipped);
    ExpectPicture(flipped, c, "bottom-up destination");
}

// A destination that cannot take the image's size.
class RefusingBitmap : public FlippedBitmap {
  public:
    RefusingBitmap() : FlippedBitmap(2, 2) {}
    bool Resize(int, int) override { return true; }
};

TEST(PngLoader, FailsWhenThePassedBitmapCannotTakeTheSize) {
    const Bytes png = WritePng(GreyCase("grey", 8).image);
    RefusingBitmap refusing;
    EXPECT_EQ(LICE_LoadPngFromMemory(png.data(), png.size(), &refusing), nullptr);
    EXPECT_EQ(refusing.Width(), 2) << "still alive and untouched";
}

// --- Damaged input ---------------------------------------------------------------------------

const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

TEST(PngLoader, RejectsBlocksWithoutTheSignature) {
    const Bytes png = WritePng(GreyCase("grey", 8).image);
    EXPECT_EQ(LICE_LoadPngFromMemory(png.data(), 7), nullptr);
    EXPECT_EQ(LICE_LoadPngFromMemory(png.data(), 0), nullptr);
    EXPECT_EQ(LICE_LoadPngFromMemory(nullptr, png.size()), nullptr);
    Bytes wrong = png;
    wrong[1] = 'p';
    EXPECT_EQ(LICE_LoadPngFromMemory(wrong.data(), wrong.size()), nullptr);
    EXPECT_EQ(LICE_LoadPngFromMemory(kSignature, sizeof kSignature), nullptr) << "signature only";

    LICE_MemBitmap passed(4, 4);
    EXPECT_EQ(LICE_LoadPngFromMemory(wrong.data(), wrong.size(), &passed), nullptr);
    EXPECT_EQ(passed.Width(), 4);
}

// Offset just past the end of the last IDAT chunk.
size_t EndOfImageData(const Bytes& png) {
    size_t end = 0;
    for (size_t at = 8; at + 8 <= png.size();) {
        const size_t length = size_t{png[at]} << 24 | size_t{png[at + 1]} << 16 |
                              size_t{png[at + 2]} << 8 | png[at + 3];
        const size_t next = at + 12 + length;
        if (std::memcmp(&png[at + 4], "IDAT", 4) == 0) {
            end = next;
        }
        at = next;
    }
    return end;
}

// Every cut before the end of the image data must fail cleanly, with no bitmap left over (the
// valgrind run of this program checks the "left over").
TEST(PngLoader, EveryTruncationBeforeTheEndOfTheImageDataFails) {
    for (bool interlaced : {false, true}) {
        TestImage image = DirectCase("RGBA", PNG_COLOR_TYPE_RGB_ALPHA, 8, false).image;
        image.interlaced = interlaced;
        const Bytes png = WritePng(image);
        const size_t end = EndOfImageData(png);
        ASSERT_GT(end, 8u);
        for (size_t cut = 8; cut < end; ++cut) {
            EXPECT_EQ(LICE_LoadPngFromMemory(png.data(), cut), nullptr) << cut;
        }
        LICE_MemBitmap passed(2, 2);
        EXPECT_EQ(LICE_LoadPngFromMemory(png.data(), end - 5, &passed), nullptr);
        EXPECT_NE(passed.Bits(), nullptr) << "a passed bitmap is not deleted";

        // Only the end chunk missing: every row has arrived.
        std::unique_ptr<LICE_IBitmap> whole(LICE_LoadPngFromMemory(png.data(), end));
        EXPECT_NE(whole, nullptr);
    }
}

Bytes Chunk(const char* type, const Bytes& data) {
    Bytes chunk;
    const auto put32 = [&chunk](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            chunk.push_back(static_cast<unsigned char>(v >> shift));
        }
    };
    put32(static_cast<std::uint32_t>(data.size()));
    for (int i = 0; i < 4; ++i) {
        chunk.push_back(static_cast<unsigned char>(type[i]));
    }
    for (unsigned char byte : data) {
        chunk.push_back(byte);
    }
    const uLong crc =
        crc32(crc32(0L, nullptr, 0), chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
    put32(static_cast<std::uint32_t>(crc));
    return chunk;
}

// A well-formed header claiming width x height RGBA pixels, then a token of image data.
Bytes ClaimedImage(std::uint32_t width, std::uint32_t height) {
    Bytes png(kSignature, kSignature + 8);
    Bytes ihdr;
    for (std::uint32_t v : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            ihdr.push_back(static_cast<unsigned char>(v >> shift));
        }
    }
    ihdr.insert(ihdr.end(), {8, PNG_COLOR_TYPE_RGB_ALPHA, 0, 0, 0});
    for (const Bytes& chunk :
         {Chunk("IHDR", ihdr), Chunk("IDAT", {0x78, 0x9C, 0x03, 0x00}), Chunk("IEND", {})}) {
        png.insert(png.end(), chunk.begin(), chunk.end());
    }
    return png;
}

TEST(PngLoader, FailsOnDamagedHeadersAndImpossibleSizes) {
    Bytes damaged = WritePng(GreyCase("grey", 8).image);
    damaged[8 + 8 + 3] ^= 0x01;  // a bit of the width, so the header's checksum no longer fits
    EXPECT_EQ(LICE_LoadPngFromMemory(damaged.data(), damaged.size()), nullptr);

    // One million square is within libpng's limits but beyond what a bitmap can hold.
    const Bytes huge = ClaimedImage(1000000, 1000000);
    EXPECT_EQ(LICE_LoadPngFromMemory(huge.data(), huge.size()), nullptr);
    LICE_MemBitmap passed(2, 2);
    EXPECT_EQ(LICE_LoadPngFromMemory(huge.data(), huge.size(), &passed), nullptr);

    // A plausible size whose data is missing fails in the image data instead.
    const Bytes small = ClaimedImage(3, 2);
    EXPECT_EQ(LICE_LoadPngFromMemory(small.data(), small.size()), nullptr);

    // A file that ends inside a chunk claiming 2 GB fails at its end, not after libpng has read
    // and checksummed 2 GB of made-up bytes (most of a second, found by the PNG fuzzer).
    Bytes endsEarly(kSignature, kSignature + 8);
    const Bytes ihdr = Chunk("IHDR", {0, 0, 0, 7, 0, 0, 0, 5, 8, PNG_COLOR_TYPE_GRAY, 0, 0, 0});
    endsEarly.insert(endsEarly.end(), ihdr.begin(), ihdr.end());
    endsEarly.insert(endsEarly.end(), {0x7F, 0xFF, 0xFF, 0xFF, 'p', 'r', 'V', 't', 1, 2, 3, 4});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LICE_LoadPngFromMemory(endsEarly.data(), endsEarly.size()), nullptr);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took.count(), 0.25);
}

}  // namespace
