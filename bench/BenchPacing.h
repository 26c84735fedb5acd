// What the benchmarks that pace a host's blocks to real time share: CPU
// clocks, the wait for each block's deadline (asleep as a host's audio
// thread waits, spinning, or none: back to back), and the number lists and
// medians of their command lines and reports.
#pragma once

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace bench {

inline double cpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

enum class Pace { Sleep, Spin, None };

// Moves `due` (CLOCK_MONOTONIC) on by one period and waits for it as `pace`
// says; None returns at once.
inline void waitForNext(timespec& due, long periodNs, Pace pace) {
    due.tv_nsec += periodNs;
    while (due.tv_nsec >= 1000000000L) {
        due.tv_nsec -= 1000000000L;
        ++due.tv_sec;
    }
    if (pace == Pace::Sleep) {
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
    } else if (pace == Pace::Spin) {
        timespec now{};
        do {
            clock_gettime(CLOCK_MONOTONIC, &now);
        } while (now.tv_sec < due.tv_sec || (now.tv_sec == due.tv_sec && now.tv_nsec < due.tv_nsec));
    }
}

// Positive whole numbers separated by commas ("64,128"); empty when any
// entry is not one, so that a caller can refuse the whole list.
inline std::vector<std::uint32_t> parseList(const char* text) {
    std::vector<std::uint32_t> out;
    for (const char* p = text; *p != '\0';) {
        char* end = nullptr;
        const unsigned long v = std::strtoul(p, &end, 10);
        if (end == p || v == 0 || v > 0xffffffffUL || (*end != ',' && *end != '\0')) {
            return {};
        }
        out.push_back(static_cast<std::uint32_t>(v));
        p = *end == ',' ? end + 1 : end;
    }
    return out;
}

// NaN for no values.
inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? NAN : n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

}  // namespace bench
