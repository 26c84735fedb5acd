#include "dsp/NonUniformConvolver.h"

#include <algorithm>
#include <cstring>

namespace fftconvolver {

namespace {

std::size_t nextPowerOfTwo(std::size_t n) {
    std::size_t p = 1;
    while (p < n) {
        p *= 2;
    }
    return p;
}

bool isPowerOfTwo(std::size_t n) {
    return n > 0 && (n & (n - 1)) == 0;
}

}  // namespace

NonUniformConvolver::NonUniformConvolver() = default;

NonUniformConvolver::~NonUniformConvolver() {
    reset();
}

bool NonUniformConvolver::init(std::size_t headBlockSize, std::size_t tailBlockSize,
                               const double* ir, std::size_t irLen) {
    reset();
    if (headBlockSize == 0 || tailBlockSize == 0) {
        return false;
    }
    const std::size_t lo = std::min(headBlockSize, tailBlockSize);
    const std::size_t hi = std::max(headBlockSize, tailBlockSize);
    if (hi > FFTConvolver::kMaxBlockSize / 2) {
        return false;
    }
    const std::size_t h = nextPowerOfTwo(lo);
    const std::size_t t = nextPowerOfTwo(hi);
    std::size_t blocks[2];
    std::size_t count = 0;
    for (std::size_t block : {t / 4, 2 * t}) {
        if (block > h) {
            blocks[count++] = block;
        }
    }
    return initStages(h, blocks, count, ir, irLen);
}

bool NonUniformConvolver::initStages(std::size_t headBlockSize, const std::size_t* stageBlocks,
                                     std::size_t count, const double* ir, std::size_t irLen,
                                     std::size_t group) {
    reset();
    if (headBlockSize == 0 || headBlockSize > FFTConvolver::kMaxBlockSize || count > kMaxStages ||
        group == 0 || group > kMaxGroup) {
        return false;
    }
    const std::size_t h = nextPowerOfTwo(headBlockSize);
    std::size_t previous = h;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t block = stageBlocks[i];
        if (!isPowerOfTwo(block) || block <= previous || block > FFTConvolver::kMaxBlockSize) {
            return false;
        }
        previous = block;
    }
    irLen = trimmedLength(ir, irLen);
    if (irLen == 0) {
        return true;
    }

    headSize = h;
    // The stages that hold part of the response, and where each piece starts:
    // at 2B, except that the last one starts up to a block later (its result
    // heard that much later) so that its pieces end with a whole partition.
    // A partition of the largest block left mostly empty would cost as much
    // memory and time as a full one.
    std::size_t active = 0;
    while (active < count && 2 * stageBlocks[active] < irLen) {
        ++active;
    }
    std::size_t begins[kMaxStages + 1];
    for (std::size_t i = 0; i < active; ++i) {
        begins[i] = 2 * stageBlocks[i];
    }
    std::size_t delay = 0;
    if (active > 0) {
        const std::size_t block = stageBlocks[active - 1];
        const std::size_t whole = (irLen - begins[active - 1]) / block;
        if (whole > 0) {
            delay = (irLen - begins[active - 1]) % block;
            begins[active - 1] += delay;
        }
    }
    begins[active] = irLen;

    head.init(h, ir, active > 0 ? begins[0] : irLen);
    for (std::size_t i = 0; i < active; ++i) {
        // Only the response's own end has been trimmed: a small last sample
        // of a stage's piece still sounds.
        stages[i].work.init(stageBlocks[i], ir + begins[i], begins[i + 1] - begins[i],
                            i + 1 == active ? delay : 0, group);
    }
    stageCount = active;
    const std::size_t largest = active > 0 ? stageBlocks[active - 1] : 0;
    for (std::size_t i = 0; i + 1 < stageCount; ++i) {
        stages[i].late = true;
    }
    if (stageCount > 0) {
        // A multiple of H, so no fragment of input wraps around it.
        history.resize(largest + h);
    }
    return true;
}

void NonUniformConvolver::process(const double* input, double* output, std::size_t len) {
    head.process(input, output, len);
    if (stageCount == 0) {
        return;
    }
    const std::size_t h = headSize;
    const std::size_t size = history.size();
    std::size_t done = 0;
    while (done < len) {
        // Fragments end where the input reaches a multiple of H: every stage
        // block ends at such a point.
        const std::size_t n = std::min(len - done, h - historyPos % h);
        double* out = output + done;
        std::memcpy(history.data() + historyPos, input + done, n * sizeof(double));
        historyPos += n;
        if (historyPos == size) {
            historyPos = 0;
        }

        for (std::size_t i = 0; i < stageCount; ++i) {
            Stage& stage = stages[i];
            const std::size_t b = stage.work.getPartitionSize();
            const double* ready = stage.work.getOutput() + stage.fill;
            for (std::size_t k = 0; k < n; ++k) {
                out[k] += ready[k];
            }
            stage.fill += n;
            if (stage.pending) {
                // The share of the work due by this point of the block: every
                // step once the block is complete. Rounded up, so the forward
                // transform runs in the first fragment, before the history
                // overwrites its input; half a step later for a late stage.
                const std::size_t steps = stage.work.getStepCount();
                advance(stage, stage.late ? (2 * steps * stage.fill + b) / (2 * b)
                                          : (steps * stage.fill + b - 1) / b);
            }
            if (stage.fill == b) {
                stage.work.completeBlock();
                stage.start = (historyPos + size - b) % size;
                stage.step = 0;
                stage.pending = true;
                stage.fill = 0;
            }
        }
        done += n;
    }
}

void NonUniformConvolver::advance(Stage& stage, std::size_t target) {
    const std::size_t steps = stage.work.getStepCount();
    for (target = std::min(target, steps); stage.step < target; ++stage.step) {
        stage.work.runStep(stage.step, history.data(), history.size(), stage.start);
    }
    if (stage.step == steps) {
        stage.pending = false;
    }
}

void NonUniformConvolver::reset() {
    headSize = 0;
    head.reset();
    history.clear();
    historyPos = 0;
    for (Stage& stage : stages) {
        stage.work.reset();
        stage.fill = 0;
        stage.start = 0;
        stage.step = 0;
        stage.pending = false;
        stage.late = false;
    }
    stageCount = 0;
}

std::size_t NonUniformConvolver::getAllocatedBytes() const {
    std::size_t bytes = head.getAllocatedBytes() + history.size() * sizeof(double);
    for (std::size_t i = 0; i < stageCount; ++i) {
        bytes += stages[i].work.getAllocatedBytes();
    }
    return bytes;
}

}  // namespace fftconvolver
