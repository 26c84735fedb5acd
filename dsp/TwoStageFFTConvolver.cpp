#include "dsp/TwoStageFFTConvolver.h"

#include <algorithm>
#include <cstring>

namespace fftconvolver {

TwoStageFFTConvolver::TwoStageFFTConvolver() = default;

TwoStageFFTConvolver::~TwoStageFFTConvolver() {
    reset();
}

bool TwoStageFFTConvolver::init(std::size_t headBlockSize, std::size_t tailBlockSize,
                                const double* ir, std::size_t irLen) {
    reset();
    if (headBlockSize == 0 || tailBlockSize == 0) {
        return false;
    }
    const std::size_t lo = std::min(headBlockSize, tailBlockSize);
    const std::size_t hi = std::max(headBlockSize, tailBlockSize);
    if (hi > FFTConvolver::kMaxBlockSize) {
        return false;
    }
    irLen = trimmedLength(ir, irLen);
    if (irLen == 0) {
        return true;
    }

    std::size_t h = 1;
    while (h < lo) {
        h *= 2;
    }
    std::size_t t = 1;
    while (t < hi) {
        t *= 2;
    }
    headSize = h;
    tailSize = t;

    head.init(h, ir, std::min(irLen, t));
    if (irLen > t) {
        nearTail.init(h, ir + t, std::min(t, irLen - t));
        nearTailBuild.resize(t);
        nearTailReady.resize(t);
    }
    if (irLen > 2 * t) {
        farTail.init(t, ir + 2 * t, irLen - 2 * t);
        farTailBuild.resize(t);
        farTailReady.resize(t);
        farTailInput.resize(t);
    }
    if (nearTailReady.size() > 0 || farTailReady.size() > 0) {
        periodInput.resize(t);
    }
    periodFill = 0;
    readyPos = 0;
    return true;
}

void TwoStageFFTConvolver::process(const double* input, double* output, std::size_t len) {
    head.process(input, output, len);
    if (periodInput.size() == 0) {
        return;
    }
    const std::size_t h = headSize;
    const std::size_t t = tailSize;
    std::size_t done = 0;
    while (done < len) {
        // Fragments end where the period fill reaches a multiple of H, the
        // points where a near-tail block can be computed.
        const std::size_t n = std::min(len - done, h - periodFill % h);

        if (nearTailReady.size() > 0) {
            const double* ready = nearTailReady.data() + readyPos;
            for (std::size_t k = 0; k < n; ++k) {
                output[done + k] += ready[k];
            }
        }
        if (farTailReady.size() > 0) {
            const double* ready = farTailReady.data() + readyPos;
            for (std::size_t k = 0; k < n; ++k) {
                output[done + k] += ready[k];
            }
        }
        readyPos += n;

        std::memcpy(periodInput.data() + periodFill, input + done, n * sizeof(double));
        periodFill += n;

        if (nearTailReady.size() > 0 && periodFill % h == 0) {
            const std::size_t off = periodFill - h;
            nearTail.process(periodInput.data() + off, nearTailBuild.data() + off, h);
            if (periodFill == t) {
                nearTailReady.swap(nearTailBuild);
            }
        }

        if (tailStep < tailSteps) {
            // The share of the sliced tail work due by this point of the
            // period, rounded up: all of it once the period is complete.
            advanceTailWork((tailSteps * periodFill + t - 1) / t);
        }

        if (farTailReady.size() > 0 && periodFill == t && farTailInput.size() == t &&
            farTailBuild.size() == t) {
            waitTailWork();
            farTailReady.swap(farTailBuild);
            farTailInput.assignFrom(periodInput);
            startTailWork();
        }

        if (periodFill == t) {
            periodFill = 0;
            readyPos = 0;
        }
        done += n;
    }
}

void TwoStageFFTConvolver::reset() {
    headSize = 0;
    tailSize = 0;
    head.reset();
    nearTail.reset();
    nearTailBuild.clear();
    nearTailReady.clear();
    farTail.reset();
    farTailBuild.clear();
    farTailReady.clear();
    periodInput.clear();
    periodFill = 0;
    readyPos = 0;
    farTailInput.clear();
    tailStep = 0;
    tailSteps = 0;
}

void TwoStageFFTConvolver::startTailWork() {
    if (schedule == TailSchedule::SpreadOverPeriod && farTailInput.size() > 0) {
        tailStep = 0;
        tailSteps = farTail.getBlockSliceCount() + 2;
        return;
    }
    doTailWork();
}

void TwoStageFFTConvolver::waitTailWork() {
    advanceTailWork(tailSteps);
}

void TwoStageFFTConvolver::advanceTailWork(std::size_t target) {
    const std::size_t last = tailSteps - 1;
    for (target = std::min(target, tailSteps); tailStep < target; ++tailStep) {
        if (tailStep == 0) {
            farTail.beginBlock(farTailInput.data());
        } else if (tailStep < last) {
            farTail.accumulateBlockSlice(tailStep - 1);
        } else {
            farTail.finishBlock(farTailBuild.data());
        }
    }
}

void TwoStageFFTConvolver::doTailWork() {
    if (farTailInput.size() > 0) {
        farTail.process(farTailInput.data(), farTailBuild.data(), tailSize);
    }
}

std::size_t TwoStageFFTConvolver::getAllocatedBytes() const {
    const std::size_t samples = nearTailBuild.size() + nearTailReady.size() + farTailBuild.size() +
                                farTailReady.size() + periodInput.size() + farTailInput.size();
    return head.getAllocatedBytes() + nearTail.getAllocatedBytes() + farTail.getAllocatedBytes() +
           samples * sizeof(double);
}

}  // namespace fftconvolver
