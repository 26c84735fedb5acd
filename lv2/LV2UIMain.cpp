// The UI binary's entry point: LV2 hosts look it up by this exact name and
// ask for UI descriptors by index until they get null. [any host thread]
#include <lv2/ui/ui.h>

#include "lv2/LV2EditorUI.h"

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? LV2EditorUI::Descriptor() : nullptr;
}
