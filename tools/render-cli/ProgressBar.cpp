#include "tools/render-cli/ProgressBar.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr auto kDelay = std::chrono::seconds(1);
constexpr auto kInterval = std::chrono::milliseconds(100);

}  // namespace

ProgressBar::ProgressBar(bool enabled) : mEnabled(enabled), mStart(Clock::now()) {}

ProgressBar::~ProgressBar() {
    Finish();
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
    EraseLine();
    std::fflush(stderr);
}
