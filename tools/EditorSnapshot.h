// Composes the plug-in's editor offscreen at chosen parameter values, with
// no window, and writes it as a PNG so a person can look at it. Builds its
// own plug-in instance from the code linked into the tool.
#pragma once

#include <string>

// wet and sustain in the parameters' units (0..100).
bool WriteEditorSnapshot(double wet, double sustain, const std::string& path, std::string* error);
