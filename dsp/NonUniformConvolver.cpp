#include "dsp/NonUniformConvolver.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>

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

// How many samples at the end of input[0 .. len) are +0.0, bit for bit:
// -0.0 counts as sound, since it can carry a sign into the output.
std::size_t countSilentTail(const double* input, std::size_t len) {
    std::size_t n = 0;
    while (n < len) {
        std::uint64_t bits;
        std::memcpy(&bits, input + len - 1 - n, sizeof bits);
        if (bits != 0) {
            break;
        }
        ++n;
    }
    return n;
}

}  // namespace

NonUniformConvolver::NonUniformConvolver() = default;

NonUniformConvolver::~NonUniformConvolver() {
    reset();
}

bool NonUniformConvolver::engineLayout(std::size_t headBlockSize, std::size_t tailBlockSize,
                                       std::size_t& h, std::size_t* blocks, std::size_t& count) {
    if (headBlockSize == 0 || tailBlockSize == 0) {
        return false;
    }
    const std::size_t lo = std::min(headBlockSize, tailBlockSize);
    const std::size_t hi = std::max(headBlockSize, tailBlockSize);
    if (hi > FFTConvolver::kMaxBlockSize / 2) {
        return false;
    }
    h = nextPowerOfTwo(lo);
    const std::size_t t = nextPowerOfTwo(hi);
    count = 0;
    for (std::size_t block : {t / 4, 2 * t}) {
        if (block > h) {
            blocks[count++] = block;
        }
    }
    return true;
}

NonUniformConvolver::Pieces NonUniformConvolver::piecesFor(const std::size_t* stageBlocks,
                                                           std::size_t count, std::size_t irLen) {
    // The stages that hold part of the response, and where each piece starts:
    // at 2B, except that the last one starts up to a block later (its result
    // heard that much later) so that its pieces end with a whole partition.
    // A partition of the largest block left mostly empty would cost as much
    // memory and time as a full one.
    Pieces p;
    while (p.active < count && 2 * stageBlocks[p.active] < irLen) {
        ++p.active;
    }
    for (std::size_t i = 0; i < p.active; ++i) {
        p.begins[i] = 2 * stageBlocks[i];
    }
    if (p.active > 0) {
        const std::size_t block = stageBlocks[p.active - 1];
        const std::size_t whole = (irLen - p.begins[p.active - 1]) / block;
        if (whole > 0) {
            p.delay = (irLen - p.begins[p.active - 1]) % block;
            p.begins[p.active - 1] += p.delay;
        }
    }
    p.begins[p.active] = irLen;
    return p;
}

NonUniformConvolver::PieceBounds NonUniformConvolver::boundsFor(std::size_t h,
                                                                const std::size_t* blocks,
                                                                std::size_t count,
                                                                std::size_t longest) {
    // Every engine asks for the same layout and length, and the search takes
    // a step per length (128000 of them, four convolvers an instance): the
    // last answer is kept. A pure function of its arguments, so the kept
    // answer is the one the search would give.
    static std::mutex lastMutex;
    static PieceBounds last;
    static std::size_t lastKey[5] = {};
    static bool hasLast = false;
    const std::size_t key[5] = {h, count, count > 0 ? blocks[0] : 0, count > 1 ? blocks[1] : 0,
                                longest};
    std::lock_guard<std::mutex> lock(lastMutex);
    if (hasLast && std::equal(key, key + 5, lastKey)) {
        return last;
    }
    // The largest each piece grows to over every response length: the last
    // stage's late start moves samples from it to the one before.
    PieceBounds b;
    for (std::size_t len = 1; len <= longest; ++len) {
        const Pieces p = piecesFor(blocks, count, len);
        b.headLen = std::max(b.headLen, p.active > 0 ? p.begins[0] : len);
        for (std::size_t i = 0; i < p.active; ++i) {
            b.stageLen[i] = std::max(b.stageLen[i], p.begins[i + 1] - p.begins[i]);
            if (i + 1 == p.active) {
                b.stageDelay[i] = std::max(b.stageDelay[i], p.delay);
            }
        }
    }
    last = b;
    std::copy(key, key + 5, lastKey);
    hasLast = true;
    return b;
}

bool NonUniformConvolver::init(std::size_t headBlockSize, std::size_t tailBlockSize,
                               ResponseView ir, std::size_t irLen) {
    if (!beginInit(headBlockSize, tailBlockSize, ir, irLen)) {
        return false;
    }
    while (!initStep()) {
    }
    return true;
}

