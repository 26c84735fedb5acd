#include "plugin/PlatformGraphics.h"

#if defined(_WIN32)
#include "graphics/win/IGraphicsWin.h"
#else
#include "graphics/x11/IGraphicsX11.h"
#endif

std::unique_ptr<IGraphics> CreatePlatformGraphics(IPlugBase* plug) {
#if defined(_WIN32)
    auto editor = std::make_unique<IGraphicsWin>(plug);
    editor->SetModuleInstance(IGraphicsWin::LibraryInstance());
    return editor;
#else
    return std::make_unique<IGraphicsX11>(plug);
#endif
}
