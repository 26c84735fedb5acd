// Composes Brightfall's editor offscreen at chosen settings, with no
// window, and writes it as a PNG so a person can look at it. Builds its own
// plug-in instance from the code linked into the tool.
#pragma once

#include <string>
#include <vector>

// Settings as a saved state chunk (what effGetChunk hands out), or as every
// parameter's normalised value when `chunk` is empty.
bool WriteEditorSnapshot(const std::vector<unsigned char>& chunk,
                         const std::vector<float>& normalised, const std::string& path,
                         std::string* error);

// "Wet/Dry" and "Sustain" in their own units (0..100).
bool WriteEditorSnapshot(double wet, double sustain, const std::string& path, std::string* error);
