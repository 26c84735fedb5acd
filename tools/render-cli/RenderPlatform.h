// What brightfall-render does differently per platform: the module it loads
// by default and where it finds it, how its help speaks of audio files, and
// how it hears Ctrl+C. One file per platform: RenderPlatformPosix.cpp,
// RenderPlatformWin.cpp. Main thread.
#pragma once

#include <string>

struct RenderPlatform {
    // The module's file name, "brightfall.so" or "Brightfall.dll".
    static const char* const kModuleFile;
    // The input formats this build reads, and an example pair of files, for --help.
    static const char* const kInputKinds;
    static const char* const kExampleFiles;

    // The module beside this program, or where an install puts it.
    static std::string DefaultModulePath();
    // Routes the interrupting signals to `handler`, which may only set a flag.
    static void CatchStopSignals(void (*handler)(int));
};
