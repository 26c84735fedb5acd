#include "graphics/IGraphicsHeadless.h"

#include "graphics/EmbeddedImages.h"
#include "render/LICE_LoadPngFromMemory.h"

bool IGraphicsHeadless::PresentRegion(const IRect& area) {
    ++mPresents;
    mLastPresented = area;
    return true;
}

std::unique_ptr<LICE_IBitmap> IGraphicsHeadless::LoadImageResource(int resourceId,
                                                                   const char* name) {
    return LoadEmbeddedImage(resourceId, name);
}

void IGraphicsHeadless::RedrawAll() {
    MarkAllControlsChanged();
    RedrawRegion(IRect(0, 0, Width(), Height()));
}
