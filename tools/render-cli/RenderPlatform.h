// What brightfall-render does differently per platform: how it reads its
// command line and makes its UTF-8 output readable, the module it loads by
// default and where it finds it, how its help speaks of audio files, and how
// it hears Ctrl+C. One file per platform: RenderPlatformPosix.cpp,
// RenderPlatformWin.cpp. Main thread.
#pragma once

#include <string>
#include <vector>

struct RenderPlatform {
    // The module's file name, "brightfall.so" or "Brightfall.dll".
    static const char* const kModuleFile;
    // The input formats this build reads, and an example pair of files, for --help.
    static const char* const kInputKinds;
    static const char* const kExampleFiles;

    // The command line, the program's name first, in UTF-8 like every path
    // the tool holds: on Windows read again as UTF-16, since `argv` there
    // holds only what the ANSI code page can spell.
    static std::vector<std::string> Arguments(int argc, char** argv);
    // Lets what the program prints, UTF-8, show as such: a Windows console
    // is switched to UTF-8 until the program ends.
    static void PrintUtf8();
    // The module beside this program, or where an install puts it.
    static std::string DefaultModulePath();
    // Routes the interrupting signals to `handler`, which may only set a flag.
    static void CatchStopSignals(void (*handler)(int));
};
