// The platform-independent half of the editor: owns the controls (drawing
// order and index space, the background at 0) and the offscreen picture,
// loads images through the process-wide cache, redraws what changed and
// routes mouse and key events from the platform window to the controls.
// One per plug-in instance, owned by the plug-in; a window class derives
// from it and supplies the native window, the copy to the screen and the
// image resources.
//
// Threads: construction and layout on the instantiating thread;
// SetEditorParameter on any host thread with the plug-in mutex held; events,
// timer and painting on the editor's window thread, which takes the plug-in
// mutex around each of them (see the window classes).
#pragma once

#include <memory>
#include <vector>

#include "framework/IEditor.h"
#include "graphics/IBlend.h"
#include "graphics/IControl.h"
#include "graphics/IImageStrip.h"
#include "graphics/IModifierKeys.h"
#include "graphics/IRect.h"
#include "render/LICE_SysBitmap.h"

class IPlugBase;

class IGraphics : public IEditor {
  public:
    static constexpr int kDefaultWidth = 404;
    static constexpr int kDefaultHeight = 250;
    static constexpr int kDefaultFrameRate = 25;

    explicit IGraphics(IPlugBase* plug, int width = kDefaultWidth, int height = kDefaultHeight,
                       int frameRate = kDefaultFrameRate);
    ~IGraphics() override;

    // --- What the plug-in side calls (IEditor) -----------------------------
    // [any thread, plug-in mutex held] Hands a parameter value to every
    // control bound to it; in the parameter's own units unless normalised.
    void SetEditorParameter(int paramIdx, double value, bool normalised) override;
    // Creates the offscreen picture. [instantiating thread]
    void PrepareForDrawing() override;
    int Width() const override { return mWidth; }
    int Height() const override { return mHeight; }

    // --- Layout [instantiating thread] --------------------------------------
    IImageStrip LoadImage(int resourceId, const char* name, int frames);
    void SetBackground(int resourceId, const char* name);
    void AddControl(std::unique_ptr<IControl> control);

    // --- Drawing [window thread] ---------------------------------------------
    // Redraws the controls meeting `area` offscreen, then presents it.
    bool RedrawRegion(const IRect& area);
    // Widens *area to cover every control that needs drawing; true if any.
    bool CollectDirtyArea(IRect* area);
    // Copies a frame of an image onto the offscreen picture, clipped to the
    // region being redrawn. Called by controls from Render.
    bool BlitImage(const IImageStrip& strip, const IRect& rect, int srcx, int srcy,
                   const IBlend* blend);
    // Marks every control for drawing, so the next tick repaints everything.
    void MarkAllControlsChanged();

    // --- Events from the window [window thread] ------------------------------
    void MouseDown(int x, int y, const IModifierKeys& mods);
    void MouseUp(int x, int y, const IModifierKeys& mods);
    void MouseDrag(int x, int y, const IModifierKeys& mods);
    bool MouseDoubleClick(int x, int y, const IModifierKeys& mods);
    // Wheel notches go straight to the control under the pointer (or the
    // captured one): no gesture, no capture.
    void MouseWheel(int x, int y, const IModifierKeys& mods, int steps);
    bool KeyDown(int x, int y, int key);
    int ControlIndexAt(int x, int y) const;
    bool HasCapture() const { return mCaptured >= 0; }
    // Ends a press the window will never see released (the window is going
    // away): the gesture is closed so the host is not left waiting.
    void ReleaseCapture();

    // --- Supplied by the window class ------------------------------------------
    virtual bool PresentRegion(const IRect& area) = 0;
    virtual void* WindowHandle() const = 0;
    bool IsWindowOpen() const { return WindowHandle() != nullptr; }
    // Decodes image `resourceId` of this module; null when it is missing or
    // not a PNG. [instantiating thread]
    virtual std::unique_ptr<LICE_IBitmap> LoadImageResource(int resourceId, const char* name) = 0;

    IPlugBase* Plug() const { return mPlug; }
    int FrameRate() const { return mFrameRate; }
    int NControls() const { return static_cast<int>(mControls.size()); }
    IControl* GetControl(int index) const;
    LICE_SysBitmap* Offscreen() const { return mOffscreen.get(); }
    const IRect& DrawRect() const { return mDrawRect; }

  private:
    const LICE_IBitmap* CachedImage(int resourceId, const char* name);
    void ClearCapture();

    IPlugBase* mPlug;
    std::vector<std::unique_ptr<IControl>> mControls;
    IRect mDrawRect;
    std::unique_ptr<LICE_SysBitmap> mOffscreen;
    int mWidth;
    int mHeight;
    int mFrameRate;
    int mCaptured = -1;
    int mLastMouseX = 0;
    int mLastMouseY = 0;
};
