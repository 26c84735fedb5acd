// A dry signal worth hearing through a reverb, made from nothing: drum hits
// (kick, snare, hat), a plucked-string phrase and a closing chord.
// Deterministic, so the demo's output is the same on every run.
#pragma once

#include <vector>

// Stereo, `seconds` long at `sampleRate`, peaks around -6 dBFS.
std::vector<std::vector<double>> MakeDemoSignal(double sampleRate, double seconds);
