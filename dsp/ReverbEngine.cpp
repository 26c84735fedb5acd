#include "dsp/ReverbEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dsp/ThreadNoise.h"

namespace {

inline std::uint32_t nextNoise(std::uint32_t& state) {
    state = state * 214013u + 2531011u;
    return (state >> 16) & 32767u;
}

// The response length as a sample count. NaN and negative lengths give 0 and
// lengths past the arrays are held at their size: converting those to an
// unsigned count directly would be undefined or read past the responses.
std::size_t countFor(float len) {
    if (!(len > 0.0f)) {
        return 0;
    }
    if (len >= static_cast<float>(ReverbEngine::kImpulseLength)) {
        return ReverbEngine::kImpulseLength;
    }
    return static_cast<std::size_t>(len);
}

// The envelope's radius, exact in double: 64000 for 128000 samples.
constexpr double kRadius = static_cast<double>(ReverbEngine::kImpulseLength) / 2.0;

}  // namespace

ReverbEngine::ReverbEngine() {
    // The two channels take the same blocks: the right one's far-stage
    // transforms run in other calls than the left one's.
    convolverR.setStaggered(true);
}

std::uint32_t ReverbEngine::drawNoise() {
    std::uint32_t state = thread_noise::load();
    const std::uint32_t value = nextNoise(state);
    thread_noise::store(state);
    return value;
}

void ReverbEngine::reset() {
    silenceBacklogL = 0;
    silenceBacklogR = 0;
    convolverL.reset();
    convolverR.reset();
    headRequest = kHeadBlockSize;
    tailRequest = kTailBlockSize;
    // The whole arrays are offered: trimming drops the zeros past the response.
    convolverL.init(headRequest, tailRequest, impulseL.data(), kImpulseLength);
    convolverR.init(headRequest, tailRequest, impulseR.data(), kImpulseLength);
    noteQuiet();
}

void ReverbEngine::noteQuiet() {
    quietL = convolverL.isSilent() && convolverL.skipsSilence();
    quietR = convolverR.isSilent() && convolverR.skipsSilence();
}

void ReverbEngine::setSustain(float s) {
    // The thread's generator state is worked on in a local and stored back:
    // the same sequence, without a thread-local lookup per draw.
    std::uint32_t state = thread_noise::load();
    synthesise(s, state);
    thread_noise::store(state);
}

void ReverbEngine::setSustainFrom(float s, std::uint32_t noise) {
    synthesise(s, noise);
}

std::uint32_t ReverbEngine::takeNoiseFor(float s) {
    const float len = s * static_cast<float>(kImpulseLength);
    // Two draws per sample i with i < len; the indices are exact in float.
    std::uint64_t draws = 0;
    if (len >= static_cast<float>(kImpulseLength)) {
        draws = 2u * kImpulseLength;
    } else if (len > 0.0f) {
        draws = 2u * static_cast<std::uint64_t>(std::ceil(len));
    }
    // The generator n steps on is state * a^n + c * (a^(n-1) + ... + 1),
    // built by squaring the one-step map, all modulo 2^32.
    const std::uint32_t start = thread_noise::load();
    std::uint32_t mul = 1, add = 0, stepMul = 214013u, stepAdd = 2531011u;
    for (std::uint64_t n = draws; n > 0; n >>= 1) {
        if (n & 1u) {
            mul *= stepMul;
            add = add * stepMul + stepAdd;
        }
        stepAdd = (stepMul + 1u) * stepAdd;
        stepMul *= stepMul;
    }
    thread_noise::store(start * mul + add);
    return start;
}

void ReverbEngine::synthesise(float s, std::uint32_t& state) {
    beginSustain(s, state);
    continueSustain(std::numeric_limits<std::size_t>::max());
    state = stepNoise;
}

void ReverbEngine::beginSustain(float s, std::uint32_t noise) {
    // The convolvers start anew: the positions owed are theirs no more.
    silenceBacklogL = 0;
    silenceBacklogR = 0;
    quietL = false;
    quietR = false;
    sustain = s;
    stepLen = s * static_cast<float>(kImpulseLength);
    stepScale = static_cast<float>(0.5 / (static_cast<double>(s) * 60.0 + 3.0));
    stepNoise = noise;
    stepPos = 0;
    stepPhase = Phase::kSynthesis;
}

void ReverbEngine::synthesiseRange(std::size_t from, std::size_t to) {
    const float len = stepLen;
    const float scale = stepScale;
    const float twiceScale = 2.0f * scale;
    std::uint32_t state = stepNoise;
    for (std::size_t i = from; i < to; ++i) {
        if (static_cast<float>(i) < len) {
            // Half circle over the whole length (radius 64000, centred on
            // sample 64000), rounded to float; the noise is shaped in single
            // precision step by step.
            const double d = static_cast<double>(i) - kRadius;
            const float env = static_cast<float>(std::sqrt(kRadius * kRadius - d * d) / kRadius);
            const float r1 = static_cast<float>(nextNoise(state));
            const float r2 = static_cast<float>(nextNoise(state));
            impulseL[i] = (r1 / 32767.0f * twiceScale - scale) * env;
            impulseR[i] = (r2 / 32767.0f * twiceScale - scale) * env;
        } else {
            impulseL[i] = 0.0f;
            impulseR[i] = 0.0f;
        }
    }
    stepNoise = state;
}

