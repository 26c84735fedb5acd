// A rectangle of pixels as the blit takes it: left, top, right, bottom, with right and bottom
// exclusive. A plain value owning nothing; the editor converts its own rectangles to this when it
// blits, on its window thread.
#pragma once

struct LICE_Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
