#include "graphics/IKnobMultiControl.h"

#include "graphics/IBitmapControl.h"

void IKnobMultiControl::MouseDrag(int, int, int dx, int dy, const IModifierKeys& mods) {
    double gearing = mGearing;
    if (mods.control || mods.shift)
        gearing *= 10.0;
    if (mDirection == kVertical) {
        // top - bottom is minus the height: moving up raises the value.
        mValue += static_cast<double>(dy) / static_cast<double>(mDrawRect.top - mDrawRect.bottom) /
                  gearing;
    } else {
        mValue += static_cast<double>(dx) / static_cast<double>(mDrawRect.right - mDrawRect.left) /
                  gearing;
    }
    MarkChanged(true);
}

void IKnobMultiControl::MouseWheel(int, int, const IModifierKeys& mods, int steps) {
    mValue += steps * ((mods.control || mods.shift) ? 0.001 : 0.01);
    MarkChanged(true);
}

bool IKnobMultiControl::Render(IGraphics& graphics) {
    return IBitmapControl::DrawStripFrame(graphics, mStrip, mDrawRect, mValue, mBlend);
}
