#include "tools/host/OfflineRenderer.h"

#include <algorithm>

OfflineRenderer::OfflineRenderer(HostedPlugin& plugin, const RenderSettings& settings)
    : mPlugin(plugin), mSettings(settings) {
    mSettings.blockSize = std::max(1, mSettings.blockSize);
    mSettings.inputChannels = std::clamp(mSettings.inputChannels, 1, 2);
    const int block = mSettings.blockSize;
    const int pinsIn = std::max(mPlugin.Inputs(), mSettings.inputChannels);
    const int pinsOut = std::max(mPlugin.Outputs(), 1);
    mOutChannels = std::min(mPlugin.Outputs(), 2);

    mInD.assign(pinsIn, std::vector<double>(block, 0.0));
    mOutD.assign(pinsOut, std::vector<double>(block, 0.0));
    mInF.assign(pinsIn, std::vector<float>(block, 0.0f));
    mOutF.assign(pinsOut, std::vector<float>(block, 0.0f));
    for (int c = 0; c < pinsIn; ++c) {
        mInPtrD.push_back(mInD[c].data());
        mInPtrF.push_back(mInF[c].data());
    }
    for (int c = 0; c < pinsOut; ++c) {
        mOutPtrD.push_back(mOutD[c].data());
        mOutPtrF.push_back(mOutF[c].data());
    }

    mPlugin.SetupProcessing(mSettings.sampleRate, block, mSettings.doublePrecision);
    const bool taken = mPlugin.SetChannels(mSettings.inputChannels, mOutChannels);
    if (!taken && mSettings.inputChannels == 1 && mOutChannels == 2) {
        if (mPlugin.SetChannels(1, 1)) {
            // Buses as wide each way (VST 3): mono in, mono out, heard on
            // both sides, as a mono-in, stereo-out plug-in gives it.
            mDuplicateOutput = true;
        } else if (mPlugin.Inputs() >= 2) {
            // No mono-in arrangement at all: the mono signal on both inputs.
            mDuplicateMono = true;
            mPlugin.SetChannels(2, mOutChannels);
        }
    }
    mStarted = mPlugin.SetActive(true);
}

OfflineRenderer::~OfflineRenderer() {
    mPlugin.SetActive(false);
}

bool OfflineRenderer::Process(const double* const* input, double* const* output, int frames) {
    const int n = std::clamp(frames, 0, mSettings.blockSize);
    const int inChannels = mDuplicateMono ? 2 : mSettings.inputChannels;
    const double* const mono[2] = {input[0], input[0]};
    if (mDuplicateMono)
        input = mono;
    if (mSettings.doublePrecision) {
        for (int c = 0; c < inChannels; ++c)
            std::copy(input[c], input[c] + n, mInD[c].begin());
        if (!mPlugin.Process(mInPtrD.data(), mOutPtrD.data(), n))
            return false;
        for (int c = 0; c < mOutChannels; ++c)
            std::copy(mOutD[mDuplicateOutput ? 0 : c].begin(),
                      mOutD[mDuplicateOutput ? 0 : c].begin() + n, output[c]);
    } else {
        for (int c = 0; c < inChannels; ++c)
            for (int i = 0; i < n; ++i)
                mInF[c][i] = static_cast<float>(input[c][i]);
        if (!mPlugin.Process(mInPtrF.data(), mOutPtrF.data(), n))
            return false;
        for (int c = 0; c < mOutChannels; ++c)
            for (int i = 0; i < n; ++i)
                output[c][i] = mOutF[mDuplicateOutput ? 0 : c][i];
    }
    return true;
}
