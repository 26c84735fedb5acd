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

void SpreadStage::init(std::size_t blockSize, const double* ir, std::size_t irLen,
                       std::size_t delaySamples) {
    reset();
    if (blockSize == 0 || irLen == 0 || delaySamples > blockSize) {
        return;
    }
    block = blockSize;
    delay = delaySamples;
    partitions = (irLen + block - 1) / block;
    bins = block + 1;
    stride = 2 * alignedBins(bins);
    slices = seriesSliceCount(bins);
    fft.init(static_cast<std::uint32_t>(2 * block));

    spectra.resize(2 * partitions * stride);
    sum.resize(stride);
    output.resize(block + delay);
    overlap.resize(block);
    double* scratch = sum.data();  // 2B zero-padded samples fit in stride
    for (std::size_t i = 0; i < partitions; ++i) {
        const std::size_t n = std::min(irLen - i * block, block);
        std::memcpy(scratch, ir + i * block, n * sizeof(double));
        std::memset(static_cast<void*>(scratch + n), 0, (2 * block - n) * sizeof(double));
        double* re = spectra.data() + i * stride;
        fft.fft(scratch, re, re + stride / 2);
        irRe.push_back(re);
        irIm.push_back(re + stride / 2);
        inputRe.push_back(inputSlot(i));
        inputIm.push_back(inputSlot(i) + stride / 2);
    }
    sum.zero();
    newest = 0;
}

void SpreadStage::reset() {
    block = 0;
    partitions = 0;
    bins = 0;
    stride = 0;
    slices = 0;
    delay = 0;
    fft.init(0);
    spectra.clear();
    irRe.clear();
    irIm.clear();
    inputRe.clear();
    inputIm.clear();
    newest = 0;
    sum.clear();
    output.clear();
    overlap.clear();
}

void SpreadStage::runStep(std::size_t step, const double* history, std::size_t historySize,
                          std::size_t start) {
    if (partitions == 0) {
        return;
    }
    double* re = sum.data();
    double* im = re + stride / 2;
    if (step == 0) {
        // The oldest input slot, free since the last inverse was taken out
        // of it, receives the new block; the sum is the zero-padded copy's
        // scratch until it is cleared for this block's sum.
        newest = (newest > 0 ? newest : partitions) - 1;
        const std::size_t first = std::min(block, historySize - start);
        std::memcpy(re, history + start, first * sizeof(double));
        std::memcpy(re + first, history, (block - first) * sizeof(double));
        std::memset(static_cast<void*>(re + block), 0, block * sizeof(double));
        double* slot = inputSlot(newest);
        fft.fft(re, slot, slot + stride / 2);
        sum.zero();
    } else if (step <= slices) {
        multiplyAccumulateSeriesSlice(re, im, irRe.data(), irIm.data(), inputRe.data(),
                                      inputIm.data(), partitions, newest, bins, step - 1);
    } else {
        // Partition 0 last, as the uniform convolver adds it to the older
        // sum; the result waits in the oldest slot (no longer summed) until
        // completeBlock takes it, before the next block's transform.
        multiplyAccumulate(re, im, irRe[0], irIm[0], inputRe[newest], inputIm[newest], bins);
        const std::size_t oldest = (newest + partitions - 1) % partitions;
        fft.ifft(inputSlot(oldest), re, im);
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
    return (spectra.size() + sum.size() + output.size() + overlap.size()) * sizeof(double);
}

}  // namespace fftconvolver
