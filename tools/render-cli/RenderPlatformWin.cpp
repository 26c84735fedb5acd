#include <signal.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdlib>

#include "tools/audiofile/Utf16.h"
#include "tools/render-cli/RenderPlatform.h"

const char* const RenderPlatform::kModuleFile = "Brightfall.dll";
const char* const RenderPlatform::kInputKinds = "WAV";
const char* const RenderPlatform::kExampleFiles = "drums.wav drums-room.wav";

namespace {

UINT gConsoleOutputCp = 0;

void RestoreConsoleOutputCp() {
    SetConsoleOutputCP(gConsoleOutputCp);
}

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

// The UTF-16 command line, split by the system; `argv` is what the C
// runtime made of it in the ANSI code page, used only if that fails.
std::vector<std::string> RenderPlatform::Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide || count < 1) {
        LocalFree(wide);
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(Utf8FromUtf16(wide[i]));
    LocalFree(wide);
    return args;
}

// The console decodes the bytes it is given in its output code page; the
// one it had goes back at exit, since the console outlives this program.
// Output to a file or pipe stays plain UTF-8.
void RenderPlatform::PrintUtf8() {
    if (!IsConsole(STD_OUTPUT_HANDLE) && !IsConsole(STD_ERROR_HANDLE))
        return;
    gConsoleOutputCp = GetConsoleOutputCP();
    if (gConsoleOutputCp != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        std::atexit(RestoreConsoleOutputCp);
}

// The module beside this program's .exe.
std::string RenderPlatform::DefaultModulePath() {
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &exe[0], static_cast<DWORD>(exe.size()));
        if (n == 0)
            return kModuleFile;
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);  // the path was cut to fit
    }
    const std::string path = Utf8FromUtf16(exe);
    const std::size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + kModuleFile;
}

// Ctrl+C and Ctrl+Break arrive on a thread of their own; the handler only
// sets the flag the render polls.
void RenderPlatform::CatchStopSignals(void (*handler)(int)) {
    for (int sig : {SIGINT, SIGTERM, SIGBREAK})
        signal(sig, handler);
}
