#include "tools/ProgressBar.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr auto kDelay = std::chrono::seconds(1);
constexpr auto kInterval = std::chrono::milliseconds(100);

#if defined(_WIN32)
int TerminalWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 20)
            return width;
    }
    return 80;
}
#else
int TerminalWidth() {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20)
        return ws.ws_col;
    return 80;
}
#endif

}  // namespace

ProgressBar::ProgressBar(bool enabled) : mEnabled(enabled), mStart(Clock::now()) {}

ProgressBar::~ProgressBar() {
    Finish();
}

bool ProgressBar::StderrIsTerminal() {
#if defined(_WIN32)
    // _isatty would also say yes for NUL, any character device does.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
#else
    return isatty(STDERR_FILENO) == 1;
#endif
}

void ProgressBar::Update(std::int64_t done, std::int64_t total, double sampleRate) {
    if (!mEnabled || total <= 0)
        return;
    const auto now = Clock::now();
    if (now - mStart < kDelay || (mDrawn && now - mLastDraw < kInterval))
        return;
    mLastDraw = now;
    mDrawn = true;

    const double fraction =
        std::clamp(static_cast<double>(done) / static_cast<double>(total), 0.0, 1.0);
    char right[96];
    std::snprintf(right, sizeof(right), " %3d%%  %.1f of %.1f s",
                  static_cast<int>(fraction * 100.0), static_cast<double>(done) / sampleRate,
                  static_cast<double>(total) / sampleRate);
    const std::string left = "rendering [";
    const int width = std::max(
        10, TerminalWidth() - 1 - static_cast<int>(left.size() + 1 + std::string(right).size()));
    const int filled = static_cast<int>(fraction * width);
    std::string bar =
        left + std::string(filled, '#') + std::string(width - filled, '.') + "]" + right;
    std::fprintf(stderr, "\r%s", bar.c_str());
    std::fflush(stderr);
}

void ProgressBar::Finish() {
    if (!mDrawn)
        return;
    mDrawn = false;
#if defined(_WIN32)
    // Consoles before Windows 10 show escape sequences as they are.
    std::fprintf(stderr, "\r%*s\r", TerminalWidth() - 1, "");
#else
    std::fprintf(stderr, "\r\033[K");
#endif
    std::fflush(stderr);
}
