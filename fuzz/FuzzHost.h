// What the fuzz targets share (the host callback is the host library's
// plain one, VstHost::PlainCallback): a tally of the calls a target makes into the plug-in (printed
// when the fuzzer exits), and the checks a host would see fail: a non-finite sample ends the run as
// a crash, so libFuzzer keeps the input.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "vst2/VstAbi.h"

namespace fuzzhost {

inline long& CallsIntoPlugin() {
    static long calls = 0;
    return calls;
}

inline long& Inputs() {
    static long inputs = 0;
    return inputs;
}

// Registers the tally's report for the end of the run.
inline void ReportAtExit(const char* name) {
    static const char* target = name;
    std::atexit([] {
        std::fprintf(stderr, "%s: %ld host calls into the plug-in over %ld inputs\n", target,
                     CallsIntoPlugin(), Inputs());
    });
}

template <typename T>
inline void RequireFinite(const T* samples, int n, const char* what) {
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(samples[i])) {
            std::fprintf(stderr, "non-finite output from %s at sample %d\n", what, i);
            std::abort();
        }
    }
}

}  // namespace fuzzhost
