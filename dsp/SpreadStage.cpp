#include "dsp/SpreadStage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "dsp/BinArithmetic.h"

namespace fftconvolver {

namespace {

// Re and im parts start on 32-byte boundaries, as Buffer's own storage does.
std::size_t alignedBins(std::size_t bins) {
    return (bins + 3) & ~std::size_t{3};
}

}  // namespace

void SpreadStage::init(std::size_t blockSize, ResponseView ir, std::size_t irLen,
                       std::size_t delaySamples, std::size_t groupSize) {
    beginInit(blockSize, ir, irLen, delaySamples, groupSize);
    while (!initStep()) {
    }
}

void SpreadStage::beginInit(std::size_t blockSize, ResponseView ir, std::size_t irLen,
                            std::size_t delaySamples, std::size_t groupSize) {
    reset();
    if (blockSize == 0 || irLen == 0 || delaySamples > blockSize || groupSize == 0 ||
        groupSize > kMaxGroup) {
        return;
    }
    block = blockSize;
    delay = delaySamples;
    partitions = (irLen + block - 1) / block;
    bins = block + 1;
    stride = 2 * alignedBins(bins);
    group = std::min(groupSize, partitions);
    // The first block of a group sums for all of them: its slices are
    // smaller, so that no step carries much more than a transform.
    slices = group * seriesSliceCount(bins);
    fft.init(static_cast<std::uint32_t>(2 * block));

    // Every slot is written whole by initStep before anything reads it.
    spectra.resizeUninitialised(2 * partitions * stride);
    output.resize(block + delay);
    overlap.resize(block);
    irRe.reserve(partitions);
    irIm.reserve(partitions);
    inputRe.reserve(partitions);
    inputIm.reserve(partitions);
    for (std::size_t i = 0; i < partitions; ++i) {
        double* re = spectra.data() + i * stride;
        irRe.push_back(re);
        irIm.push_back(re + stride / 2);
        inputRe.push_back(inputSlot(i));
        inputIm.push_back(inputSlot(i) + stride / 2);
    }
    loadIr = ir;
    loadLen = irLen;
    loaded = 0;
    newest = 0;
    phase = 0;
}

bool SpreadStage::initStep() {
    if (loaded >= partitions) {
        return true;
    }
    // The zero-padded partition is transformed in place; what lies past the
    // transform's input in the slot (alignment) is zero as well. Its input
    // slot starts silent.
    const std::size_t i = loaded;
    const std::size_t n = std::min(loadLen - i * block, block);
    double* re = spectra.data() + i * stride;
    loadIr.copyTo(re, i * block, n);
    std::memset(static_cast<void*>(re + n), 0, (stride - n) * sizeof(double));
    fft.fft(re, re, re + stride / 2);
    std::memset(static_cast<void*>(inputSlot(i)), 0, stride * sizeof(double));
    ++loaded;
    return loaded == partitions;
}

void SpreadStage::reserve(std::size_t blockSize, std::size_t irLen, std::size_t delaySamples) {
    reset();
    if (blockSize == 0 || irLen == 0) {
        return;
    }
    const std::size_t most = (irLen + blockSize - 1) / blockSize;
    fft.init(static_cast<std::uint32_t>(2 * blockSize));
    spectra.reserve(2 * most * 2 * alignedBins(blockSize + 1));
    output.reserve(blockSize + delaySamples);
    overlap.reserve(blockSize);
    irRe.reserve(most);
    irIm.reserve(most);
    inputRe.reserve(most);
    inputIm.reserve(most);
}

void SpreadStage::reset() {
    block = 0;
    partitions = 0;
    bins = 0;
    stride = 0;
    slices = 0;
    delay = 0;
    group = 1;
    phase = 0;
    // Empty, the storage and transform tables kept for the next piece.
    spectra.resize(0);
    irRe.clear();
    irIm.clear();
    inputRe.clear();
    inputIm.clear();
    newest = 0;
    output.resize(0);
    overlap.resize(0);
    loadIr = ResponseView();
    loadLen = 0;
    loaded = 0;
}

void SpreadStage::runStep(std::size_t step, const double* history, std::size_t historySize,
                          std::size_t start) {
    if (partitions == 0) {
        return;
    }
    if (step == 0) {
        // The oldest slot, free since completeBlock took the result out of
        // it, receives the new block, transformed in place.
        newest = (newest > 0 ? newest : partitions) - 1;
        double* slot = inputSlot(newest);
        const std::size_t first = std::min(block, historySize - start);
        std::memcpy(slot, history + start, first * sizeof(double));
        std::memcpy(slot + first, history, (block - first) * sizeof(double));
        std::memset(static_cast<void*>(slot + block), 0, block * sizeof(double));
        fft.fft(slot, slot, slot + stride / 2);
        return;
    }
    const std::size_t oldest = (newest + partitions - 1) % partitions;
    if (step <= slices) {
        if (phase == 0) {
            multiplyAccumulateGroupSlice(irRe.data(), irIm.data(), inputRe.data(), inputIm.data(),
                                         partitions, newest, group, bins, step - 1, slices);
        } else {
            // What the group's first block could not sum yet: this block's
            // `phase` newest inputs, with the first partitions. That is far
            // less than the first block's work, so it takes only the first
            // 2 * slices / group steps, in runs long enough to stream from
            // memory (slices of a few bins each waited on every cache line),
            // each reading about as much as a step of the first block.
            const std::size_t followerSlices = std::min(slices, 2 * slices / group);
            if (step > followerSlices) {
                return;
            }
            const std::size_t begin = sliceEdge(bins, step - 1, followerSlices);
            const std::size_t end = sliceEdge(bins, step, followerSlices);
            const double* hRe[kMaxGroup];
            const double* hIm[kMaxGroup];
            const double* inRe[kMaxGroup];
            const double* inIm[kMaxGroup];
            for (std::size_t i = 0; i < phase; ++i) {
                const std::size_t slot = (newest + i) % partitions;
                hRe[i] = irRe[i] + begin;
                hIm[i] = irIm[i] + begin;
                inRe[i] = inputRe[slot] + begin;
                inIm[i] = inputIm[slot] + begin;
            }
            multiplyAccumulatePairs(inputRe[oldest] + begin, inputIm[oldest] + begin, hRe, hIm,
                                    inRe, inIm, phase, end - begin);
        }
        return;
    }
    // The sum, in the oldest slot, is transformed back in place and waits
    // there until completeBlock takes it, before the next block's transform.
    fft.ifft(inputSlot(oldest), inputRe[oldest], inputIm[oldest]);
    phase = phase + 1 == group ? 0 : phase + 1;
}

void SpreadStage::skipStep(std::size_t step) {
    if (partitions == 0) {
        return;
    }
    if (step == 0) {
        newest = (newest > 0 ? newest : partitions) - 1;
    } else if (step == slices + 1) {
        phase = phase + 1 == group ? 0 : phase + 1;
    }
}

void SpreadStage::completeBlock() {
    if (partitions == 0) {
        return;
    }
    const double* result = inputSlot((newest + partitions - 1) % partitions);
    // The samples of the last result not heard yet move to the front.
    std::memmove(output.data(), output.data() + block, delay * sizeof(double));
    addSamples(output.data() + delay, result, overlap.data(), block);
    std::memcpy(overlap.data(), result + block, block * sizeof(double));
}

std::size_t SpreadStage::getAllocatedBytes() const {
    return (spectra.capacity() + output.capacity() + overlap.capacity()) * sizeof(double);
}

}  // namespace fftconvolver
