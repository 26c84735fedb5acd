// The progress bar's terminal on POSIX systems: its width from the tty, the
// line erased with an escape sequence.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "tools/render-cli/ProgressBar.h"

bool ProgressBar::StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

int ProgressBar::TerminalWidth() {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20)
        return ws.ws_col;
    return 80;
}

void ProgressBar::EraseLine() {
    std::fprintf(stderr, "\r\033[K");
}
