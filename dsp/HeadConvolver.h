// The zero-latency start of a response: its first block of taps convolved
// directly as the input arrives, the rest of the piece in uniform partitions
// whose transforms run once per block, when the block starts, whatever the
// call size. Owns the taps, the partition and input spectra and the block's
// buffers. init/reset on the owner's control thread, process on the audio
// thread (NonUniformConvolver's head).
#pragma once

#include <cstddef>
#include <vector>

#include "dsp/Buffer.h"
#include "dsp/RealFFT.h"
#include "dsp/ResponseView.h"

namespace fftconvolver {

class HeadConvolver {
  public:
    HeadConvolver() = default;
    HeadConvolver(const HeadConvolver&) = delete;
    HeadConvolver& operator=(const HeadConvolver&) = delete;

    // Blocks of blockSize (a power of two) over ir[0 .. irLen), every sample
    // kept: the owner trims the response. Returns false, leaving the
    // convolver empty, for blockSize 0, not a power of two, or above 2^30.
    bool init(std::size_t blockSize, ResponseView ir, std::size_t irLen);
    // init in steps: beginInit lays the partitions out (allocating only
    // beyond what the convolver holds), each initStep transforms one
    // partition of ir, which must stay valid until the last; true once all
    // are done. Bit for bit what init gives. No other call may come between.
    bool beginInit(std::size_t blockSize, ResponseView ir, std::size_t irLen);
    bool initStep();
    // The transform size of the next initStep's work, 0 when none is left.
    std::size_t nextStepSize() const { return loaded < partitions ? 2 * block : 0; }
    // Allocates what init needs for a piece of up to irLen samples with this
    // block size, leaving the convolver empty.
    void reserve(std::size_t blockSize, std::size_t irLen);
    // Back to empty, dropping the response and the input history; the
    // storage is kept for the next response.
    void reset();

    // Writes len output samples for len input samples, zeros when empty.
    // input and output may be the same array. [audio thread]
    void process(const double* input, double* output, std::size_t len);
    // Moves through len samples of silence as process would, computing and
    // writing nothing: only for a convolver whose every held sample and
    // spectrum is already zero, which a silent input leaves zero. Its
    // blocks then start where process would start them, so the output after
    // the silence is the same bit for bit. [audio thread]
    void skipSilence(std::size_t len);

    std::size_t getPartitionSize() const { return block; }
    std::size_t getPartitionCount() const { return partitions; }
    // Bytes of sample and spectrum storage held (transform tables excluded).
    std::size_t getAllocatedBytes() const;

  private:
    // At a block boundary: what the blocks before add to the block now
    // starting. With `whole`, the block's own input, that block's output is
    // written to `out` in the same transform; otherwise it goes to `past`,
    // and the samples of the block itself are added by direct convolution
    // as they come.
    void startBlock(const double* whole, double* out);
    // startBlock's moves through the ring and the pairs, without the work.
    void passBoundary(bool whole);
    double* spectrum(std::size_t slot) { return spectra.data() + slot * stride; }
    double* inputSlot(std::size_t i) { return spectrum(partitions + i); }

    std::size_t block = 0;
    std::size_t partitions = 0;
    std::size_t bins = 0;
    std::size_t stride = 0;  // one spectrum's re and im, each rounded up for alignment
    audiofft::RealFFT fft;
    // The first block of taps with kTapLead zeros on either side, as the
    // direct convolution reads them.
    Buffer<double> taps;
    // Partition spectra, then input spectra: a ring in which the block i
    // blocks older than the newest transformed one sits at (newest + i) mod P.
    Buffer<double> spectra;
    // The spectra's storage, partition by partition and slot by slot, as the
    // series kernel reads it: built with the spectra, never changed after.
    std::vector<const double*> irRe, irIm, inRe, inIm;
    std::size_t newest = 0;
    // Partitions 1 .. P-1 against the blocks before the one now filling:
    // what the last boundary summed, kept for the second half of its
    // transform, heard in the next block.
    Buffer<double> olderRe, olderIm;
    // Blocks are summed in pairs: the first block of a pair reads every
    // spectrum once for both, leaving here the next block's sum but for its
    // newest input, which that block adds.
    Buffer<double> nextRe, nextIm;
    bool secondOfPair = false;
    Buffer<double> sumRe, sumIm;
    Buffer<double> work;     // one transform's samples, 2B
    Buffer<double> past;     // the block now filling, from earlier blocks
    Buffer<double> filling;  // its input so far
    Buffer<double> last;     // the last whole block, while not yet transformed
    std::size_t fill = 0;
    bool lastPending = false;

    ResponseView loadIr;
    std::size_t loadLen = 0;
    std::size_t loaded = 0;
};

}  // namespace fftconvolver
