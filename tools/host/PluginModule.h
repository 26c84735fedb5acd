// A plug-in module loaded by path, exactly as a host loads one: the shared
// library and its exported VST 2 entry point. Owns the library handle; the
// library is unloaded when the object is destroyed.
#pragma once

#include <memory>
#include <string>

#include "vst2/VstAbi.h"

class PluginModule {
  public:
    using EntryPoint = AEffect* (*)(audioMasterCallback);

    // Loads the module; on failure returns null and says why in *error
    // (the platform loader's own message, or the missing entry point).
    static std::unique_ptr<PluginModule> Load(const std::string& path, std::string* error);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    EntryPoint Entry() const { return mEntry; }
    // The other exported name ("main" when Entry() is VSTPluginMain), or null.
    EntryPoint LegacyEntry() const { return mLegacy; }
    const std::string& Path() const { return mPath; }
    // The platform's handle of the loaded library (an HMODULE on Windows).
    void* NativeHandle() const { return mHandle; }

    // The platform's loader, one file per platform (PluginModulePosix.cpp,
    // PluginModuleWin.cpp), which the VST 3 host (Vst3Host) loads through
    // as well. OpenLibrary says why it failed in *error.
    static void* OpenLibrary(const std::string& path, std::string* error);
    static void* FindSymbol(void* handle, const char* name);
    static void CloseLibrary(void* handle);

  private:
    PluginModule() = default;

    void* mHandle = nullptr;
    EntryPoint mEntry = nullptr;
    EntryPoint mLegacy = nullptr;
    std::string mPath;
};
