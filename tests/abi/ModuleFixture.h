// Loads the built plug-in module once per test program, by path, through the
// same host library a DAW-like tool uses, and helps drive its callbacks.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "plugin/BrightfallVersion.h"
#include "tests/support/StereoBuffers.h"
#include "tools/host/PluginModule.h"
#include "tools/host/VstHost.h"

// The version hosts read: the project's, in decimal (1.0.0 is 10000).
constexpr int kDecimalVersion =
    brightfall::kVersionMajor * 10000 + brightfall::kVersionMinor * 100 + brightfall::kVersionPatch;

// The module built with this program, or the copy BRIGHTFALL_TEST_MODULE
// names: the packages' check runs these tests on the module as installed.
// Said on the output, so that check can see which one was loaded.
inline std::string ModulePath() {
    const char* other = std::getenv("BRIGHTFALL_TEST_MODULE");
    return other && *other ? other : BRIGHTFALL_MODULE;
}

inline const PluginModule& Module() {
    static std::unique_ptr<PluginModule> module = [] {
        std::string error;
        const std::string path = ModulePath();
        std::printf("module under test: %s\n", path.c_str());
        auto m = PluginModule::Load(path, &error);
        if (!m) {
            ADD_FAILURE() << error;
            std::abort();
        }
        return m;
    }();
    return *module;
}

// Stereo buffers of n frames in both precisions, with a fixed signal in.
struct Buffers : StereoBuffers {
    explicit Buffers(int n) : StereoBuffers(n) { FillPattern(); }
};
