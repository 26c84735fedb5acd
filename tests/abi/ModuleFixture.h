// Loads the built plug-in module once per test program, by path, through the
// same host library a DAW-like tool uses, and helps drive its callbacks.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/host/PluginModule.h"
#include "tools/host/VstHost.h"

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

// Stereo buffers of n frames in both precisions, with a deterministic signal.
struct Buffers {
    explicit Buffers(int n) : frames(n) {
        for (int c = 0; c < 2; ++c) {
            in[c].resize(n);
            out[c].assign(n, 0.0);
            inF[c].resize(n);
            outF[c].assign(n, 0.0f);
            for (int i = 0; i < n; ++i) {
                in[c][i] = (c + 1) * 0.25 * ((i * 7919 + 13) % 97 - 48) / 48.0;
                inF[c][i] = static_cast<float>(in[c][i]);
            }
        }
    }
    double** In() {
        inPtrs[0] = in[0].data();
        inPtrs[1] = in[1].data();
        return inPtrs;
    }
    double** Out() {
        outPtrs[0] = out[0].data();
        outPtrs[1] = out[1].data();
        return outPtrs;
    }
    float** InF() {
        inPtrsF[0] = inF[0].data();
        inPtrsF[1] = inF[1].data();
        return inPtrsF;
    }
    float** OutF() {
        outPtrsF[0] = outF[0].data();
        outPtrsF[1] = outF[1].data();
        return outPtrsF;
    }

    int frames;
    std::vector<double> in[2], out[2];
    std::vector<float> inF[2], outF[2];
    double* inPtrs[2] = {};
    double* outPtrs[2] = {};
    float* inPtrsF[2] = {};
    float* outPtrsF[2] = {};
};
