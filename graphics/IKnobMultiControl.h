// A knob drawn as one frame of an image strip chosen by its value, turned by
// vertical drags (relative travel, no jump on press) and by the wheel.
// Owned by IGraphics; used on the editor's window thread.
#pragma once

#include "graphics/IImageStrip.h"
#include "graphics/IKnobControl.h"

class IKnobMultiControl : public IKnobControl {
  public:
    IKnobMultiControl(IPlugBase* plug, const IRect& rect, int paramIdx, const IImageStrip& strip,
                      IBlend blend = IBlend(), int direction = kVertical, double gearing = 4.0)
        : IKnobControl(plug, rect, paramIdx, blend, direction, gearing), mStrip(strip) {}

    // Full sweep over `gearing` heights of travel; ten times finer with shift
    // or control held.
    void MouseDrag(int x, int y, int dx, int dy, const IModifierKeys& mods) override;
    // One notch moves the value by 0.01 (0.001 with shift or control).
    void MouseWheel(int x, int y, const IModifierKeys& mods, int steps) override;
    bool Render(IGraphics& graphics) override;

    const IImageStrip& Strip() const { return mStrip; }

  private:
    IImageStrip mStrip;
};
