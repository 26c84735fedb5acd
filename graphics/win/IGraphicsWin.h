// The Win32 editor window: a child of the host's window that repaints the
// changed controls on a 40 ms timer, turns mouse and key messages into the
// graphics context's events, copies the offscreen picture to the screen and
// loads the images from the library's "PNG" resources. Owned by the
// plug-in's editor; the native window exists only between editor open and
// close. All of it runs on the host's user-interface thread, which created
// the window; every message that touches the editor is handled with the
// plug-in mutex held, since host threads set parameters on the editor too.
#pragma once

#include <memory>

#include "graphics/IGraphics.h"

struct HWND__;
struct HINSTANCE__;

class IGraphicsWin : public IGraphics {
  public:
    explicit IGraphicsWin(IPlugBase* plug, int width = kDefaultWidth, int height = kDefaultHeight,
                          int frameRate = kDefaultFrameRate);
    ~IGraphicsWin() override;

    // The module whose resources and window class this editor uses.
    void SetModuleInstance(HINSTANCE__* instance) { mInstance = instance; }
    HINSTANCE__* ModuleInstance() const { return mInstance; }
    // The process-wide handle recorded by the library's entry function (the
    // executable's own handle where the editor is linked into a program).
    static HINSTANCE__* LibraryInstance();
    static void SetLibraryInstance(HINSTANCE__* instance);

    // [UI thread, plug-in mutex held] Creates the child window inside
    // `parent` (an HWND); reopening replaces the window at the same place.
    bool OpenEditorWindow(void* parent) override;
    // [UI thread, plug-in mutex held]
    void CloseEditorWindow() override;
    void* WindowHandle() const override { return mWindow; }
    bool PresentRegion(const IRect& area) override;
    std::unique_ptr<LICE_IBitmap> LoadImageResource(int resourceId, const char* name) override;

    static constexpr const char* kWindowClass = "IPlugWndClass";
    static constexpr unsigned kTimerId = 2;

  private:
    struct Proc;
    HINSTANCE__* mInstance = nullptr;
    HWND__* mWindow = nullptr;
    HWND__* mParent = nullptr;
};
