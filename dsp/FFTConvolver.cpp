#include "dsp/FFTConvolver.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/BinArithmetic.h"

namespace fftconvolver {

std::size_t trimmedLength(const double* ir, std::size_t irLen) {
    // Written as "below" so that a NaN (which compares false) ends the trim.
    while (irLen > 0 && std::fabs(ir[irLen - 1]) < kSilenceThreshold) {
        --irLen;
    }
    return irLen;
}

FFTConvolver::FFTConvolver() = default;

FFTConvolver::~FFTConvolver() {
    reset();
}

bool FFTConvolver::init(std::size_t blockSize, const double* ir, std::size_t irLen) {
    reset();
    if (blockSize == 0 || blockSize > kMaxBlockSize) {
        return false;
    }
    irLen = trimmedLength(ir, irLen);
    if (irLen == 0) {
        return true;
    }

    std::size_t block = 1;
    while (block < blockSize) {
        block *= 2;
    }
    partitionSize = block;
    fftSize = 2 * block;
    // Whole-number ceiling: a float division would be exact for every length
    // below 2^24 but could overshoot above it and read past the response.
    partitionCount = irLen / block + (irLen % block != 0 ? 1 : 0);
    spectrumSize = fftSize / 2 + 1;

    fft.init(static_cast<std::uint32_t>(fftSize));
    fftWork.resize(fftSize);

    inputSpectra.reserve(partitionCount);
    irSpectra.reserve(partitionCount);
    for (std::size_t i = 0; i < partitionCount; ++i) {
        inputSpectra.push_back(std::make_unique<SplitSpectrum>());
        inputSpectra.back()->resize(spectrumSize);
    }
    for (std::size_t i = 0; i < partitionCount; ++i) {
        const std::size_t offset = i * block;
        const std::size_t n = std::min(irLen - offset, block);
        std::memcpy(fftWork.data(), ir + offset, n * sizeof(double));
        std::memset(static_cast<void*>(fftWork.data() + n), 0, (fftSize - n) * sizeof(double));
        auto spectrum = std::make_unique<SplitSpectrum>();
        spectrum->resize(spectrumSize);
        fft.fft(fftWork.data(), spectrum->re(), spectrum->im());
        irSpectra.push_back(std::move(spectrum));
    }

    for (std::size_t i = 0; i < partitionCount; ++i) {
        irRe.push_back(irSpectra[i]->re());
        irIm.push_back(irSpectra[i]->im());
        inputRe.push_back(inputSpectra[i]->re());
        inputIm.push_back(inputSpectra[i]->im());
    }
    olderSum.resize(spectrumSize);
    blockSum.resize(spectrumSize);
    overlapTail.resize(block);
    pendingInput.resize(block);
    pendingCount = 0;
    newest = 0;
    return true;
}

void FFTConvolver::process(const double* input, double* output, std::size_t len) {
    if (partitionCount == 0) {
        std::fill(output, output + len, 0.0);
        return;
    }
    const std::size_t block = partitionSize;
    std::size_t done = 0;
    while (done < len) {
        const std::size_t pos = pendingCount;
        const bool wasEmpty = (pos == 0);
        const std::size_t n = std::min(len - done, block - pos);

        // The input is taken before any output is written, so the two may alias.
        std::memcpy(pendingInput.data() + pos, input + done, n * sizeof(double));

        // A part-filled block is transformed again on every call, zero-padded,
        // so that its contribution is heard at once: the price of zero latency.
        std::memcpy(fftWork.data(), pendingInput.data(), block * sizeof(double));
        std::memset(static_cast<void*>(fftWork.data() + block), 0, block * sizeof(double));
        SplitSpectrum& current = *inputSpectra[newest];
        fft.fft(fftWork.data(), current.re(), current.im());

        // The older partitions do not change while the block fills: sum them
        // once per block.
        if (wasEmpty) {
            olderSum.zero();
            // Partitions 1 .. P-1 against input slots (newest + i) mod P.
            multiplyAccumulateSeries(olderSum.re(), olderSum.im(), irRe.data(), irIm.data(),
                                     inputRe.data(), inputIm.data(), partitionCount, newest,
                                     spectrumSize);
        }
        blockSum.assignFrom(olderSum);
        const SplitSpectrum& h0 = *irSpectra[0];
        multiplyAccumulate(blockSum.re(), blockSum.im(), h0.re(), h0.im(), current.re(),
                           current.im(), spectrumSize);

        fft.ifft(fftWork.data(), blockSum.re(), blockSum.im());
        addSamples(output + done, fftWork.data() + pos, overlapTail.data() + pos, n);

        pendingCount += n;
        if (pendingCount == block) {
            pendingInput.zero();
            pendingCount = 0;
            std::memcpy(overlapTail.data(), fftWork.data() + block, block * sizeof(double));
            newest = (newest > 0 ? newest : partitionCount) - 1;
        }
        done += n;
    }
}

void FFTConvolver::beginBlock(const double* input) {
    if (partitionCount == 0 || pendingCount != 0) {
        return;
    }
    const std::size_t block = partitionSize;
    std::memcpy(fftWork.data(), input, block * sizeof(double));
    std::memset(static_cast<void*>(fftWork.data() + block), 0, block * sizeof(double));
    SplitSpectrum& current = *inputSpectra[newest];
    fft.fft(fftWork.data(), current.re(), current.im());
    olderSum.zero();
}

std::size_t FFTConvolver::getBlockSliceCount() const {
    return partitionCount > 0 ? seriesSliceCount(spectrumSize) : 0;
}

void FFTConvolver::accumulateBlockSlice(std::size_t slice) {
    if (partitionCount == 0 || pendingCount != 0) {
        return;
    }
    multiplyAccumulateSeriesSlice(olderSum.re(), olderSum.im(), irRe.data(), irIm.data(),
                                  inputRe.data(), inputIm.data(), partitionCount, newest,
                                  spectrumSize, slice);
}

void FFTConvolver::finishBlock(double* output) {
    if (partitionCount == 0 || pendingCount != 0) {
        return;
    }
    const std::size_t block = partitionSize;
    const SplitSpectrum& current = *inputSpectra[newest];
    blockSum.assignFrom(olderSum);
    const SplitSpectrum& h0 = *irSpectra[0];
    multiplyAccumulate(blockSum.re(), blockSum.im(), h0.re(), h0.im(), current.re(), current.im(),
                       spectrumSize);
    fft.ifft(fftWork.data(), blockSum.re(), blockSum.im());
    addSamples(output, fftWork.data(), overlapTail.data(), block);
    std::memcpy(overlapTail.data(), fftWork.data() + block, block * sizeof(double));
    newest = (newest > 0 ? newest : partitionCount) - 1;
}

void FFTConvolver::reset() {
    partitionSize = 0;
    fftSize = 0;
    partitionCount = 0;
    spectrumSize = 0;
    inputSpectra.clear();
    irSpectra.clear();
    irRe.clear();
    irIm.clear();
    inputRe.clear();
    inputIm.clear();
    fftWork.clear();
    fft.init(0);
    olderSum.clear();
    blockSum.clear();
    overlapTail.clear();
    newest = 0;
    pendingInput.clear();
    pendingCount = 0;
}

std::size_t FFTConvolver::getAllocatedBytes() const {
    const std::size_t spectrumBytes = 2 * spectrumSize * sizeof(double);
    const std::size_t spectra = inputSpectra.size() + irSpectra.size() + 2;
    const std::size_t samples = fftWork.size() + overlapTail.size() + pendingInput.size();
    return (partitionCount > 0 ? spectra * spectrumBytes : 0) + samples * sizeof(double);
}

}  // namespace fftconvolver
