// How a control's image is combined with what lies below it.
#pragma once

struct IBlend {
    enum Kind { kDefault = 0, kCopy = 1 };  // default: weighted by the image's alpha
    int kind = kDefault;
    float weight = 1.0f;
};
