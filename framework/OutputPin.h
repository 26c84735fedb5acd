// One output channel of the plug-in: connection, pointer-array entry, the
// host's float buffer for the current block, and a scratch buffer the
// plug-in writes into when the host's buffer cannot be used directly.
// Owned by IPlugBase; used under the plug-in mutex.
#pragma once

#include "framework/GrowableBuffer.h"

struct OutputPin {
    explicit OutputPin(double** slotIn) : slot(slotIn) {}
    OutputPin(const OutputPin&) = delete;
    OutputPin& operator=(const OutputPin&) = delete;

    bool connected = false;
    double** slot;  // this pin's entry in the base's output pointer array
    float* floatDestination = nullptr;
    GrowableArray<double> scratch;
    char label[64] = {};
};
