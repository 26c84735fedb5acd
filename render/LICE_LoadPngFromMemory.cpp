#include "render/LICE_LoadPngFromMemory.h"

#include <png.h>

#include <climits>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>

#include "render/LICE_MemBitmap.h"

// libpng reports errors by longjmp back to a setjmp. The two functions that call setjmp below hold
// nothing with a destructor and write their results only through pointers into the caller's
// frame; every resource is owned by LICE_LoadPngFromMemory itself, which never has a longjmp
// cross it, so a failure anywhere in libpng is cleaned up by ordinary destructors.

namespace {

constexpr unsigned char kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Where the custom read function continues in the caller's block.
struct ReadCursor {
    const unsigned char* next;
    std::size_t left;
};

// Reading past the end is an error of its own, reported at once (png_error returns through the
// setjmp). Zeros in place of the missing bytes made libpng read a truncated file's last length
// field as it stood: a chunk claiming up to 2 GB was read and checksummed byte by byte first.
void ReadFromCursor(png_structp png, png_bytep out, png_size_t count) {
    auto* cursor = static_cast<ReadCursor*>(png_get_io_ptr(png));
    if (count > cursor->left) {
        png_error(png, "read past the end of the data");
    }
    std::memcpy(out, cursor->next, count);
    cursor->next += count;
    cursor->left -= count;
}

struct ImageHeader {
    png_uint_32 width;
    png_uint_32 height;
};

// Reads the chunks up to the image data and asks libpng for four bytes per pixel in the order
// alpha, red, green, blue, alpha 255 where the image has no transparency. False on any error.
bool ReadHeaderAndRequestArgb(png_structp png, png_infop info, ReadCursor* cursor,
                              ImageHeader* header) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_read_fn(png, cursor, ReadFromCursor);
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    int compression = 0;
    int filter = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, &compression,
                 &filter);

    // The order of these requests matters: palette and low-depth grey are expanded before
    // transparency becomes an alpha channel, and the alpha position is settled last.
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) {
        png_set_expand_gray_1_2_4_to_8(png);
    }
    if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
        png_set_tRNS_to_alpha(png);
        colorType |= PNG_COLOR_MASK_ALPHA;
    }
    if (bitDepth == 16) {
        png_set_strip_16(png);
    }
    if (bitDepth < 8) {
        png_set_packing(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
        png_set_gray_to_rgb(png);
    }
    if ((colorType & PNG_COLOR_MASK_ALPHA) != 0) {
        png_set_swap_alpha(png);
    } else {
        png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
    }

    header->width = width;
    header->height = height;
    return true;
}

// Decodes every row (all seven passes of an interlaced image) into the row table.
bool ReadRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_image(png, rows);
    return true;
}

// Owns the libpng read and info structures of one load.
class PngReader {
  public:
    PngReader() {
        // No error or warning handlers of ours: errors unwind through libpng's setjmp mechanism.
        m_png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        if (m_png) {
            m_info = png_create_info_struct(m_png);
        }
    }
    ~PngReader() { Destroy(); }
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    bool Ok() const { return m_png && m_info; }
    png_structp Png() const { return m_png; }
    png_infop Info() const { return m_info; }
    void Destroy() {
        if (m_png) {
            png_destroy_read_struct(&m_png, m_info ? &m_info : nullptr, nullptr);
        }
        m_png = nullptr;
        m_info = nullptr;
    }

  private:
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

}  // namespace

LICE_IBitmap* LICE_LoadPngFromMemory(const void* data, std::size_t length, LICE_IBitmap* bitmap) {
    if (!data || length < sizeof kSignature ||
        std::memcmp(data, kSignature, sizeof kSignature) != 0) {
        return nullptr;
    }

    PngReader reader;
    if (!reader.Ok()) {
        return nullptr;
    }
    ReadCursor cursor{static_cast<const unsigned char*>(data), length};
    ImageHeader header{};
    if (!ReadHeaderAndRequestArgb(reader.Png(), reader.Info(), &cursor, &header)) {
        return nullptr;
    }
    if (header.width > INT_MAX || header.height > INT_MAX) {
        return nullptr;
    }
    const int width = static_cast<int>(header.width);
    const int height = static_cast<int>(header.height);

    // A bitmap made here is deleted on every failure; a caller's bitmap never is.
    std::unique_ptr<LICE_IBitmap> created;
    if (bitmap) {
        bitmap->Resize(width, height);
    } else {
        created.reset(new (std::nothrow) LICE_MemBitmap(width, height));
        bitmap = created.get();
    }
    // A bitmap that could not take the size reads back smaller or empty.
    if (!bitmap || bitmap->Width() != width || bitmap->Height() != height || !bitmap->Bits() ||
        bitmap->RowSpan() < width) {
        return nullptr;
    }

    std::unique_ptr<png_bytep[]> rows(new (std::nothrow) png_bytep[header.height]);
    if (!rows) {
        return nullptr;
    }
    Pixel* const bits = bitmap->Bits();
    const std::ptrdiff_t span = bitmap->RowSpan();
    for (int y = 0; y < height; ++y) {
        const int memoryRow = bitmap->IsFlipped() ? height - 1 - y : y;
        rows[y] = reinterpret_cast<png_bytep>(bits + memoryRow * span);
    }

    if (!ReadRows(reader.Png(), rows.get())) {
        return nullptr;
    }
    reader.Destroy();

    // libpng delivered the bytes a, r, g, b; make each pixel the value 0xAARRGGBB.
    for (int y = 0; y < height; ++y) {
        unsigned char* p = rows[y];
        for (int x = 0; x < width; ++x, p += 4) {
            const Pixel value = static_cast<Pixel>(p[0]) << 24 | static_cast<Pixel>(p[1]) << 16 |
                                static_cast<Pixel>(p[2]) << 8 | static_cast<Pixel>(p[3]);
            std::memcpy(p, &value, sizeof value);
        }
    }
    return created ? created.release() : bitmap;
}
