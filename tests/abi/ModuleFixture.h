// Loads the built plug-in module once per test program, by path, through the
// same host library a DAW-like tool uses, and helps drive its callbacks.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "plugin/BrightfallVersion.h"
#include "tests/support/StereoBuffers.h"
#include "tools/host/PluginModule.h"
#include "tools/host/VstHost.h"

// The version hosts read: the project's, in decimal (1.0.0 is 10000).
constexpr int kDecimalVersion =
    brightfall::kVersionMajor * 10000 + brightfall::kVersionMinor * 100 + brightfall::kVersionPatch;

inline const PluginModule& Module() {
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

// Stereo buffers of n frames in both precisions, with a fixed signal in.
struct Buffers : StereoBuffers {
    explicit Buffers(int n) : StereoBuffers(n) { FillPattern(); }
};
