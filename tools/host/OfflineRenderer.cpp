#include "tools/host/OfflineRenderer.h"

#include <algorithm>

namespace {

// effSetProcessPrecision values.
constexpr VstIntPtr kPrecision32 = 0;
constexpr VstIntPtr kPrecision64 = 1;

VstSpeakerArrangement Arrangement(int channels) {
    VstSpeakerArrangement a{};
    a.numChannels = channels;
    a.type = channels == 1 ? kSpeakerArrMono
                           : (channels == 2 ? kSpeakerArrStereo : kSpeakerArrUserDefined);
    return a;
}

}  // namespace

OfflineRenderer::OfflineRenderer(VstHost& host, const RenderSettings& settings)
    : mHost(host), mEffect(host.Effect()), mSettings(settings) {
    mSettings.blockSize = std::max(1, mSettings.blockSize);
    mSettings.inputChannels = std::clamp(mSettings.inputChannels, 1, 2);
    const int block = mSettings.blockSize;
    const int pinsIn = std::max(mEffect->numInputs, mSettings.inputChannels);
    const int pinsOut = std::max(mEffect->numOutputs, 1);
    mOutChannels = std::min(mEffect->numOutputs, 2);

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

    mHost.Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(mSettings.sampleRate));
    mHost.Dispatch(effSetBlockSize, 0, block);
    mHost.Dispatch(effSetProcessPrecision, 0,
                   mSettings.doublePrecision ? kPrecision64 : kPrecision32);
    VstSpeakerArrangement in = Arrangement(mSettings.inputChannels);
    VstSpeakerArrangement out = Arrangement(mOutChannels);
    const VstIntPtr taken =
        mHost.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    if (!taken && mSettings.inputChannels == 1 && mEffect->numInputs >= 2) {
        // No mono-in configuration: feed the mono signal to both inputs.
        mDuplicateMono = true;
        in = Arrangement(2);
        mHost.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    }
    mHost.Dispatch(effMainsChanged, 0, 1);
}

OfflineRenderer::~OfflineRenderer() {
    mHost.Dispatch(effMainsChanged, 0, 0);
}

void OfflineRenderer::Process(const double* const* input, double* const* output, int frames) {
    const int n = std::clamp(frames, 0, mSettings.blockSize);
    const int inChannels = mDuplicateMono ? 2 : mSettings.inputChannels;
    const double* const mono[2] = {input[0], input[0]};
    if (mDuplicateMono)
        input = mono;
    if (mSettings.doublePrecision) {
        for (int c = 0; c < inChannels; ++c)
            std::copy(input[c], input[c] + n, mInD[c].begin());
        mEffect->processDoubleReplacing(mEffect, mInPtrD.data(), mOutPtrD.data(), n);
        for (int c = 0; c < mOutChannels; ++c)
            std::copy(mOutD[c].begin(), mOutD[c].begin() + n, output[c]);
    } else {
        for (int c = 0; c < inChannels; ++c)
            for (int i = 0; i < n; ++i)
                mInF[c][i] = static_cast<float>(input[c][i]);
        mEffect->processReplacing(mEffect, mInPtrF.data(), mOutPtrF.data(), n);
        for (int c = 0; c < mOutChannels; ++c)
            for (int i = 0; i < n; ++i)
                output[c][i] = mOutF[c][i];
    }
}
