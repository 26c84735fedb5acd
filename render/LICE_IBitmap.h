// The abstract 32-bit pixel surface through which all drawing code reaches pixels (the editor's
// offscreen picture, every decoded image); implementations own the storage. Unsynchronised: one
// thread at a time, the instantiating thread while decoding, then the editor's window thread.
#pragma once

#include <cstdint>

// One pixel: straight (not premultiplied) alpha, bytes in memory blue, green, red, alpha, so the
// value read as a little-endian word is 0xAARRGGBB. Alpha 255 is opaque.
using Pixel = std::uint32_t;

#ifdef _WIN32
// The Win32 HDC, declared without <windows.h> so that platform-free code can include this header.
struct HDC__;
using LICE_DeviceContext = HDC__*;
#else
// Without GDI the system bitmap is its own drawing context: the window presents straight from
// its Bits, Width, Height and RowSpan (for instance with XPutImage over the same memory).
class LICE_SysBitmap;
using LICE_DeviceContext = const LICE_SysBitmap*;
#endif

class LICE_IBitmap {
  public:
    LICE_IBitmap() = default;
    LICE_IBitmap(const LICE_IBitmap&) = delete;
    LICE_IBitmap& operator=(const LICE_IBitmap&) = delete;

    // Whoever creates a bitmap deletes it through this destructor.
    virtual ~LICE_IBitmap() = default;

    // The pixel buffer, or null when the bitmap holds no pixels. The pixel at column x of row y
    // is at Bits() + y * RowSpan() + x (rows counted from the bottom when IsFlipped()). A const
    // bitmap keeps its geometry; its pixels stay writable through this pointer.
    virtual Pixel* Bits() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Distance in pixels from one row to the next: at least the width, a multiple of 4.
    virtual int RowSpan() const = 0;
    // True when row 0 of the image is the last row in memory (bottom-up storage).
    virtual bool IsFlipped() const { return false; }
    // True when the visible size changed. Pixel contents afterwards are undefined; a bitmap that
    // could not get storage reads back as empty (null Bits), which callers check.
    virtual bool Resize(int width, int height) = 0;
    // A drawing context from which the window can be painted, for bitmaps that have one.
    virtual LICE_DeviceContext DeviceContext() const { return nullptr; }
    // Open-ended extension hook; no extension is defined, so implementations answer 0.
    virtual std::intptr_t Extended(int id, void* data) {
        (void)id;
        (void)data;
        return 0;
    }
};
