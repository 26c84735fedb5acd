// The one place a build picks its editor window class.
#pragma once

#include <memory>

#include "graphics/IGraphics.h"

// A new editor for `plug`, of this build's window class, 404 x 250 at 25
// frames a second. [instantiating thread]
std::unique_ptr<IGraphics> CreatePlatformGraphics(IPlugBase* plug);
