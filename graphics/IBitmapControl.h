// A control that shows a frame of an image strip chosen by its value; with a
// one-frame strip it simply shows the image (the editor's background).
// Owned by IGraphics; drawn on the editor's window thread.
#pragma once

#include "graphics/IControl.h"
#include "graphics/IImageStrip.h"

class IBitmapControl : public IControl {
  public:
    IBitmapControl(IPlugBase* plug, const IRect& rect, int paramIdx, const IImageStrip& strip,
                   IBlend blend = IBlend())
        : IControl(plug, rect, paramIdx, blend), mStrip(strip) {}

    bool Render(IGraphics& graphics) override;

    const IImageStrip& Strip() const { return mStrip; }

    // Draws the frame of `strip` that shows `value` into `rect`; shared by
    // every control drawn from a strip.
    static bool DrawStripFrame(IGraphics& graphics, const IImageStrip& strip, const IRect& rect,
                               double value, const IBlend& blend);

  private:
    IImageStrip mStrip;
};
