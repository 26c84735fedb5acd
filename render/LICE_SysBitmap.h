// The editor's offscreen surface, which the window copies to the screen. Owns a memory device
// context and the top-down 32-bit DIB section selected into it on Windows, a block of the same
// layout elsewhere. Created by the editor when it prepares for drawing; window thread only.
#pragma once

#include "render/LICE_IBitmap.h"

#ifdef _WIN32
struct HBITMAP__;
#endif

class LICE_SysBitmap : public LICE_IBitmap {
  public:
    explicit LICE_SysBitmap(int width = 0, int height = 0);
    ~LICE_SysBitmap() override;

    LICE_SysBitmap(const LICE_SysBitmap&) = delete;
    LICE_SysBitmap& operator=(const LICE_SysBitmap&) = delete;

    Pixel* Bits() const override { return m_bits; }
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    // The allocated width: after shrinking, rows keep the span of the larger allocation.
    int RowSpan() const override { return m_allocWidth; }
    // Keeps the current storage when the new size fits inside it; otherwise replaces it. Answers
    // false, with null Bits, for a size without pixels; a failed allocation leaves it 0 x 0.
    bool Resize(int width, int height) override;
    // The memory device context on Windows (copy from it with BitBlt); the bitmap itself
    // elsewhere. Null only when Windows could not create the device context.
    LICE_DeviceContext DeviceContext() const override;

    int AllocatedHeight() const { return m_allocHeight; }

  private:
    void ReleaseStorage();

    int m_width = 0;
    int m_height = 0;
#ifdef _WIN32
    HDC__* m_dc = nullptr;  // owned memory device context, deleted with DeleteDC
#endif
    Pixel* m_bits = nullptr;  // the storage's pixels (owned through the DIB section or the block)
    int m_allocWidth = 0;     // multiple of 4: the row span
    int m_allocHeight = 0;
#ifdef _WIN32
    HBITMAP__* m_dib = nullptr;  // owned DIB section, deleted with DeleteObject
    void* m_previous = nullptr;  // object the DIB section displaced from m_dc, selected back first
#else
    void* m_block = nullptr;  // owned, from calloc
#endif
};
