#include "dsp/FFTConvolver.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/BinArithmetic.h"

namespace fftconvolver {

std::size_t trimmedLength(ResponseView ir, std::size_t irLen) {
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

bool FFTConvolver::init(std::size_t blockSize, ResponseView ir, std::size_t irLen) {
    if (!beginInit(blockSize, ir, irLen)) {
        return false;
    }
    while (!initStep()) {
    }
    return true;
}

bool FFTConvolver::beginInit(std::size_t blockSize, ResponseView ir, std::size_t irLen) {
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
    // Whole-number ceiling: a float division would be exact for every length
    // below 2^24 but could overshoot above it and read past the response.
    const std::size_t partitions = irLen / block + (irLen % block != 0 ? 1 : 0);
    layOut(block, partitions);
    loadIr = ir;
    loadLen = irLen;
    loaded = 0;
    return true;
}

void FFTConvolver::layOut(std::size_t block, std::size_t partitions) {
    partitionSize = block;
    fftSize = 2 * block;
    partitionCount = partitions;
    spectrumSize = fftSize / 2 + 1;

    fft.init(static_cast<std::uint32_t>(fftSize));
    fftWork.resize(fftSize);
    // The spectra are kept from one response to the next: only a longer
    // response than any before adds some.
    while (inputSpectra.size() < partitionCount) {
        inputSpectra.push_back(std::make_unique<SplitSpectrum>());
    }
    while (irSpectra.size() < partitionCount) {
        irSpectra.push_back(std::make_unique<SplitSpectrum>());
    }
    irRe.reserve(partitionCount);
    irIm.reserve(partitionCount);
    inputRe.reserve(partitionCount);
    inputIm.reserve(partitionCount);
    for (std::size_t i = 0; i < partitionCount; ++i) {
        inputSpectra[i]->resize(spectrumSize);
        irSpectra[i]->resize(spectrumSize);
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
}

bool FFTConvolver::initStep() {
    if (loaded >= partitionCount) {
        return true;
    }
    const std::size_t block = partitionSize;
    const std::size_t offset = loaded * block;
    const std::size_t n = std::min(loadLen - offset, block);
    loadIr.copyTo(fftWork.data(), offset, n);
    std::memset(static_cast<void*>(fftWork.data() + n), 0, (fftSize - n) * sizeof(double));
    SplitSpectrum& spectrum = *irSpectra[loaded];
    fft.fft(fftWork.data(), spectrum.re(), spectrum.im());
    ++loaded;
    return loaded == partitionCount;
}

void FFTConvolver::reserve(std::size_t blockSize, std::size_t irLen) {
    if (blockSize == 0 || blockSize > kMaxBlockSize || irLen == 0) {
        return;
    }
    std::size_t block = 1;
    while (block < blockSize) {
        block *= 2;
    }
    layOut(block, irLen / block + (irLen % block != 0 ? 1 : 0));
    reset();
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
    // Empty, the storage kept for the next response; the destructor frees it.
    partitionSize = 0;
    fftSize = 0;
    partitionCount = 0;
    spectrumSize = 0;
    irRe.clear();
    irIm.clear();
    inputRe.clear();
    inputIm.clear();
    fftWork.resize(0);
    olderSum.resize(0);
    blockSum.resize(0);
    overlapTail.resize(0);
    newest = 0;
    pendingInput.resize(0);
    pendingCount = 0;
    loadIr = ResponseView();
    loadLen = 0;
    loaded = 0;
}

std::size_t FFTConvolver::getAllocatedBytes() const {
    std::size_t bytes =
        olderSum.heldBytes() + blockSum.heldBytes() +
        (fftWork.capacity() + overlapTail.capacity() + pendingInput.capacity()) * sizeof(double);
    for (const auto& spectrum : inputSpectra) {
        bytes += spectrum->heldBytes();
    }
    for (const auto& spectrum : irSpectra) {
        bytes += spectrum->heldBytes();
    }
    return bytes;
}

}  // namespace fftconvolver
