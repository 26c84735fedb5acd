#include "dsp/HeadConvolver.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "dsp/BinArithmetic.h"
#include "dsp/FFTConvolver.h"

namespace fftconvolver {

namespace {

// Re and im parts start on 32-byte boundaries, as Buffer's own storage does.
std::size_t alignedBins(std::size_t bins) {
    return (bins + 3) & ~std::size_t{3};
}

bool isPowerOfTwo(std::size_t n) {
    return n > 0 && (n & (n - 1)) == 0;
}

}  // namespace

bool HeadConvolver::init(std::size_t blockSize, ResponseView ir, std::size_t irLen) {
    if (!beginInit(blockSize, ir, irLen)) {
        return false;
    }
    while (!initStep()) {
    }
    return true;
}

bool HeadConvolver::beginInit(std::size_t blockSize, ResponseView ir, std::size_t irLen) {
    reset();
    if (!isPowerOfTwo(blockSize) || blockSize > FFTConvolver::kMaxBlockSize) {
        return false;
    }
    if (irLen == 0) {
        return true;
    }
    block = blockSize;
    partitions = irLen / block + (irLen % block != 0 ? 1 : 0);
    bins = block + 1;
    stride = 2 * alignedBins(bins);
    fft.init(static_cast<std::uint32_t>(2 * block));

    taps.resize(block + 2 * kTapLead);
    ir.copyTo(taps.data() + kTapLead, 0, std::min(irLen, block));
    // Every slot is written whole by initStep before anything reads it.
    spectra.resizeUninitialised(2 * partitions * stride);
    irRe.reserve(partitions);
    irIm.reserve(partitions);
    inRe.reserve(partitions);
    inIm.reserve(partitions);
    for (std::size_t i = 0; i < partitions; ++i) {
        irRe.push_back(spectrum(i));
        irIm.push_back(spectrum(i) + stride / 2);
        inRe.push_back(inputSlot(i));
        inIm.push_back(inputSlot(i) + stride / 2);
    }
    olderRe.resize(bins);
    olderIm.resize(bins);
    nextRe.resize(bins);
    nextIm.resize(bins);
    secondOfPair = false;
    sumRe.resize(bins);
    sumIm.resize(bins);
    work.resize(2 * block);
    past.resize(block);
    filling.resize(block);
    last.resize(block);
    loadIr = ir;
    loadLen = irLen;
    return true;
}

bool HeadConvolver::initStep() {
    if (loaded >= partitions) {
        return true;
    }
    // The zero-padded partition is transformed in place; its input slot
    // starts silent.
    const std::size_t i = loaded;
    const std::size_t n = std::min(loadLen - i * block, block);
    double* slot = spectrum(i);
    loadIr.copyTo(slot, i * block, n);
    std::memset(static_cast<void*>(slot + n), 0, (stride - n) * sizeof(double));
    fft.fft(slot, slot, slot + stride / 2);
    std::memset(static_cast<void*>(inputSlot(i)), 0, stride * sizeof(double));
    ++loaded;
    return loaded == partitions;
}

void HeadConvolver::reserve(std::size_t blockSize, std::size_t irLen) {
    reset();
    if (!isPowerOfTwo(blockSize) || blockSize > FFTConvolver::kMaxBlockSize || irLen == 0) {
        return;
    }
    const std::size_t most = irLen / blockSize + (irLen % blockSize != 0 ? 1 : 0);
    const std::size_t b = alignedBins(blockSize + 1);
    fft.init(static_cast<std::uint32_t>(2 * blockSize));
    taps.reserve(blockSize + 2 * kTapLead);
    spectra.reserve(2 * most * 2 * b);
    irRe.reserve(most);
    irIm.reserve(most);
    inRe.reserve(most);
    inIm.reserve(most);
    for (Buffer<double>* spectrumPart : {&olderRe, &olderIm, &nextRe, &nextIm, &sumRe, &sumIm}) {
        spectrumPart->reserve(blockSize + 1);
    }
    work.reserve(2 * blockSize);
    for (Buffer<double>* samples : {&past, &filling, &last}) {
        samples->reserve(blockSize);
    }
}

void HeadConvolver::reset() {
    // Empty, the storage and transform tables kept for the next response.
    block = 0;
    partitions = 0;
    bins = 0;
    stride = 0;
    taps.resize(0);
    spectra.resize(0);
    irRe.clear();
    irIm.clear();
    inRe.clear();
    inIm.clear();
    newest = 0;
    for (Buffer<double>* b :
         {&olderRe, &olderIm, &nextRe, &nextIm, &sumRe, &sumIm, &work, &past, &filling, &last}) {
        b->resize(0);
    }
    secondOfPair = false;
    fill = 0;
    lastPending = false;
    loadIr = ResponseView();
    loadLen = 0;
    loaded = 0;
}

void HeadConvolver::startBlock(const double* whole, double* out) {
    const std::size_t p = partitions;
    auto transformInto = [&](std::size_t slot, const double* samples) {
        double* s = inputSlot(slot);
        std::memcpy(s, samples, block * sizeof(double));
        std::memset(static_cast<void*>(s + block), 0, block * sizeof(double));
        fft.fft(s, s, s + stride / 2);
    };
    // Every spectrum the sums below read, asked for before the transform:
    // among many instances they have left the near caches since the last
    // block, and one short stream after another would each wait its turn.
    const bool paired = p > 2;
    const std::size_t reads = paired && secondOfPair ? 2 : p;
    for (std::size_t i = 0; i < reads; ++i) {
        prefetchAhead(irRe[i], bins);
        prefetchAhead(irIm[i], bins);
    }
    for (std::size_t i = 0; i < p && reads == p; ++i) {
        prefetchAhead(inRe[i], bins);
        prefetchAhead(inIm[i], bins);
    }
    prefetchAhead(olderRe.data(), bins);
    prefetchAhead(olderIm.data(), bins);
    if (paired && secondOfPair) {
        prefetchAhead(nextRe.data(), bins);
        prefetchAhead(nextIm.data(), bins);
    }
    if (lastPending) {
        // The last block came in pieces: its transform waited until now.
        newest = (newest > 0 ? newest : p) - 1;
        transformInto(newest, last.data());
        lastPending = false;
    }
    // The last boundary's sum with partition 0 against the block that has
    // just ended: the second half of its transform is heard now, brought to
    // the front by turning the spectrum half a transform round.
    std::memcpy(sumRe.data(), olderRe.data(), bins * sizeof(double));
    std::memcpy(sumIm.data(), olderIm.data(), bins * sizeof(double));
    multiplyAccumulate(sumRe.data(), sumIm.data(), irRe[0], irIm[0], inRe[newest], inIm[newest],
                       bins);
    // Partitions 1 .. P-1 against the blocks before the one starting: the
    // first half of their transform is heard now, the second in the next.
    if (!paired) {
        olderRe.zero();
        olderIm.zero();
        multiplyAccumulateSeries(olderRe.data(), olderIm.data(), irRe.data(), irIm.data(),
                                 inRe.data(), inIm.data(), p, (newest + p - 1) % p, bins);
    } else if (!secondOfPair) {
        // Each input once, into this block's sum and the next one's: the
        // input i blocks back meets partition i here, i + 1 there.
        olderRe.zero();
        olderIm.zero();
        nextRe.zero();
        nextIm.zero();
        for (std::size_t i = 1; i < p; ++i) {
            const std::size_t slot = (newest + i - 1) % p;
            multiplyAccumulate(olderRe.data(), olderIm.data(), irRe[i], irIm[i], inRe[slot],
                               inIm[slot], bins);
            if (i + 1 < p) {
                multiplyAccumulate(nextRe.data(), nextIm.data(), irRe[i + 1], irIm[i + 1],
                                   inRe[slot], inIm[slot], bins);
            }
        }
        secondOfPair = true;
    } else {
        // The pair's second block adds its newest input, just transformed.
        std::memcpy(olderRe.data(), nextRe.data(), bins * sizeof(double));
        std::memcpy(olderIm.data(), nextIm.data(), bins * sizeof(double));
        multiplyAccumulate(olderRe.data(), olderIm.data(), irRe[1], irIm[1], inRe[newest],
                           inIm[newest], bins);
        secondOfPair = false;
    }
    addHalfTurned(sumRe.data(), sumIm.data(), olderRe.data(), olderIm.data(), bins);
    if (whole != nullptr) {
        // The whole block at once: partition 0 against it joins the same
        // transform, taking the slot of the oldest input, which no sum needs
        // any more.
        const std::size_t slot = (newest + p - 1) % p;
        transformInto(slot, whole);
        multiplyAccumulate(sumRe.data(), sumIm.data(), irRe[0], irIm[0], inRe[slot], inIm[slot],
                           bins);
        newest = slot;
        fft.ifft(work.data(), sumRe.data(), sumIm.data());
        std::memcpy(out, work.data(), block * sizeof(double));
        return;
    }
    fft.ifft(work.data(), sumRe.data(), sumIm.data());
    std::memcpy(past.data(), work.data(), block * sizeof(double));
}

void HeadConvolver::process(const double* input, double* output, std::size_t len) {
    if (partitions == 0) {
        std::fill(output, output + len, 0.0);
        return;
    }
    std::size_t done = 0;
    while (done < len) {
        const std::size_t n = std::min(len - done, block - fill);
        if (fill == 0) {
            if (n == block) {
                // The input is transformed before the output is written, so
                // the two may alias.
                startBlock(input + done, output + done);
                done += n;
                continue;
            }
            startBlock(nullptr, nullptr);
        }
        // The block's own samples so far, against the first taps, directly:
        // no transform waits for the block to fill. The input is copied
        // before any output is written.
        std::memcpy(filling.data() + fill, input + done, n * sizeof(double));
        convolveBlockStart(output + done, past.data(), filling.data(), taps.data() + kTapLead,
                           fill, fill + n);
        fill += n;
        if (fill == block) {
            last.swap(filling);
            lastPending = true;
            fill = 0;
        }
        done += n;
    }
}

void HeadConvolver::passBoundary(bool whole) {
    const std::size_t p = partitions;
    if (lastPending) {
        newest = (newest > 0 ? newest : p) - 1;
        lastPending = false;
    }
    if (p > 2) {
        secondOfPair = !secondOfPair;
    }
    if (whole) {
        newest = (newest + p - 1) % p;
    }
}

void HeadConvolver::skipSilence(std::size_t len) {
    if (partitions == 0) {
        return;
    }
    // process's walk through the blocks; the buffers it would swap or fill
    // hold zeros either way.
    std::size_t done = 0;
    while (done < len) {
        const std::size_t n = std::min(len - done, block - fill);
        if (fill == 0) {
            passBoundary(n == block);
            if (n == block) {
                done += n;
                continue;
            }
        }
        fill += n;
        if (fill == block) {
            lastPending = true;
            fill = 0;
        }
        done += n;
    }
}

std::size_t HeadConvolver::getAllocatedBytes() const {
    std::size_t held = taps.capacity() + spectra.capacity() + work.capacity();
    for (const Buffer<double>* b :
         {&olderRe, &olderIm, &nextRe, &nextIm, &sumRe, &sumIm, &past, &filling, &last}) {
        held += b->capacity();
    }
    return held * sizeof(double);
}

}  // namespace fftconvolver
