#include "tools/host/PluginModule.h"

#include <utility>

std::unique_ptr<PluginModule> PluginModule::Load(const std::string& path, std::string* error) {
    std::string why;
    void* handle = OpenLibrary(path, &why);
    if (!handle) {
        if (error)
            *error = "cannot load " + path + ": " + why;
        return nullptr;
    }
    std::unique_ptr<PluginModule> module(new PluginModule());
    module->mHandle = handle;
    module->mPath = path;
    module->mEntry = reinterpret_cast<EntryPoint>(FindSymbol(handle, "VSTPluginMain"));
    module->mLegacy = reinterpret_cast<EntryPoint>(FindSymbol(handle, "main"));
    if (!module->mEntry)
        std::swap(module->mEntry, module->mLegacy);
    if (!module->mEntry) {
        if (error)
            *error = path + " is not a VST 2 plug-in: it exports neither VSTPluginMain nor main";
        return nullptr;
    }
    return module;
}

PluginModule::~PluginModule() {
    if (mHandle)
        CloseLibrary(mHandle);
}
