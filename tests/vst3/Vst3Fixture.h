// What the VST 3 tests share: the bundle loaded once per program by its
// path, as a host loads it, beside the VST 2 module the VST 3 module is
// held against; and a fresh thread for renders whose noise must start from
// the generator's first value.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/host/PluginModule.h"
#include "tools/host/Vst3Host.h"

// The bundle built with this program, or the copy BRIGHTFALL_TEST_VST3_BUNDLE
// names: the packages' check runs these tests on the bundle as installed.
// Said on the output, so that check can see which one was loaded.
inline std::string BundlePath() {
    const char* other = std::getenv("BRIGHTFALL_TEST_VST3_BUNDLE");
    return other && *other ? other : BRIGHTFALL_VST3_BUNDLE;
}

inline const Vst3Module& Bundle() {
    static std::unique_ptr<Vst3Module> module = [] {
        std::string error;
        const std::string path = BundlePath();
        std::printf("bundle under test: %s\n", path.c_str());
        auto m = Vst3Module::Load(path, &error);
        if (!m) {
            ADD_FAILURE() << error;
            std::abort();
        }
        return m;
    }();
    return *module;
}

inline const PluginModule& Vst2Module() {
    static std::unique_ptr<PluginModule> module = [] {
        std::string error;
        auto m = PluginModule::Load(BRIGHTFALL_MODULE, &error);
        if (!m) {
            ADD_FAILURE() << error;
            std::abort();
        }
        return m;
    }();
    return *module;
}

// Runs `body` on a thread of its own: the reverb's noise generator starts
// afresh on every thread, so two renders compare only from the same start.
template <typename F>
void OnFreshThread(F body) {
    std::thread t(body);
    t.join();
}
