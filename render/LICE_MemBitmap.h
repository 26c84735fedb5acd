// A bitmap in a plain heap block, usable on every platform: decoded images live in these. It owns
// its block, which grows by a quarter more than needed and never shrinks, so repeated resizing
// seldom reallocates. Created by the PNG loader or a test; one thread at a time uses it.
#pragma once

#include "render/LICE_IBitmap.h"

class LICE_MemBitmap : public LICE_IBitmap {
  public:
    // A 0 x 0 bitmap holds no block; any other positive size is allocated at once.
    explicit LICE_MemBitmap(int width = 0, int height = 0);
    ~LICE_MemBitmap() override;

    LICE_MemBitmap(const LICE_MemBitmap&) = delete;
    LICE_MemBitmap& operator=(const LICE_MemBitmap&) = delete;

    // The block rounded up to 64 bytes, so every row (a multiple of 4 pixels) starts on 16 bytes.
    Pixel* Bits() const override;
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    int RowSpan() const override { return SpanFor(m_width); }
    // A non-positive size, a size whose storage would not fit in a 32-bit byte count, or a failed
    // allocation leaves the bitmap empty (0 x 0, null Bits) and still answers true.
    bool Resize(int width, int height) override;

    // Bytes of pixel storage the block can hold (the block itself is 63 bytes larger), 0 without.
    int Capacity() const { return m_capacity; }

  private:
    int SpanFor(int width) const { return (width + m_lineAlignMask) & ~m_lineAlignMask; }
    void Release();

    void* m_raw = nullptr;  // owned: the block as malloc/realloc returned it, freed here
    int m_width = 0;
    int m_height = 0;
    int m_capacity = 0;
    int m_lineAlignMask = 3;  // rows padded to a multiple of 4 pixels
};
