// The progress bar's terminal on Windows: the console's width and mode; the
// line erased with spaces, since consoles before Windows 10 show escape
// sequences as they are.
#include <windows.h>

#include <cstdio>

#include "tools/render-cli/ProgressBar.h"

bool ProgressBar::StderrIsTerminal() {
    // _isatty would also say yes for NUL, any character device does.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int ProgressBar::TerminalWidth() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 20)
            return width;
    }
    return 80;
}

void ProgressBar::EraseLine() {
    std::fprintf(stderr, "\r%*s\r", TerminalWidth() - 1, "");
}
