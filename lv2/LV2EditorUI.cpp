#include "lv2/LV2EditorUI.h"

#include <cstring>

#include "lv2/LV2PluginFactory.h"

const LV2UI_Descriptor* LV2EditorUI::Descriptor() {
    static const LV2UI_Descriptor descriptor = {IPlugLV2::kUiUri, &Instantiate, &Cleanup,
                                                &PortEvent, &ExtensionData};
    return &descriptor;
}

LV2EditorUI::~LV2EditorUI() {
    if (!mPlug)
        return;
    IPlugBase::Lock lock(mPlug->GetMutex());
    if (IEditor* editor = mPlug->GetEditor())
        editor->CloseEditorWindow();
}

LV2UI_Handle LV2EditorUI::Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                                      LV2UI_Write_Function write, LV2UI_Controller controller,
                                      LV2UI_Widget* widget, const LV2_Feature* const* features) {
    try {
        void* parent = const_cast<void*>(IPlugLV2::FindFeature(features, LV2_UI__parent));
        if (!parent || !widget || !write || (pluginUri && std::strcmp(pluginUri, IPlugLV2::kUri)))
            return nullptr;
        std::unique_ptr<IPlugLV2> plug(CreateLV2EditorInstance());
        if (!plug || !plug->GetEditor())
            return nullptr;
        IPlugLV2::UiLink link;
        link.write = write;
        link.controller = controller;
        link.touch =
            static_cast<const LV2UI_Touch*>(IPlugLV2::FindFeature(features, LV2_UI__touch));
        plug->SetUiLink(link);
        std::unique_ptr<LV2EditorUI> ui(new LV2EditorUI(std::move(plug)));
        IPlugLV2& p = *ui->mPlug;
        {
            IPlugBase::Lock lock(p.GetMutex());
            if (!p.GetEditor()->OpenEditorWindow(parent))
                return nullptr;
            p.OnEditorOpened();
            *widget = p.EditorWindowHandle();
        }
        if (const auto* resize =
                static_cast<const LV2UI_Resize*>(IPlugLV2::FindFeature(features, LV2_UI__resize)))
            resize->ui_resize(resize->handle, p.GetEditor()->Width(), p.GetEditor()->Height());
        return ui.release();
    } catch (...) {
        return nullptr;
    }
}

void LV2EditorUI::Cleanup(LV2UI_Handle handle) {
    try {
        delete static_cast<LV2EditorUI*>(handle);
    } catch (...) {
    }
}

void LV2EditorUI::PortEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size,
                            std::uint32_t format, const void* buffer) {
    auto* ui = static_cast<LV2EditorUI*>(handle);
    if (!ui || !buffer || format != 0 || size != sizeof(float))
        return;
    try {
        const int index = ui->mPlug->ParameterOfPort(port);
        if (index < 0)
            return;
        float value = 0.0f;
        std::memcpy(&value, buffer, sizeof(value));
        ui->mPlug->SetParameterFromHost(index, static_cast<double>(value));
    } catch (...) {
    }
}

int LV2EditorUI::Idle(LV2UI_Handle handle) {
    auto* ui = static_cast<LV2EditorUI*>(handle);
    if (!ui)
        return 1;
    try {
        IPlugBase::Lock lock(ui->mPlug->GetMutex());
        if (IEditor* editor = ui->mPlug->GetEditor())
            editor->Idle();
        return 0;
    } catch (...) {
        return 1;
    }
}

const void* LV2EditorUI::ExtensionData(const char* uri) {
    static const LV2UI_Idle_Interface idle = {&Idle};
    if (uri && !std::strcmp(uri, LV2_UI__idleInterface))
        return &idle;
    return nullptr;
}
