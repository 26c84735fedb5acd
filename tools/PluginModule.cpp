#include "tools/PluginModule.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
// The loader's message for the last error; some name the module as "%1"
// ("Bad EXE format for %1."), filled in here with `path`.
std::string LastErrorText(const std::string& path) {
    char buf[512] = {};
    const DWORD code = GetLastError();
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buf, sizeof(buf), nullptr);
    std::string text(buf);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    for (std::size_t at = text.find("%1"); at != std::string::npos;
         at = text.find("%1", at + path.size()))
        text.replace(at, 2, path);
    return text + " (error " + std::to_string(code) + ")";
}
#endif

void* OpenLibrary(const std::string& path, std::string* error) {
#if defined(_WIN32)
    // Under Wine, a Unix absolute path names a file on drive Z:.
    std::string native = (!path.empty() && path[0] == '/') ? "Z:" + path : path;
    HMODULE h = LoadLibraryA(native.c_str());
    if (!h && error)
        *error = LastErrorText(path);
    return reinterpret_cast<void*>(h);
#else
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h && error)
        *error = dlerror();
    return h;
#endif
}

void* FindSymbol(void* handle, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

void CloseLibrary(void* handle) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

}  // namespace

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