bool ReverbEngine::continueSustain(std::size_t budget) {
    std::size_t spent = 0;
    // At least one step a call, however small the budget.
    while (stepPhase != Phase::kReady && (spent == 0 || spent < budget)) {
        switch (stepPhase) {
            case Phase::kSynthesis: {
                const std::size_t room = (budget - spent) / kSynthesisWeight;
                const std::size_t n =
                    std::min(kImpulseLength - stepPos, std::max<std::size_t>(room, 1));
                synthesiseRange(stepPos, stepPos + n);
                stepPos += n;
                spent += n * kSynthesisWeight;
                if (stepPos == kImpulseLength) {
                    // Lengths that are not whole leave their last sample out.
                    convolverL.beginInit(headRequest, tailRequest, impulseL.data(),
                                         countFor(stepLen));
                    stepPhase = Phase::kLeft;
                }
                break;
            }
            case Phase::kLeft:
            case Phase::kRight: {
                fftconvolver::NonUniformConvolver& c =
                    stepPhase == Phase::kLeft ? convolverL : convolverR;
                const std::size_t size = c.nextStepSize();
                if (size == 0) {
                    if (stepPhase == Phase::kLeft) {
                        convolverR.beginInit(headRequest, tailRequest, impulseR.data(),
                                             countFor(stepLen));
                        stepPhase = Phase::kRight;
                    } else {
                        stepPhase = Phase::kReady;
                        noteQuiet();
                    }
                    break;
                }
                c.initStep();
                spent += size;
                break;
            }
            case Phase::kReady:
                break;
        }
    }
    return stepPhase == Phase::kReady;
}

void ReverbEngine::reserveForAnySustain() {
    const std::uint32_t head = headRequest != 0 ? headRequest : kHeadBlockSize;
    const std::uint32_t tail = tailRequest != 0 ? tailRequest : kTailBlockSize;
    convolverL.reserve(head, tail, kImpulseLength);
    convolverR.reserve(head, tail, kImpulseLength);
    if (isLaidOut()) {
        // Reserving emptied them: back to what they held.
        reset();
    }
}

void ReverbEngine::setLaidOut(bool laidOut) {
    headRequest = laidOut ? kHeadBlockSize : 0;
    tailRequest = laidOut ? kTailBlockSize : 0;
}

void ReverbEngine::process(const double* const* inputs, double* const* outputs, std::int32_t n,
                           bool secondInput, bool secondOutput) {
    if (n <= 0) {
        return;
    }
    const std::size_t count = static_cast<std::size_t>(n);
    const double* in0 = inputs[0];
    double* out0 = outputs[0];

    // Written so that a NaN sustain passes the signal through.
    if (!(sustain > 0.0f)) {
        for (std::size_t i = 0; i < count; ++i) {
            out0[i] = in0[i];
        }
        if (secondOutput) {
            const double* source = secondInput ? inputs[1] : in0;
            double* out1 = outputs[1];
            for (std::size_t i = 0; i < count; ++i) {
                out1[i] = source[i];
            }
        }
        return;
    }

    if ((silenceBacklogL | silenceBacklogR) != 0) {
        catchUpSilence();
    }
    convolverL.process(in0, out0, count);
    const double dry = static_cast<double>(1.0f - mix);
    const double wet = static_cast<double>(mix);
    if (secondInput && secondOutput) {
        const double* in1 = inputs[1];
        double* out1 = outputs[1];
        convolverR.process(in1, out1, count);
        for (std::size_t i = 0; i < count; ++i) {
            out0[i] = dry * in0[i] + wet * out0[i];
            out1[i] = dry * in1[i] + wet * out1[i];
        }
    } else if (secondOutput) {
        // Mono in, stereo out: the same mixed signal on both outputs.
        double* out1 = outputs[1];
        for (std::size_t i = 0; i < count; ++i) {
            const double v = dry * in0[i] + wet * out0[i];
            out0[i] = v;
            out1[i] = v;
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            out0[i] = dry * in0[i] + wet * out0[i];
        }
    }
    noteQuiet();
}

bool ReverbEngine::skipSilence(std::int32_t n, bool secondInput, bool secondOutput) {
    if (n <= 0 || !(sustain > 0.0f)) {
        // Nothing, or zeros passed through.
        return true;
    }
    // The mix of +0.0 dry with a wet zero of either sign is +0.0 only for a
    // mix in [0, 1], the one the parameters give.
    if (!(mix >= 0.0f && mix <= 1.0f)) {
        return false;
    }
    const bool stereo = secondInput && secondOutput;
    if (!quietL || (stereo && !quietR)) {
        return false;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(n);
    silenceBacklogL += count;
    silenceBacklogR += stereo ? count : 0;
    if (silenceBacklogL >= kSilenceBacklog || silenceBacklogR >= kSilenceBacklog) {
        catchUpSilence();
    }
    return true;
}

void ReverbEngine::catchUpSilence() {
    // Every sample owed was taken in the silent state, which only sound ends.
    convolverL.skipSilence(silenceBacklogL);
    convolverR.skipSilence(silenceBacklogR);
    silenceBacklogL = 0;
    silenceBacklogR = 0;
}

void ReverbEngine::setSkipsSilence(bool on) {
    convolverL.setSkipsSilence(on);
    convolverR.setSkipsSilence(on);
    noteQuiet();
}

bool ReverbEngine::isSilent() const {
    return convolverL.isSilent() && convolverR.isSilent();
}

std::size_t ReverbEngine::getAllocatedBytes() const {
    return convolverL.getAllocatedBytes() + convolverR.getAllocatedBytes();
}
