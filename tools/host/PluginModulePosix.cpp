// Modules loaded with the dynamic linker, each with symbols of its own
// (RTLD_LOCAL), so two plug-ins' internals never meet.
#include <dlfcn.h>

#include "tools/host/PluginModule.h"

void* PluginModule::OpenLibrary(const std::string& path, std::string* error) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h && error)
        *error = dlerror();
    return h;
}

void* PluginModule::FindSymbol(void* handle, const char* name) {
    return dlsym(handle, name);
}

void PluginModule::CloseLibrary(void* handle) {
    dlclose(handle);
}
