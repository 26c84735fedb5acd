// The module's exported entry points. A host calls one of them once per
// instance it wants, possibly from several threads at once.
#include <mutex>
#include <new>

#include "vst2/IPlugVST.h"
#include "vst2/PluginFactory.h"

namespace {

// Serialises instantiation across the process. A function-local static is
// created once, thread-safely, and destroyed when the library is unloaded.
std::recursive_mutex& InstantiationLock() {
    static std::recursive_mutex lock;
    return lock;
}

}  // namespace

#if defined(_WIN32)
#define BRIGHTFALL_EXPORT  // exported through the module definition file
#else
#define BRIGHTFALL_EXPORT __attribute__((visibility("default")))
#endif

// [any host thread] Builds one plug-in instance and hands its record to the
// host, or null when it cannot be built. No exception reaches the host.
extern "C" BRIGHTFALL_EXPORT AEffect* VSTPluginMain(audioMasterCallback host) {
    try {
        std::lock_guard<std::recursive_mutex> lock(InstantiationLock());
        IPlugVST* plug = CreatePluginInstance(host);
        if (!plug)
            return nullptr;
        // No VST 2 host has a worker for plug-ins: changes automated on
        // the audio thread are prepared on the plug-in's own.
        plug->StartDeferringChanges(true);
        AEffect* effect = plug->GetAEffect();
        if (effect->numPrograms < 1)
            effect->numPrograms = 1;
        return effect;
    } catch (...) {
        return nullptr;
    }
}

// Older hosts look for "main". C++ reserves that name for the program's own
// entry, so the function carries another name and is exported as "main":
// by an assembler label here, by the module definition file on Windows.
#if defined(_WIN32)
extern "C" AEffect* BrightfallLegacyMain(audioMasterCallback host) {
    return VSTPluginMain(host);
}
#else
extern "C" BRIGHTFALL_EXPORT AEffect* BrightfallLegacyMain(audioMasterCallback host) __asm__(
    "main");
extern "C" AEffect* BrightfallLegacyMain(audioMasterCallback host) {
    return VSTPluginMain(host);
}
#endif