bool NonUniformConvolver::beginInit(std::size_t headBlockSize, std::size_t tailBlockSize,
                                    ResponseView ir, std::size_t irLen) {
    reset();
    std::size_t h = 0, count = 0;
    std::size_t blocks[2];
    if (!engineLayout(headBlockSize, tailBlockSize, h, blocks, count)) {
        return false;
    }
    // The two-stage convolver this layout stands in for cuts the response
    // into a head (0 .. T), a near tail (T .. 2T) and a far tail, and drops
    // each piece's trailing samples below the silence threshold: those taps
    // are silent here too.
    const std::size_t t = nextPowerOfTwo(std::max(headBlockSize, tailBlockSize));
    irLen = trimmedLength(ir, irLen);
    const std::size_t headEnd = std::min(irLen, t);
    ResponseView design = ir.silencing(trimmedLength(ir, headEnd), headEnd);
    if (irLen > t) {
        const std::size_t nearEnd = std::min(irLen, 2 * t);
        design = design.silencing(t + trimmedLength(ir.from(t), nearEnd - t), nearEnd);
    }
    return beginInitStages(h, blocks, count, design, irLen, SpreadStage::kDefaultGroup);
}

bool NonUniformConvolver::initStages(std::size_t headBlockSize, const std::size_t* stageBlocks,
                                     std::size_t count, ResponseView ir, std::size_t irLen,
                                     std::size_t group) {
    if (!beginInitStages(headBlockSize, stageBlocks, count, ir, irLen, group)) {
        return false;
    }
    while (!initStep()) {
    }
    return true;
}

bool NonUniformConvolver::beginInitStages(std::size_t headBlockSize, const std::size_t* stageBlocks,
                                          std::size_t count, ResponseView ir, std::size_t irLen,
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
    const Pieces p = piecesFor(stageBlocks, count, irLen);
    head.beginInit(h, ir, p.active > 0 ? p.begins[0] : irLen);
    for (std::size_t i = 0; i < p.active; ++i) {
        // Only the response's own end has been trimmed: a small last sample
        // of a stage's piece still sounds.
        stages[i].work.beginInit(stageBlocks[i], ir.from(p.begins[i]),
                                 p.begins[i + 1] - p.begins[i], i + 1 == p.active ? p.delay : 0,
                                 group);
    }
    stageCount = p.active;
    const std::size_t largest = p.active > 0 ? stageBlocks[p.active - 1] : 0;
    for (std::size_t i = 0; i + 1 < stageCount; ++i) {
        stages[i].late = true;
    }
    if (staggered && stageCount > 0) {
        stages[stageCount - 1].inset = true;
    }
    if (stageCount > 0) {
        // A multiple of H, so no fragment of input wraps around it.
        history.resize(largest + h);
    }
    // An input sample is heard at most irLen samples on. Before that, and
    // after it for up to a few blocks, it is held as history, as a spectrum
    // in a piece's ring or a group's sum, or as a result waiting in a stage's
    // output or overlap: each for less than four of its piece's blocks
    // beyond the piece's end.
    silenceHorizon = irLen + 4 * (largest + h);
    quietRun = silenceHorizon;
    return true;
}

std::size_t NonUniformConvolver::pieceStepSize(std::size_t piece) const {
    return piece == 0 ? head.nextStepSize() : stages[piece - 1].work.nextStepSize();
}

std::size_t NonUniformConvolver::nextStepSize() const {
    for (std::size_t piece = loading; piece <= stageCount; ++piece) {
        if (const std::size_t size = pieceStepSize(piece)) {
            return size;
        }
    }
    return 0;
}

bool NonUniformConvolver::initStep() {
    // The head first, then the stages nearest first: one partition a step.
    while (loading <= stageCount && pieceStepSize(loading) == 0) {
        ++loading;
    }
    if (loading > stageCount) {
        return true;
    }
    if (loading == 0) {
        head.initStep();
    } else {
        stages[loading - 1].work.initStep();
    }
    return nextStepSize() == 0;
}

void NonUniformConvolver::reserve(std::size_t headBlockSize, std::size_t tailBlockSize,
                                  std::size_t longest) {
    reset();
    std::size_t h = 0, count = 0;
    std::size_t blocks[2];
    if (!engineLayout(headBlockSize, tailBlockSize, h, blocks, count) || longest == 0) {
        return;
    }
    const PieceBounds bounds = boundsFor(h, blocks, count, longest);
    head.reserve(h, bounds.headLen);
    for (std::size_t i = 0; i < count; ++i) {
        stages[i].work.reserve(blocks[i], bounds.stageLen[i], bounds.stageDelay[i]);
    }
    if (count > 0) {
        history.reserve(blocks[count - 1] + h);
    }
}

