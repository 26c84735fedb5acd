// Modules loaded with LoadLibraryW, so a path in any script loads; its
// failures explained in the system's own words.
#include <windows.h>

#include <string>

#include "tools/audiofile/Utf16.h"
#include "tools/host/PluginModule.h"

namespace {

// The loader's message for the last error; some name the module as "%1"
// ("Bad EXE format for %1."), filled in here with `path`.
std::string LastErrorText(const std::string& path) {
    const DWORD code = GetLastError();
    std::string text = SystemMessageUtf8(code);
    for (std::size_t at = text.find("%1"); at != std::string::npos;
         at = text.find("%1", at + path.size()))
        text.replace(at, 2, path);
    return text + " (error " + std::to_string(code) + ")";
}

}  // namespace

void* PluginModule::OpenLibrary(const std::string& path, std::string* error) {
    // Under Wine, a Unix absolute path names a file on drive Z:.
    const std::string native = (!path.empty() && path[0] == '/') ? "Z:" + path : path;
    HMODULE h = LoadLibraryW(Utf16FromUtf8(native).c_str());
    if (!h && error)
        *error = LastErrorText(path);
    return reinterpret_cast<void*>(h);
}

void* PluginModule::FindSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void PluginModule::CloseLibrary(void* handle) {
    FreeLibrary(static_cast<HMODULE>(handle));
}
