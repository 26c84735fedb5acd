#include <signal.h>
#include <windows.h>

#include "tools/render-cli/RenderPlatform.h"

const char* const RenderPlatform::kModuleFile = "Brightfall.dll";
const char* const RenderPlatform::kInputKinds = "WAV";
const char* const RenderPlatform::kExampleFiles = "drums.wav drums-room.wav";

// The module beside this program's .exe.
std::string RenderPlatform::DefaultModulePath() {
    std::string exe(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, &exe[0], static_cast<DWORD>(exe.size()));
        if (n == 0)
            return kModuleFile;
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);  // the path was cut to fit
    }
    const std::size_t slash = exe.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : exe.substr(0, slash + 1)) + kModuleFile;
}

// Ctrl+C and Ctrl+Break arrive on a thread of their own; the handler only
// sets the flag the render polls.
void RenderPlatform::CatchStopSignals(void (*handler)(int)) {
    for (int sig : {SIGINT, SIGTERM, SIGBREAK})
        signal(sig, handler);
}