void NonUniformConvolver::process(const double* input, double* output, std::size_t len) {
    const std::size_t silentTail = countSilentTail(input, len);
    const bool wasSilent = quietRun >= silenceHorizon;
    quietRun = silentTail == len ? std::min(silenceHorizon, quietRun + len) : silentTail;
    if (silentTail == len && wasSilent && skipping) {
        std::fill(output, output + len, 0.0);
        run<true>(nullptr, nullptr, len);
        return;
    }
    run<false>(input, output, len);
}

bool NonUniformConvolver::skipSilence(std::size_t len) {
    if (!isSilent() || !skipping) {
        return false;
    }
    run<true>(nullptr, nullptr, len);
    return true;
}

template <bool kSilent>
void NonUniformConvolver::run(const double* input, double* output, std::size_t len) {
    if (kSilent) {
        head.skipSilence(len);
    } else {
        head.process(input, output, len);
    }
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
        if (!kSilent) {
            // A silent call leaves the history as it is: zeros.
            std::memcpy(history.data() + historyPos, input + done, n * sizeof(double));
        }
        historyPos += n;
        if (historyPos == size) {
            historyPos = 0;
        }

        for (std::size_t i = 0; i < stageCount; ++i) {
            Stage& stage = stages[i];
            const std::size_t b = stage.work.getPartitionSize();
            if (!kSilent) {
                const double* ready = stage.work.getOutput() + stage.fill;
                double* out = output + done;
                for (std::size_t k = 0; k < n; ++k) {
                    out[k] += ready[k];
                }
            }
            stage.fill += n;
            if (stage.pending) {
                // The share of the work due by this point of the block: every
                // step once the block is complete. Rounded up, so the forward
                // transform runs in the first fragment, before the history
                // overwrites its input; half a step later for a late stage.
                const std::size_t steps = stage.work.getStepCount();
                advance<kSilent>(stage, stage.inset  ? insetTarget(steps, stage.fill, b, h)
                                        : stage.late ? (2 * steps * stage.fill + b) / (2 * b)
                                                     : (steps * stage.fill + b - 1) / b);
            }
            if (stage.fill == b) {
                if (!kSilent) {
                    // Zeros queued behind zeros change nothing.
                    stage.work.completeBlock();
                }
                stage.start = (historyPos + size - b) % size;
                stage.step = 0;
                stage.pending = true;
                stage.fill = 0;
            }
        }
        done += n;
    }
}

std::size_t NonUniformConvolver::insetTarget(std::size_t steps, std::size_t fill, std::size_t b,
                                            std::size_t h) {
    // An even spread over fill H/2 .. B - H/2, rounded up: the forward
    // transform still runs by fill H, while the history holds its input
    // (every stage block is above H, so B - H > 0).
    if (2 * fill <= h) {
        return 0;
    }
    return (steps * (fill - h / 2) + (b - h) - 1) / (b - h);
}

template <bool kSilent>
void NonUniformConvolver::advance(Stage& stage, std::size_t target) {
    const std::size_t steps = stage.work.getStepCount();
    for (target = std::min(target, steps); stage.step < target; ++stage.step) {
        if (kSilent) {
            stage.work.skipStep(stage.step);
        } else {
            stage.work.runStep(stage.step, history.data(), history.size(), stage.start);
        }
    }
    if (stage.step == steps) {
        stage.pending = false;
    }
}

void NonUniformConvolver::reset() {
    // Empty, every piece's storage kept for the next response.
    headSize = 0;
    head.reset();
    history.resize(0);
    historyPos = 0;
    silenceHorizon = 0;
    quietRun = 0;
    loading = 0;
    for (Stage& stage : stages) {
        stage.work.reset();
        stage.fill = 0;
        stage.start = 0;
        stage.step = 0;
        stage.pending = false;
        stage.late = false;
        stage.inset = false;
    }
    stageCount = 0;
}

std::size_t NonUniformConvolver::getAllocatedBytes() const {
    std::size_t bytes = head.getAllocatedBytes() + history.capacity() * sizeof(double);
    for (std::size_t i = 0; i < kMaxStages; ++i) {
        bytes += stages[i].work.getAllocatedBytes();
    }
    return bytes;
}

}  // namespace fftconvolver
