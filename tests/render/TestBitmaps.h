// Helpers shared by the rendering tests: pixel packing, reading pixels by image coordinates, and
// a bottom-up bitmap that exercises the IsFlipped addressing the production bitmaps never use.
#pragma once

#include <vector>

#include "render/LICE_IBitmap.h"

inline Pixel MakePixel(int blue, int green, int red, int alpha) {
    return static_cast<Pixel>(blue) | static_cast<Pixel>(green) << 8 |
           static_cast<Pixel>(red) << 16 | static_cast<Pixel>(alpha) << 24;
}

inline Pixel* PixelAddress(const LICE_IBitmap& bitmap, int x, int y) {
    const int row = bitmap.IsFlipped() ? bitmap.Height() - 1 - y : y;
    return bitmap.Bits() + row * bitmap.RowSpan() + x;
}

inline Pixel PixelAt(const LICE_IBitmap& bitmap, int x, int y) {
    return *PixelAddress(bitmap, x, y);
}

// Fills every pixel of the storage, row padding included.
inline void FillStorage(const LICE_IBitmap& bitmap, Pixel value) {
    for (int i = 0; i < bitmap.Height() * bitmap.RowSpan(); ++i) {
        bitmap.Bits()[i] = value;
    }
}

// Bottom-up storage over a vector: image row 0 is the last row in memory.
class FlippedBitmap : public LICE_IBitmap {
  public:
    FlippedBitmap(int width, int height) { FlippedBitmap::Resize(width, height); }
    Pixel* Bits() const override { return m_pixels.empty() ? nullptr : m_pixels.data(); }
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    int RowSpan() const override { return (m_width + 3) & ~3; }
    bool IsFlipped() const override { return true; }
    bool Resize(int width, int height) override {
        if (width == m_width && height == m_height) {
            return false;
        }
        m_width = width;
        m_height = height;
        m_pixels.assign(static_cast<size_t>(RowSpan() * height), 0);
        return true;
    }

  private:
    int m_width = 0;
    int m_height = 0;
    mutable std::vector<Pixel> m_pixels;
};
