// Two channels of audio each way, in both precisions, with the pointer
// arrays the process callbacks take: what every test that drives the
// plug-in's audio hands it. Owns its samples; one thread at a time.
#pragma once

#include <cmath>
#include <vector>

struct StereoBuffers {
    // `n` frames of silence each way.
    explicit StereoBuffers(int n) : frames(n) {
        for (int c = 0; c < 2; ++c) {
            in[c].assign(n, 0.0);
            out[c].assign(n, 0.0);
            inF[c].assign(n, 0.0f);
            outF[c].assign(n, 0.0f);
        }
        Point();
    }
    StereoBuffers(const StereoBuffers&) = delete;
    StereoBuffers& operator=(const StereoBuffers&) = delete;

    // A fixed signal on both inputs, a different one per channel, the same
    // in both precisions.
    void FillPattern() {
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < frames; ++i) {
                in[c][i] = (c + 1) * 0.25 * ((i * 7919 + 13) % 97 - 48) / 48.0;
                inF[c][i] = static_cast<float>(in[c][i]);
            }
        }
    }
    // Noise of the given amplitude from `random`, whose Unit() is uniform
    // in [0, 1).
    template <typename Random>
    void Fill(Random& random, double amplitude) {
        for (int c = 0; c < 2; ++c) {
            for (std::size_t i = 0; i < in[c].size(); ++i) {
                in[c][i] = amplitude * (2.0 * random.Unit() - 1.0);
                inF[c][i] = static_cast<float>(in[c][i]);
            }
        }
    }
    // True when the first `n` samples of every output are finite.
    bool OutputsFinite(int n) const {
        for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < n; ++i) {
                if (!std::isfinite(out[c][i]) || !std::isfinite(outF[c][i]))
                    return false;
            }
        }
        return true;
    }

    double** In() { return inPtrs; }
    double** Out() { return outPtrs; }
    float** InF() { return inPtrsF; }
    float** OutF() { return outPtrsF; }

    int frames;
    std::vector<double> in[2], out[2];
    std::vector<float> inF[2], outF[2];
    double* inPtrs[2] = {};
    double* outPtrs[2] = {};
    float* inPtrsF[2] = {};
    float* outPtrsF[2] = {};

  private:
    void Point() {
        for (int c = 0; c < 2; ++c) {
            inPtrs[c] = in[c].data();
            outPtrs[c] = out[c].data();
            inPtrsF[c] = inF[c].data();
            outPtrsF[c] = outF[c].data();
        }
    }
};
