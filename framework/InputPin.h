// One input channel of the plug-in: whether the host connected it, its entry
// in the pointer array that ProcessBlock receives, and a scratch buffer that
// stands in for the host's buffer when it is disconnected or in float
// processing. Owned by IPlugBase; used under the plug-in mutex.
#pragma once

#include "framework/GrowableBuffer.h"

struct InputPin {
    explicit InputPin(double** slotIn) : slot(slotIn) {}
    InputPin(const InputPin&) = delete;
    InputPin& operator=(const InputPin&) = delete;

    bool connected = false;
    double** slot;  // this pin's entry in the base's input pointer array
    GrowableArray<double> scratch;
    char label[64] = {};
};
