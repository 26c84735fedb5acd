#include "plugin/PlatformGraphics.h"

#include "graphics/IGraphicsHeadless.h"

std::unique_ptr<IGraphics> CreatePlatformGraphics(IPlugBase* plug) {
    return std::make_unique<IGraphicsHeadless>(plug);
}
