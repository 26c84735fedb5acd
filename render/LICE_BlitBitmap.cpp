#include "render/LICE_BlitBitmap.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

int Channel(Pixel p, int shift) {
    return static_cast<int>((p >> shift) & 0xFFu);
}

Pixel Pack(int blue, int green, int red, int alpha) {
    return static_cast<Pixel>(blue) | static_cast<Pixel>(green) << 8 |
           static_cast<Pixel>(red) << 16 | static_cast<Pixel>(alpha) << 24;
}

// Address of image row `row`, honouring bottom-up storage.
Pixel* RowAddress(const LICE_IBitmap& bitmap, Pixel* bits, std::int64_t row) {
    const std::int64_t memoryRow = bitmap.IsFlipped() ? bitmap.Height() - 1 - row : row;
    return bits + static_cast<std::ptrdiff_t>(memoryRow * bitmap.RowSpan());
}

// One weighted copy of a row segment, alpha channel included.
struct WeightedCopy {
    int weight;  // 1..255 of 256
    Pixel operator()(Pixel d, Pixel s) const {
        const auto mix = [this](int dc, int sc) { return dc + (sc - dc) * weight / 256; };
        return Pack(mix(Channel(d, 0), Channel(s, 0)), mix(Channel(d, 8), Channel(s, 8)),
                    mix(Channel(d, 16), Channel(s, 16)), mix(Channel(d, 24), Channel(s, 24)));
    }
};

// Copy weighted by the source pixel's alpha (scaled by the call's weight).
struct SourceAlphaCopy {
    int weight;  // 1..256 of 256
    Pixel operator()(Pixel d, Pixel s) const {
        const int a = Channel(s, 24) * weight / 256;
        if (a == 0) {
            return d;
        }
        if (a == 255) {
            return s | 0xFF000000u;
        }
        const int keep = 255 - a;
        const auto mix = [keep](int dc, int sc) { return sc + (dc - sc) * keep / 256; };
        return Pack(mix(Channel(d, 0), Channel(s, 0)), mix(Channel(d, 8), Channel(s, 8)),
                    mix(Channel(d, 16), Channel(s, 16)), std::min(Channel(d, 24) + a, 255));
    }
};

// The clipped block: `cols` x `rows` pixels from source (sx, sy) to destination (dx, dy).
struct Block {
    LICE_IBitmap* dest;
    const LICE_IBitmap* src;
    Pixel* destBits;
    Pixel* srcBits;
    std::int64_t dx, dy, sx, sy, cols, rows;
};

// Runs `op` over every row segment. When a bitmap is blitted onto itself and the destination
// lies after the source in memory, the block is walked backwards (last address first), so that
// no source pixel is overwritten before it has been read.
template <typename RowOp>
void ForEachRow(const Block& b, RowOp op) {
    const Pixel* firstSrc = RowAddress(*b.src, b.srcBits, b.sy) + b.sx;
    const Pixel* firstDest = RowAddress(*b.dest, b.destBits, b.dy) + b.dx;
    const bool backwards = b.dest == b.src && firstDest > firstSrc;
    // Image rows run backwards in memory in a bottom-up bitmap.
    const bool rowsDescending = backwards != b.dest->IsFlipped();
    for (std::int64_t i = 0; i < b.rows; ++i) {
        const std::int64_t row = rowsDescending ? b.rows - 1 - i : i;
        Pixel* d = RowAddress(*b.dest, b.destBits, b.dy + row) + b.dx;
        const Pixel* s = RowAddress(*b.src, b.srcBits, b.sy + row) + b.sx;
        op(d, s, static_cast<std::ptrdiff_t>(b.cols), backwards);
    }
}

template <typename PixelOp>
void BlendBlock(const Block& b, PixelOp blend) {
    ForEachRow(b, [blend](Pixel* d, const Pixel* s, std::ptrdiff_t n, bool backwards) {
        if (backwards) {
            for (std::ptrdiff_t x = n - 1; x >= 0; --x) {
                d[x] = blend(d[x], s[x]);
            }
        } else {
            for (std::ptrdiff_t x = 0; x < n; ++x) {
                d[x] = blend(d[x], s[x]);
            }
        }
    });
}

}  // namespace

void LICE_BlitBitmap(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty,
                     const LICE_Rect* srcrect, float alpha, int mode) {
    // The negated test also turns NaN away.
    if (!dest || !src || !(alpha > 0.0f)) {
        return;
    }
    const int weight = alpha >= 1.0f ? 256 : static_cast<int>(static_cast<double>(alpha) * 256.0);
    if (weight <= 0) {
        return;  // a weight below 1/256 changes no pixel
    }

    // Clipping runs in 64 bits: coordinates near the int limits must not wrap round.
    const std::int64_t srcW = src->Width();
    const std::int64_t srcH = src->Height();
    const std::int64_t destW = dest->Width();
    const std::int64_t destH = dest->Height();
    std::int64_t dx = dstx;
    std::int64_t dy = dsty;
    std::int64_t sx = 0;
    std::int64_t sy = 0;
    std::int64_t sr = srcW;
    std::int64_t sb = srcH;
    if (srcrect) {
        // A rectangle reaching left of or above the source moves the drawing right or down by
        // the part that does not exist, keeping every pixel where the rectangle put it.
        if (srcrect->left < 0) {
            dx -= srcrect->left;
        } else {
            sx = srcrect->left;
        }
        if (srcrect->top < 0) {
            dy -= srcrect->top;
        } else {
            sy = srcrect->top;
        }
        sr = std::min<std::int64_t>(srcrect->right, srcW);
        sb = std::min<std::int64_t>(srcrect->bottom, srcH);
    }
    if (dx < 0) {
        sx -= dx;
        dx = 0;
    }
    if (dy < 0) {
        sy -= dy;
        dy = 0;
    }
    if (sr <= sx || sb <= sy || dx >= destW || dy >= destH) {
        return;
    }
    sr = std::min(sr, sx + destW - dx);
    sb = std::min(sb, sy + destH - dy);
    Pixel* const destBits = dest->Bits();
    Pixel* const srcBits = src->Bits();
    if (sr <= sx || sb <= sy || !destBits || !srcBits) {
        return;
    }

    const Block block{dest, src, destBits, srcBits, dx, dy, sx, sy, sr - sx, sb - sy};
    if ((mode & LICE_BLEND_USE_SOURCE_ALPHA) != 0) {
        BlendBlock(block, SourceAlphaCopy{weight});
    } else if (weight == 256) {
        // Every operation is a copy; at full weight whole rows move at once. memmove because
        // a row may overlap itself when a bitmap is blitted onto itself.
        ForEachRow(block, [](Pixel* d, const Pixel* s, std::ptrdiff_t n, bool) {
            std::memmove(d, s, static_cast<std::size_t>(n) * sizeof(Pixel));
        });
    } else {
        BlendBlock(block, WeightedCopy{weight});
    }
}
