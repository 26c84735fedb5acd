// Writes a bitmap as an 8-bit RGBA PNG file, for pictures a person looks at
// (the editor snapshot). Writes through AtomicFile, so a failure leaves
// nothing half-written.
#pragma once

#include <string>

#include "render/LICE_IBitmap.h"

// False, with the reason in *error, when the file cannot be written.
bool WritePng(const LICE_IBitmap& bitmap, const std::string& path, std::string* error);
