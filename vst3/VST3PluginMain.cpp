// The module's exported entry points, by the names VST 3 hosts look up:
// GetPluginFactory, and around it the platform's load and unload calls
// (ModuleEntry and ModuleExit on Linux, InitDll and ExitDll on Windows).
// Hosts call them on their UI thread. No exception reaches a host.
#include <atomic>

#include "vst3/Vst3Factory.h"

#if defined(_WIN32)
#define BRIGHTFALL_EXPORT  // exported through the module definition file
#else
#define BRIGHTFALL_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// Entries not yet matched by an exit: hosts may load the module more than once.
std::atomic<int> gEntries{0};

}  // namespace

extern "C" {

// [any host thread] The factory; the same object every time.
BRIGHTFALL_EXPORT vst3::IPluginFactory* PLUGIN_API GetPluginFactory() {
    return &Vst3Factory::Instance();
}

#if defined(_WIN32)
BRIGHTFALL_EXPORT bool InitDll() {
    ++gEntries;
    return true;
}

BRIGHTFALL_EXPORT bool ExitDll() {
    return --gEntries >= 0;
}
#else
// `sharedLibraryHandle` is the host's dlopen handle; nothing here needs it.
BRIGHTFALL_EXPORT bool ModuleEntry(void*) {
    ++gEntries;
    return true;
}

BRIGHTFALL_EXPORT bool ModuleExit() {
    return --gEntries >= 0;
}
#endif
}
