// The one-to-one copy of a rectangle of one bitmap onto another, as a plain copy (the background)
// or weighted by the source pixel's alpha (the knob frames). It owns and allocates nothing; the
// editor calls it on its window thread while composing its picture.
#pragma once

#include "render/LICE_IBitmap.h"
#include "render/LICE_Rect.h"

// Bits 0..7 of a blend mode hold the operation; copy is the only operation there is.
constexpr int LICE_BLEND_COPY = 0;
// Weights the operation by the source pixel's own alpha.
constexpr int LICE_BLEND_USE_SOURCE_ALPHA = 0x10000;

// Copies the source rectangle (the whole source when null; right and bottom exclusive) of src
// onto dest with its top-left corner at (dstx, dsty), clipped to both bitmaps. alpha weights the
// operation (1.0 is full weight; 0, negative or NaN draws nothing; above 1 counts as 1).
//
// Plain copy at full weight writes the source pixels verbatim, alpha bytes included. With source
// alpha a (after weighting) a pixel of alpha 0 leaves the destination alone, alpha 255 writes the
// source colour opaque, and otherwise the destination alpha becomes min(dA + a, 255) and each
// colour channel s + (d - s) * (255 - a) / 256 (integer division truncating toward zero).
// A plain copy at partial weight w/256 moves each channel, alpha included, to d + (s - d) * w /
// 256.
//
// Absent bitmaps, null bits and empty or fully clipped rectangles draw nothing. Source and
// destination may be the same bitmap, overlapping areas included.
void LICE_BlitBitmap(LICE_IBitmap* dest, const LICE_IBitmap* src, int dstx, int dsty,
                     const LICE_Rect* srcrect, float alpha, int mode);
