// A rectangle of the editor that draws itself and reacts to the mouse,
// optionally bound to one plug-in parameter whose normalised value it holds.
// Owned by IGraphics. Runs on the editor's window thread, except
// ApplyPluginValue, which a host thread calls with the plug-in mutex held.
#pragma once

#include "graphics/IBlend.h"
#include "graphics/IModifierKeys.h"
#include "graphics/IRect.h"

class IGraphics;
class IPlugBase;

class IControl {
  public:
    IControl(IPlugBase* plug, const IRect& rect, int paramIdx = -1, IBlend blend = IBlend());
    virtual ~IControl() = default;
    IControl(const IControl&) = delete;
    IControl& operator=(const IControl&) = delete;

    virtual void MouseDown(int, int, const IModifierKeys&) {}
    virtual void MouseUp(int, int, const IModifierKeys&) {}
    virtual void MouseDrag(int, int, int, int, const IModifierKeys&) {}
    // Restores the default value, when one is known, and sends it.
    virtual void MouseDoubleClick(int x, int y, const IModifierKeys& mods);
    virtual void MouseWheel(int, int, const IModifierKeys&, int) {}
    virtual bool KeyDown(int, int, int) { return false; }
    virtual bool Render(IGraphics& graphics) = 0;
    // A value from the plug-in: shown, never sent back. The first one ever
    // received becomes the default a double click restores.
    virtual void ApplyPluginValue(double value);
    virtual void ApplyUserValue(double value);
    virtual void SetHidden(bool hidden);
    virtual void SetDisabled(bool disabled);
    virtual bool Contains(int x, int y) const;
    // Clamps the value, marks the control for drawing and, when `send`,
    // hands the value to the plug-in (which takes the plug-in mutex).
    virtual void MarkChanged(bool send);
    virtual void MarkDrawn();
    virtual bool NeedsRedraw() const { return mDirty; }

    const IRect& DrawRect() const { return mDrawRect; }
    const IRect& HitRect() const { return mHitRect; }
    int ParamIdx() const { return mParamIdx; }
    double Value() const { return mValue; }
    double DefaultValue() const { return mDefaultValue; }
    bool IsHidden() const { return mHidden; }
    bool IsDisabled() const { return mDisabled; }
    const IBlend& Blend() const { return mBlend; }

  protected:
    IPlugBase* mPlug;
    IRect mDrawRect;
    IRect mHitRect;
    int mParamIdx;
    double mValue = 0.0;
    double mDefaultValue = -1.0;
    double mClampLow = 0.0;
    double mClampHigh = 1.0;
    bool mDirty = true;
    bool mHidden = false;
    bool mDisabled = false;
    bool mRedrawAgain = false;
    IBlend mBlend;
};
