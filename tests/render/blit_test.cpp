#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "TestBitmaps.h"
#include "render/LICE_BlitBitmap.h"
#include "render/LICE_MemBitmap.h"

namespace {

constexpr int kSourceAlpha = LICE_BLEND_COPY | LICE_BLEND_USE_SOURCE_ALPHA;

// Blends one source pixel onto one destination pixel through a 1 x 1 blit.
Pixel BlendOne(Pixel dest, Pixel src, int mode, float alpha = 1.0f) {
    LICE_MemBitmap d(1, 1);
    LICE_MemBitmap s(1, 1);
    d.Bits()[0] = dest;
    s.Bits()[0] = src;
    LICE_BlitBitmap(&d, &s, 0, 0, nullptr, alpha, mode);
    return d.Bits()[0];
}

TEST(BlitArithmetic, SourceAlphaBlendsWithTruncationTowardZero) {
    // Colour moves toward the destination by (255 - a) / 256; negative steps truncate toward 0.
    EXPECT_EQ(BlendOne(MakePixel(0, 0, 0, 0), MakePixel(200, 100, 0, 128), kSourceAlpha),
              MakePixel(101, 51, 0, 128));
    // blue 10 + 240 * 191 / 256, green 20 + 110 * 191 / 256, red 30 + 40 * 191 / 256; the
    // alpha sum saturates.
    EXPECT_EQ(BlendOne(MakePixel(250, 130, 70, 220), MakePixel(10, 20, 30, 64), kSourceAlpha),
              MakePixel(189, 102, 59, 255));
    // The divisor is 256, not 255: a full-range step of 255 * 254 gives 253 either way round.
    EXPECT_EQ(BlendOne(MakePixel(255, 0, 128, 200), MakePixel(0, 255, 128, 1), kSourceAlpha),
              MakePixel(253, 2, 128, 201));
}

TEST(BlitArithmetic, SourceAlphaZeroKeepsAndFullAlphaReplaces) {
    const Pixel dest = MakePixel(1, 2, 3, 40);
    EXPECT_EQ(BlendOne(dest, MakePixel(200, 150, 100, 0), kSourceAlpha), dest);
    EXPECT_EQ(BlendOne(dest, MakePixel(200, 150, 100, 255), kSourceAlpha),
              MakePixel(200, 150, 100, 255));
    EXPECT_EQ(BlendOne(MakePixel(0, 0, 0, 0), MakePixel(9, 8, 7, 255), kSourceAlpha),
              MakePixel(9, 8, 7, 255));
}

TEST(BlitArithmetic, PlainCopyWritesAlphaBytesUnchanged) {
    const Pixel dest = MakePixel(50, 60, 70, 255);
    for (int a : {0, 1, 128, 254, 255}) {
        const Pixel src = MakePixel(10, 20, 30, a);
        EXPECT_EQ(BlendOne(dest, src, LICE_BLEND_COPY), src) << a;
    }
}

TEST(BlitArithmetic, WeightScalesBothModesAndZeroOrNaNDrawsNothing) {
    const Pixel dest = MakePixel(0, 200, 100, 0);
    const Pixel src = MakePixel(200, 0, 100, 255);
    // Half weight: each channel, alpha included, moves halfway (truncated toward zero).
    EXPECT_EQ(BlendOne(dest, src, LICE_BLEND_COPY, 0.5f), MakePixel(100, 100, 100, 127));
    // Half weight on an opaque source pixel is a source alpha of 127.
    EXPECT_EQ(BlendOne(dest, src, kSourceAlpha, 0.5f),
              BlendOne(dest, MakePixel(200, 0, 100, 127), kSourceAlpha));
    EXPECT_EQ(BlendOne(dest, src, LICE_BLEND_COPY, 2.0f), src) << "above 1 counts as 1";
    for (float alpha : {0.0f, -1.0f, 0.001f, std::numeric_limits<float>::quiet_NaN()}) {
        EXPECT_EQ(BlendOne(dest, src, LICE_BLEND_COPY, alpha), dest) << alpha;
        EXPECT_EQ(BlendOne(dest, src, kSourceAlpha, alpha), dest) << alpha;
    }
}

TEST(BlitArithmetic, AbsentOrEmptyBitmapsDrawNothing) {
    LICE_MemBitmap dest(4, 4);
    LICE_MemBitmap empty;
    FillStorage(dest, 7);
    LICE_BlitBitmap(&dest, nullptr, 0, 0, nullptr, 1.0f, LICE_BLEND_COPY);
    LICE_BlitBitmap(nullptr, &dest, 0, 0, nullptr, 1.0f, LICE_BLEND_COPY);
    LICE_BlitBitmap(&dest, &empty, 0, 0, nullptr, 1.0f, LICE_BLEND_COPY);
    LICE_Rect all{-10, -10, 10, 10};
    LICE_BlitBitmap(&dest, &empty, -2, -2, &all, 1.0f, kSourceAlpha);
    LICE_BlitBitmap(&empty, &dest, 0, 0, &all, 1.0f, LICE_BLEND_COPY);
    for (int i = 0; i < dest.Height() * dest.RowSpan(); ++i) {
        ASSERT_EQ(dest.Bits()[i], 7u);
    }
}

// --- Clipping -------------------------------------------------------------------------------

// Source pixel values unique per position, opaque so that both modes copy them exactly.
Pixel SourceValue(int x, int y) {
    return MakePixel(x + 1, y + 1, 0x5A, 255);
}
constexpr Pixel kBackground = 0x11223344u;
constexpr Pixel kPadding = 0xDEADBEEFu;

// The picture a blit must leave, computed pixel by pixel: source pixel (u, v) of the rectangle,
// cut to the source, lands at (dx + u - left, dy + v - top) when that lies inside the
// destination.
std::vector<Pixel> ExpectedPicture(int destW, int destH, int srcW, int srcH, std::int64_t dx,
                                   std::int64_t dy, const LICE_Rect* rect) {
    std::vector<Pixel> picture(static_cast<size_t>(destW * destH), kBackground);
    const std::int64_t left = rect ? rect->left : 0;
    const std::int64_t top = rect ? rect->top : 0;
    const std::int64_t right = rect ? rect->right : srcW;
    const std::int64_t bottom = rect ? rect->bottom : srcH;
    for (std::int64_t v = std::max<std::int64_t>(top, 0); v < std::min<std::int64_t>(bottom, srcH);
         ++v) {
        for (std::int64_t u = std::max<std::int64_t>(left, 0);
             u < std::min<std::int64_t>(right, srcW); ++u) {
            const std::int64_t x = dx + u - left;
            const std::int64_t y = dy + v - top;
            if (x >= 0 && x < destW && y >= 0 && y < destH) {
                picture[static_cast<size_t>(y * destW + x)] =
                    SourceValue(static_cast<int>(u), static_cast<int>(v));
            }
        }
    }
    return picture;
}

std::unique_ptr<LICE_IBitmap> MakeBitmap(bool flipped, int width, int height) {
    if (flipped) {
        return std::make_unique<FlippedBitmap>(width, height);
    }
    return std::make_unique<LICE_MemBitmap>(width, height);
}

// Blits a 5 x 4 source onto a 7 x 6 destination at every offset that reaches past each edge,
// with and without source rectangles that reach past the source, and compares the whole
// storage with the expected picture; the row padding must stay untouched.
TEST(BlitClipping, MatchesThePixelByPixelPictureAtEveryEdge) {
    constexpr int srcW = 5, srcH = 4, destW = 7, destH = 6;
    const std::vector<LICE_Rect> rects = {
        {0, 0, srcW, srcH},
        {-5, 0, 3, 4},
        {1, 1, 4, 3},
        {2, -2, 10, 2},
        {-1, -1, 99, 99},
        {3, 3, 3, 4},
        {4, 0, 2, 4},
        {6, 0, 9, 4},
        {0, 5, 5, 9},
        {-7, -7, -1, -1},
        {2, 1, 5, 4},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
        {0, 0, INT_MAX, INT_MAX},
        {INT_MAX - 1, 0, INT_MAX, 4},
    };
    for (bool flippedSrc : {false, true}) {
        for (bool flippedDest : {false, true}) {
            auto src = MakeBitmap(flippedSrc, srcW, srcH);
            auto dest = MakeBitmap(flippedDest, destW, destH);
            for (int y = 0; y < srcH; ++y) {
                for (int x = 0; x < srcW; ++x) {
                    *PixelAddress(*src, x, y) = SourceValue(x, y);
                }
            }
            for (int mode : {LICE_BLEND_COPY, kSourceAlpha}) {
                for (int r = -1; r < static_cast<int>(rects.size()); ++r) {
                    const LICE_Rect* rect = r < 0 ? nullptr : &rects[static_cast<size_t>(r)];
                    std::vector<int> offsets;
                    for (int d = -9; d <= 9; ++d) {
                        offsets.push_back(d);
                    }
                    offsets.insert(offsets.end(), {INT_MIN, INT_MIN + 1, INT_MAX, INT_MAX - 3});
                    for (int dx : offsets) {
                        for (int dy : {-5, -4, -1, 0, 2, 5, 6, 9, INT_MIN, INT_MAX}) {
                            FillStorage(*dest, kPadding);
                            for (int y = 0; y < destH; ++y) {
                                for (int x = 0; x < destW; ++x) {
                                    *PixelAddress(*dest, x, y) = kBackground;
                                }
                            }
                            LICE_BlitBitmap(dest.get(), src.get(), dx, dy, rect, 1.0f, mode);
                            const auto expected =
                                ExpectedPicture(destW, destH, srcW, srcH, dx, dy, rect);
                            for (int y = 0; y < destH; ++y) {
                                for (int x = 0; x < destW; ++x) {
                                    ASSERT_EQ(PixelAt(*dest, x, y),
                                              expected[static_cast<size_t>(y * destW + x)])
                                        << "pixel " << x << "," << y << " offset " << dx << ","
                                        << dy << " rect " << r << " mode " << mode << " flipped "
                                        << flippedSrc << flippedDest;
                                }
                                for (int x = destW; x < dest->RowSpan(); ++x) {
                                    ASSERT_EQ(PixelAddress(*dest, 0, y)[x], kPadding);
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(BlitClipping, NamedEdgeCases) {
    LICE_MemBitmap src(4, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            *PixelAddress(src, x, y) = SourceValue(x, y);
        }
    }
    LICE_MemBitmap dest(12, 4);
    const auto reset = [&dest] { FillStorage(dest, kBackground); };

    reset();
    const LICE_Rect leftOfSource{-5, 0, 4, 2};
    LICE_BlitBitmap(&dest, &src, 0, 0, &leftOfSource, 1.0f, LICE_BLEND_COPY);
    EXPECT_EQ(PixelAt(dest, 5, 0), SourceValue(0, 0)) << "column 0 lands 5 to the right";
    EXPECT_EQ(PixelAt(dest, 4, 0), kBackground);
    EXPECT_EQ(PixelAt(dest, 8, 1), SourceValue(3, 1));

    reset();
    LICE_BlitBitmap(&dest, &src, -3, 0, nullptr, 1.0f, LICE_BLEND_COPY);
    EXPECT_EQ(PixelAt(dest, 0, 0), SourceValue(3, 0)) << "three columns skipped";
    EXPECT_EQ(PixelAt(dest, 1, 0), kBackground);

    reset();
    const LICE_Rect beyondRight{2, 0, 100, 2};
    LICE_BlitBitmap(&dest, &src, 0, 0, &beyondRight, 1.0f, LICE_BLEND_COPY);
    EXPECT_EQ(PixelAt(dest, 1, 0), SourceValue(3, 0));
    EXPECT_EQ(PixelAt(dest, 2, 0), kBackground) << "cut at the source width";

    reset();
    LICE_BlitBitmap(&dest, &src, 12, 0, nullptr, 1.0f, LICE_BLEND_COPY);
    LICE_BlitBitmap(&dest, &src, 0, 4, nullptr, 1.0f, kSourceAlpha);
    for (int i = 0; i < dest.Height() * dest.RowSpan(); ++i) {
        ASSERT_EQ(dest.Bits()[i], kBackground) << "right of or below the destination";
    }
}

// A bitmap blitted onto itself must read every source pixel before overwriting it, whichever way
// the areas overlap.
TEST(BlitClipping, OverlappingBlitWithinOneBitmapReadsTheOriginalPixels) {
    constexpr int w = 9, h = 7;
    for (bool flipped : {false, true}) {
        for (int mode : {LICE_BLEND_COPY, kSourceAlpha}) {
            for (int dx = -2; dx <= 2; ++dx) {
                for (int dy = -2; dy <= 2; ++dy) {
                    auto bitmap = MakeBitmap(flipped, w, h);
                    for (int y = 0; y < h; ++y) {
                        for (int x = 0; x < w; ++x) {
                            *PixelAddress(*bitmap, x, y) = SourceValue(x, y);
                        }
                    }
                    const LICE_Rect rect{1, 1, 8, 6};
                    LICE_BlitBitmap(bitmap.get(), bitmap.get(), 1 + dx, 1 + dy, &rect, 1.0f, mode);
                    for (int y = 0; y < h; ++y) {
                        for (int x = 0; x < w; ++x) {
                            const int u = x - dx;
                            const int v = y - dy;
                            const bool moved = u >= 1 && u < 8 && v >= 1 && v < 6;
                            ASSERT_EQ(PixelAt(*bitmap, x, y),
                                      moved ? SourceValue(u, v) : SourceValue(x, y))
                                << x << "," << y << " by " << dx << "," << dy << " mode " << mode
                                << " flipped " << flipped;
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
