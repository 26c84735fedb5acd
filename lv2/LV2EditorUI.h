// The LV2 UI of the UI binary: the plug-in's own editor, built by a plug-in
// object of its own that holds no audio, opened as an X11 child of the
// host's window (ui:parent). Owns that object. The host calls every entry on
// its UI thread; the editor also keeps a thread of its own, as under VST 2.
#pragma once

#include <lv2/ui/ui.h>

#include <cstdint>
#include <memory>

#include "lv2/IPlugLV2.h"

class LV2EditorUI {
  public:
    // The descriptor the UI binary's lv2ui_descriptor hands out.
    static const LV2UI_Descriptor* Descriptor();

    LV2EditorUI(const LV2EditorUI&) = delete;
    LV2EditorUI& operator=(const LV2EditorUI&) = delete;
    ~LV2EditorUI();

  private:
    explicit LV2EditorUI(std::unique_ptr<IPlugLV2> plug) : mPlug(std::move(plug)) {}

    // [UI thread] Opens the editor in the host's ui:parent window; null when
    // there is none or the window cannot be opened.
    static LV2UI_Handle Instantiate(const LV2UI_Descriptor* descriptor, const char* pluginUri,
                                    const char* bundlePath, LV2UI_Write_Function write,
                                    LV2UI_Controller controller, LV2UI_Widget* widget,
                                    const LV2_Feature* const* features);
    // [UI thread] Closes the window (a press in progress ends its gesture).
    static void Cleanup(LV2UI_Handle handle);
    // [UI thread] A control port's value: the knob follows.
    static void PortEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size,
                          std::uint32_t format, const void* buffer);
    // [any host thread]
    static const void* ExtensionData(const char* uri);
    // [UI thread] ui:idleInterface: events and the due repaint, now.
    static int Idle(LV2UI_Handle handle);

    std::unique_ptr<IPlugLV2> mPlug;
};
