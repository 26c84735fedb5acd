#include "tools/snapshot/PngWriter.h"

#include <png.h>

#include <vector>

#include "tools/audiofile/AtomicFile.h"
#include "tools/audiofile/ToolError.h"

namespace {

// libpng's output callback: the encoded bytes gather in memory, so the file
// is written in one go through AtomicFile.
// No exception may cross libpng's C frames: a failed allocation becomes
// libpng's own error, raised once nothing here needs destroying.
void Append(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        out->insert(out->end(), data, data + size);
    } catch (...) {
        stored = false;
    }
    if (!stored)
        png_error(png, "out of memory");
}

void NoFlush(png_structp) {}

// Everything libpng needs is set up before setjmp, so no C++ object with a
// destructor lives across the jump.
bool EncodeRows(std::vector<unsigned char>* out, png_bytep* rows, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, out, Append, NoFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePng(const LICE_IBitmap& bitmap, const std::string& path, std::string* error) {
    const int w = bitmap.Width(), h = bitmap.Height();
    if (!bitmap.Bits() || w <= 0 || h <= 0) {
        if (error)
            *error = "the picture is empty";
        return false;
    }
    std::vector<unsigned char> rgba(static_cast<std::size_t>(w) * h * 4);
    std::vector<png_bytep> rows(static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const int row = bitmap.IsFlipped() ? h - 1 - y : y;
        const Pixel* src = bitmap.Bits() + static_cast<std::size_t>(row) * bitmap.RowSpan();
        unsigned char* dst = &rgba[static_cast<std::size_t>(y) * w * 4];
        for (int x = 0; x < w; ++x) {
            dst[4 * x + 0] = static_cast<unsigned char>(src[x] >> 16);
            dst[4 * x + 1] = static_cast<unsigned char>(src[x] >> 8);
            dst[4 * x + 2] = static_cast<unsigned char>(src[x]);
            dst[4 * x + 3] = static_cast<unsigned char>(src[x] >> 24);
        }
        rows[y] = dst;
    }
    try {
        AtomicFile file(path);
        std::vector<unsigned char> encoded;
        if (!EncodeRows(&encoded, rows.data(), w, h)) {
            if (error)
                *error = "cannot write " + path + ": the PNG encoder failed";
            return false;
        }
        file.Write(encoded.data(), encoded.size());
        file.Commit();
    } catch (const ToolError& e) {
        if (error)
            *error = e.what();
        return false;
    }
    return true;
}
