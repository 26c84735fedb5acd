#include "graphics/IBitmapControl.h"

#include <algorithm>
#include <cmath>

#include "graphics/IGraphics.h"

bool IBitmapControl::DrawStripFrame(IGraphics& graphics, const IImageStrip& strip,
                                    const IRect& rect, double value, const IBlend& blend) {
    const int n = std::max(strip.frames, 1);
    const double pos = (n - 1) * value + 0.5;
    // Saturate before converting: a NaN or huge value must not reach an
    // undefined float-to-int conversion.
    int frame = std::isfinite(pos) ? static_cast<int>(std::clamp(pos, -1.0, n + 1.0)) + 1 : 1;
    frame = std::clamp(frame, 1, n);
    int srcx = 0, srcy = 0;
    if (n > 1 && frame > 1) {
        if (strip.framesSideBySide) {
            srcx = static_cast<int>(static_cast<double>(strip.width) * (frame - 1) / n + 0.5);
        } else {
            srcy = static_cast<int>(static_cast<double>(strip.height) * (frame - 1) / n + 0.5);
        }
    }
    return graphics.BlitImage(strip, rect, srcx, srcy, &blend);
}

bool IBitmapControl::Render(IGraphics& graphics) {
    return DrawStripFrame(graphics, mStrip, mDrawRect, mValue, mBlend);
}
