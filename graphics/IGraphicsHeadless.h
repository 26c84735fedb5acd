// An editor without a native window: composes its picture offscreen only.
// Used where no window exists (tests, the editor snapshot) and as the editor
// of a build that has no window class. Images come from the bytes embedded
// in the library.
#pragma once

#include "graphics/IGraphics.h"

class IGraphicsHeadless : public IGraphics {
  public:
    using IGraphics::IGraphics;

    bool OpenEditorWindow(void*) override { return false; }
    void CloseEditorWindow() override {}
    void* WindowHandle() const override { return nullptr; }
    bool PresentRegion(const IRect& area) override;
    std::unique_ptr<LICE_IBitmap> LoadImageResource(int resourceId, const char* name) override;

    // Redraws the whole editor offscreen, as a window's first paint would.
    void RedrawAll();
    int PresentCount() const { return mPresents; }
    const IRect& LastPresented() const { return mLastPresented; }

  private:
    int mPresents = 0;
    IRect mLastPresented;
};
