// The editor's PNG images as bytes compiled into the library, for builds and
// tools that do not read them from platform resources.
#pragma once

#include <cstddef>
#include <memory>

#include "render/LICE_IBitmap.h"

// The bytes of image `resourceId`, or false when the library holds none.
bool FindEmbeddedImage(int resourceId, const unsigned char** data, std::size_t* size);

// Decodes image `resourceId`. As with a platform resource, the name must
// end in ".png" (any case); null when it does not, or the image is missing
// or cannot be decoded.
std::unique_ptr<LICE_IBitmap> LoadEmbeddedImage(int resourceId, const char* name);

// True when `name` ends in ".png", ignoring letter case.
bool HasPngExtension(const char* name);
