// The DSP binary's entry point: LV2 hosts look it up by this exact name and
// ask for descriptors by index until they get null. [any host thread]
#include <lv2/core/lv2.h>

#include "lv2/IPlugLV2.h"

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? IPlugLV2::Descriptor() : nullptr;
}
