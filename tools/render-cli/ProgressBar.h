// A one-line progress bar on standard error for renders long enough to
// wonder about: it appears only when standard error is a terminal and the
// work has taken more than about a second, redraws at most ten times a
// second, and erases itself when done. Called from the rendering thread.
#pragma once

#include <chrono>
#include <cstdint>

class ProgressBar {
  public:
    // `enabled` false draws nothing at all (stderr is not a terminal, --quiet).
    explicit ProgressBar(bool enabled);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // `done` of `total` frames at `sampleRate`.
    void Update(std::int64_t done, std::int64_t total, double sampleRate);
    // Erases the bar if it was drawn.
    void Finish();

    // Whether standard error is a terminal.
    static bool StderrIsTerminal();

  private:
    // The terminal's side, one file per platform (ProgressBarPosix.cpp,
    // ProgressBarWin.cpp): its width in columns, and erasing the line.
    static int TerminalWidth();
    static void EraseLine();

    using Clock = std::chrono::steady_clock;
    bool mEnabled;
    bool mDrawn = false;
    Clock::time_point mStart;
    Clock::time_point mLastDraw;
};
