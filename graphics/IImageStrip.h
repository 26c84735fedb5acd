// How a control refers to an image: a bitmap from the process-wide image
// cache (not owned) with its size and the number of equal frames it holds.
// Copied by value; read on the editor's window thread.
#pragma once

class LICE_IBitmap;

struct IImageStrip {
    const LICE_IBitmap* bitmap = nullptr;
    int width = 0;
    int height = 0;
    int frames = 1;
    bool framesSideBySide = false;  // false: stacked from top to bottom
};
