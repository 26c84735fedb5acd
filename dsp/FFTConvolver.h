// Zero-latency uniformly partitioned convolution (overlap-add, transforms of
// twice the block size); owns the partition and input spectra and work buffers.
// init/reset on the owner's control thread, process on the audio thread.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "dsp/Buffer.h"
#include "dsp/RealFFT.h"
#include "dsp/ResponseView.h"
#include "dsp/SplitSpectrum.h"

namespace fftconvolver {

class FFTConvolver {
  public:
    // Largest accepted block size: twice the block must still be a 32-bit
    // transform length.
    static constexpr std::size_t kMaxBlockSize = std::size_t{1} << 30;

    FFTConvolver();
    virtual ~FFTConvolver();
    FFTConvolver(const FFTConvolver&) = delete;
    FFTConvolver& operator=(const FFTConvolver&) = delete;

    // Prepares for ir[0 .. irLen) with blocks of the next power of two at or
    // above blockSize. Trailing samples below 1e-6 in magnitude are dropped;
    // a response that trims to nothing leaves the convolver empty (true).
    // Returns false, leaving it empty, for blockSize 0 or above kMaxBlockSize.
    bool init(std::size_t blockSize, ResponseView ir, std::size_t irLen);

    // init in steps, for an owner that must not stop for all of it at once:
    // beginInit lays the partitions out (allocating only beyond what the
    // convolver already holds) and each initStep transforms one partition of
    // ir, which must stay valid until the last; true once all are done.
    // Bit for bit what init gives. No other call may come in between.
    bool beginInit(std::size_t blockSize, ResponseView ir, std::size_t irLen);
    bool initStep();
    // The transform size of the next initStep's work, 0 when none is left.
    std::size_t nextStepSize() const { return loaded < partitionCount ? fftSize : 0; }

    // Allocates what init needs for any response up to irLen samples with
    // this block size, leaving the convolver empty.
    void reserve(std::size_t blockSize, std::size_t irLen);

    // Writes len output samples for len input samples, zeros when empty.
    // input and output may be the same array. [audio thread]
    void process(const double* input, double* output, std::size_t len);

    // Back to empty, dropping the response and the input history; the
    // storage is kept for the next response.
    void reset();

    // One whole block in stages, for an owner that spreads its cost over time:
    // beginBlock, accumulateBlockSlice for each of the getBlockSliceCount()
    // slices of bins (in any order), then finishBlock give bit for bit what
    // process(input, output, B) gives. Valid only between blocks (no
    // part-filled block pending); otherwise, and when empty, they do nothing.
    // No other call on the convolver may come between the stages. [audio thread]
    void beginBlock(const double* input);
    std::size_t getBlockSliceCount() const;
    void accumulateBlockSlice(std::size_t slice);
    void finishBlock(double* output);

    std::size_t getPartitionSize() const { return partitionSize; }
    std::size_t getFftSize() const { return fftSize; }
    std::size_t getPartitionCount() const { return partitionCount; }
    std::size_t getSpectrumSize() const { return spectrumSize; }
    // Bytes of sample and spectrum storage held (transform tables excluded).
    std::size_t getAllocatedBytes() const;

  private:
    // Sizes everything for `partitions` partitions of `block`, zero-filled.
    void layOut(std::size_t block, std::size_t partitions);

    std::size_t partitionSize = 0;
    std::size_t fftSize = 0;
    std::size_t partitionCount = 0;
    std::size_t spectrumSize = 0;
    // The first partitionCount of each are in use; the rest are kept from
    // longer responses.
    std::vector<std::unique_ptr<SplitSpectrum>> inputSpectra;  // ring, see newest
    std::vector<std::unique_ptr<SplitSpectrum>> irSpectra;     // partition 0 first
    Buffer<double> fftWork;
    audiofft::RealFFT fft;
    SplitSpectrum olderSum;  // partitions 1 .. P-1 against older input blocks
    SplitSpectrum blockSum;  // olderSum plus partition 0 against the newest block
    Buffer<double> overlapTail;
    // The block i blocks older than the newest sits at (newest + i) mod P.
    std::size_t newest = 0;
    Buffer<double> pendingInput;
    std::size_t pendingCount = 0;
    // The spectra's storage, partition by partition and slot by slot, as the
    // series kernel reads it: built with the spectra, never changed after.
    std::vector<const double*> irRe, irIm, inputRe, inputIm;
    // The response being loaded by initStep, and its partitions done.
    ResponseView loadIr;
    std::size_t loadLen = 0;
    std::size_t loaded = 0;
};

// Trailing samples below this magnitude are silence to the convolvers: 1e-6 as
// a float, compared in double.
constexpr double kSilenceThreshold = static_cast<double>(1e-6f);

// irLen without the trailing silence; a NaN counts as sound and stops the scan.
std::size_t trimmedLength(ResponseView ir, std::size_t irLen);

}  // namespace fftconvolver
