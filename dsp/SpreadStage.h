// One stage of the non-uniform convolver past its head: a piece of the
// response in partitions of B samples whose block work (forward transform,
// the sum over the partitions in slices of bins, inverse transform) runs in
// steps over the B samples after its input block completes. Blocks are summed
// in groups: the first block of a group reads every spectrum once for the
// whole group, the others add only their own new inputs. It holds only the
// partition and input spectra, its output and overlap: the input history is
// the owner's, and the sums and transforms work in the input slots no later
// sum needs. Owned by NonUniformConvolver; init/reset on its control thread,
// the rest on the audio thread.
#pragma once

#include <cstddef>
#include <vector>

#include "dsp/BinArithmetic.h"
#include "dsp/Buffer.h"
#include "dsp/RealFFT.h"
#include "dsp/ResponseView.h"

namespace fftconvolver {

class SpreadStage {
  public:
    SpreadStage() = default;
    SpreadStage(const SpreadStage&) = delete;
    SpreadStage& operator=(const SpreadStage&) = delete;

    // Partitions of blockSize (a power of two) over ir[0 .. irLen), every
    // sample kept: the piece is cut from the middle of a response. The result
    // is heard `delay` samples (0 .. B) after the block boundary where it is
    // complete, so a piece may start anywhere from 2B to 3B after its input
    // block's first sample and end with a whole partition.
    // Blocks are summed in groups of `group` (1 .. kMaxGroup; fewer when
    // there are fewer partitions): what a block reads from memory falls to
    // about 1/group of its whole sum, plus the few newest inputs each later
    // block of a group adds; the arithmetic stays the same.
    void init(std::size_t blockSize, ResponseView ir, std::size_t irLen, std::size_t delay = 0,
              std::size_t group = kDefaultGroup);
    // Eight: for the far tail's 29 partitions, two spectra per partition read
    // once per eight blocks, the fastest in the many-instance benchmark.
    static constexpr std::size_t kDefaultGroup = 8;
    // init in steps: beginInit lays the partitions out (allocating only
    // beyond what the stage holds), each initStep transforms one partition of
    // ir, which must stay valid until the last; true once all are done. Bit
    // for bit what init gives.
    void beginInit(std::size_t blockSize, ResponseView ir, std::size_t irLen, std::size_t delay = 0,
                   std::size_t group = kDefaultGroup);
    bool initStep();
    // The transform size of the next initStep's work, 0 when none is left.
    std::size_t nextStepSize() const { return loaded < partitions ? 2 * block : 0; }
    // Allocates what init needs for a piece of up to irLen samples heard up
    // to `delay` samples late, with this block size, leaving the stage empty.
    void reserve(std::size_t blockSize, std::size_t irLen, std::size_t delay);
    // Empty; the storage is kept for the next piece.
    void reset();

    // Steps of one block's work: 0 transforms the block, 1 .. getStepCount()-2
    // each sum one slice of bins (the later blocks of a group, with less to
    // add, need only the first of those steps), the last transforms back.
    std::size_t getStepCount() const { return slices + 2; }
    // Runs step `step` for the block of B samples that starts at `start` in
    // the owner's circular input history of historySize samples. The steps
    // must run in order, all of them between two completeBlock calls.
    void runStep(std::size_t step, const double* history, std::size_t historySize,
                 std::size_t start);
    // What runStep(step, ...) does to the stage's place in its ring and its
    // group, and nothing else: for a stage whose spectra, output and overlap
    // are all zero, which a silent block leaves so.
    void skipStep(std::size_t step);
    // Called at a block boundary: the last block's result (all steps done, or
    // zeros before any) is queued behind what is still to be heard.
    void completeBlock();
    // The output for the block now starting at a boundary, B samples: the
    // last `delay` samples of the result before, then the newest result.
    const double* getOutput() const { return output.data(); }
    std::size_t getDelay() const { return delay; }

    std::size_t getPartitionSize() const { return block; }
    std::size_t getPartitionCount() const { return partitions; }
    std::size_t getGroupSize() const { return group; }
    // Bytes of sample and spectrum storage held (transform tables excluded).
    std::size_t getAllocatedBytes() const;

  private:
    std::size_t block = 0;
    std::size_t partitions = 0;
    std::size_t bins = 0;    // B + 1
    std::size_t stride = 0;  // one spectrum's re and im, each rounded up for alignment
    std::size_t slices = 0;
    std::size_t delay = 0;
    std::size_t group = 1;
    std::size_t phase = 0;  // the block's place in its group, 0 for the first
    audiofft::RealFFT fft;
    // Partition spectra, then input spectra: a ring in which the block i
    // blocks older than the newest sits at (newest + i) mod P. A group's
    // first block leaves the sum of the block j later in the slot of the
    // input P-1-j blocks older than itself, which no later sum needs: the
    // oldest slot when that block's turn comes, where its inverse transform
    // waits for completeBlock.
    Buffer<double> spectra;
    std::vector<const double*> irRe, irIm;
    std::vector<double*> inputRe, inputIm;
    std::size_t newest = 0;
    Buffer<double> output;   // heard during this block, B + delay samples
    Buffer<double> overlap;  // second half of the last inverse transform

    double* inputSlot(std::size_t i) { return spectra.data() + (partitions + i) * stride; }

    // The piece being loaded by initStep, and its partitions done.
    ResponseView loadIr;
    std::size_t loadLen = 0;
    std::size_t loaded = 0;
};

}  // namespace fftconvolver
