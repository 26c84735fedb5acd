// Decodes a PNG file image held in memory into a 32-bit bitmap (straight alpha, B G R A bytes),
// whatever the PNG's colour type and bit depth, through libpng. It keeps nothing between calls;
// the editor calls it on the instantiating thread to turn its image resources into bitmaps.
#pragma once

#include <cstddef>

#include "render/LICE_IBitmap.h"

// Decodes the `length` bytes at `data` (read only, needed only during the call).
//
// Without a destination a new LICE_MemBitmap is created and returned; the caller owns it and
// deletes it through the virtual destructor. With one, it is resized to the image, overwritten
// and returned (the pixels between the width and the row span are left alone).
//
// Any failure (no PNG signature, damaged or truncated data, an image too large for a bitmap, no
// memory) answers null and leaves nothing allocated behind. A destination passed in is never
// deleted, but after a failure it may have been resized and partly written.
LICE_IBitmap* LICE_LoadPngFromMemory(const void* data, std::size_t length,
                                     LICE_IBitmap* bitmap = nullptr);
