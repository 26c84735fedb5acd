#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include "tools/render-cli/RenderPlatform.h"

const char* const RenderPlatform::kModuleFile = "brightfall.so";
const char* const RenderPlatform::kInputKinds = "WAV, FLAC, AIFF, Ogg, ...";
const char* const RenderPlatform::kExampleFiles = "drums.flac drums-room.flac";

std::vector<std::string> RenderPlatform::Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

// Terminals take the bytes as they are.
void RenderPlatform::PrintUtf8() {}

// The module built beside this program, or installed beside it
// (<prefix>/bin and <prefix>/lib/vst).
std::string RenderPlatform::DefaultModulePath() {
    char exe[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n <= 0)
        return kModuleFile;
    std::string path(exe, static_cast<std::size_t>(n));
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string beside = dir + "/" + kModuleFile;
    const std::string installed = dir + "/../lib/vst/" + kModuleFile;
    if (access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0)
        return installed;
    return beside;
}

void RenderPlatform::CatchStopSignals(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
}
