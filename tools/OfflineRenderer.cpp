#include "tools/OfflineRenderer.h"

#include <algorithm>
#include <cmath>

std::vector<std::vector<double>> OfflineRenderer::Render(
    VstHost& host, const std::vector<std::vector<double>>& input, const RenderSettings& settings,
    const Progress& progress) {
    AEffect* e = host.Effect();
    const int inChannels = static_cast<int>(std::min<std::size_t>(input.size(), 2));
    const long inFrames = inChannels > 0 ? static_cast<long>(input[0].size()) : 0;
    const long total = inFrames + std::max(0L, settings.tailFrames);
    const int block = std::max(1, settings.blockSize);

    host.Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(settings.sampleRate));
    host.Dispatch(effSetBlockSize, 0, block);
    VstSpeakerArrangement in{}, out{};
    in.numChannels = std::max(inChannels, 1);
    in.type = inChannels == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
    out.numChannels = 2;
    out.type = kSpeakerArrStereo;
    host.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    host.Dispatch(effMainsChanged, 0, 1);

    std::vector<std::vector<double>> result(2, std::vector<double>(static_cast<std::size_t>(total)));
    std::vector<double> inD[2], outD[2];
    std::vector<float> inF[2], outF[2];
    for (int c = 0; c < 2; ++c) {
        inD[c].assign(block, 0.0);
        outD[c].assign(block, 0.0);
        inF[c].assign(block, 0.0f);
        outF[c].assign(block, 0.0f);
    }
    for (long pos = 0; pos < total; pos += block) {
        const int n = static_cast<int>(std::min<long>(block, total - pos));
        for (int c = 0; c < in.numChannels; ++c) {
            for (int i = 0; i < n; ++i) {
                const long at = pos + i;
                inD[c][i] = (c < inChannels && at < inFrames) ? input[c][at] : 0.0;
                inF[c][i] = static_cast<float>(inD[c][i]);
            }
        }
        if (settings.doublePrecision) {
            double* ip[2] = {inD[0].data(), inD[1].data()};
            double* op[2] = {outD[0].data(), outD[1].data()};
            e->processDoubleReplacing(e, ip, op, n);
            for (int c = 0; c < 2; ++c) std::copy(outD[c].begin(), outD[c].begin() + n, result[c].begin() + pos);
        } else {
            float* ip[2] = {inF[0].data(), inF[1].data()};
            float* op[2] = {outF[0].data(), outF[1].data()};
            e->processReplacing(e, ip, op, n);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < n; ++i) result[c][pos + i] = outF[c][i];
        }
        if (progress) progress(pos + n, total);
    }
    host.Dispatch(effMainsChanged, 0, 0);
    return result;
}

LevelStats MeasureLevels(const std::vector<std::vector<double>>& channels) {
    LevelStats s;
    double sum = 0.0;
    long count = 0;
    for (const auto& ch : channels) {
        for (double v : ch) {
            if (!std::isfinite(v)) {
                ++s.nonFinite;
                continue;
            }
            s.peak = std::max(s.peak, std::fabs(v));
            sum += v * v;
            ++count;
        }
    }
    s.rms = count > 0 ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
    return s;
}

double ToDecibels(double linear) { return linear > 0.0 ? 20.0 * std::log10(linear) : -INFINITY; }
