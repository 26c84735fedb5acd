// Zero-latency convolution of a long response: a short-block head heard at once,
// near and far tails computed one and two periods ahead; owns the three convolvers
// and period buffers. init/reset on a control thread, process on the audio thread.
#pragma once

#include <cstddef>

#include "dsp/Buffer.h"
#include "dsp/FFTConvolver.h"

namespace fftconvolver {

class TwoStageFFTConvolver {
  public:
    // When the default tail work runs. Either way the far tail's result is
    // needed only one period later, so every output sample is the same.
    enum class TailSchedule {
        // All of it in the call that completes a period.
        AtPeriodEnd,
        // In slices over the following period's calls, in proportion to the
        // samples they bring: no single call carries a whole far-tail block,
        // which keeps the worst call of small host blocks short.
        SpreadOverPeriod,
    };

    TwoStageFFTConvolver();
    virtual ~TwoStageFFTConvolver();
    TwoStageFFTConvolver(const TwoStageFFTConvolver&) = delete;
    TwoStageFFTConvolver& operator=(const TwoStageFFTConvolver&) = delete;

    // The smaller block size (rounded up to a power of two, H) serves the head
    // and near tail, the larger (T) is the period and the far tail's block.
    // Returns false, leaving the convolver empty, when either size is 0 or
    // above FFTConvolver::kMaxBlockSize.
    bool init(std::size_t headBlockSize, std::size_t tailBlockSize, const double* ir,
              std::size_t irLen);

    // input and output must be different arrays: the head writes the whole
    // output before the tail stage reads the input again. [audio thread]
    void process(const double* input, double* output, std::size_t len);

    // Back to empty. Does not wait for tail work: the owner makes sure none
    // runs. Pending slices of the default tail work are dropped.
    void reset();

    // Kept by init and reset. [control thread, never during process]
    void setTailSchedule(TailSchedule s) { schedule = s; }
    TailSchedule getTailSchedule() const { return schedule; }
    // Slices of the default tail work still to run (0 when none is pending).
    std::size_t getTailStepsLeft() const { return tailSteps - tailStep; }

    std::size_t getHeadSize() const { return headSize; }
    std::size_t getTailSize() const { return tailSize; }
    const FFTConvolver& getHead() const { return head; }
    const FFTConvolver& getNearTail() const { return nearTail; }
    const FFTConvolver& getFarTail() const { return farTail; }
    // Bytes of sample and spectrum storage held by all three pieces.
    std::size_t getAllocatedBytes() const;

  protected:
    // Hands the far-tail work of the period just completed to whoever computes
    // it; by default it is done at once or sliced, as the schedule says. An
    // override may rely on this: between this and the next waitTailWork,
    // process touches neither farTailInput, farTailBuild nor the far-tail
    // convolver.
    virtual void startTailWork();
    // Returns once the work started last has finished; by default it runs the
    // slices still pending.
    virtual void waitTailWork();
    // The far-tail work itself, all at once, for an override to run where it
    // likes.
    void doTailWork();

  private:
    std::size_t headSize = 0;
    std::size_t tailSize = 0;
    FFTConvolver head;
    FFTConvolver nearTail;
    Buffer<double> nearTailBuild;  // this period's near-tail output, H at a time
    Buffer<double> nearTailReady;  // last period's, being added now
    FFTConvolver farTail;
    Buffer<double> farTailBuild;  // written by the tail work
    Buffer<double> farTailReady;  // added during this period
    Buffer<double> periodInput;
    std::size_t periodFill = 0;
    std::size_t readyPos = 0;
    Buffer<double> farTailInput;  // last complete period, read by the tail work
    TailSchedule schedule = TailSchedule::AtPeriodEnd;
    // Sliced tail work: the first step transforms farTailInput, each middle
    // step sums the older partitions over one slice of bins, the last
    // transforms back into farTailBuild.
    std::size_t tailStep = 0;
    std::size_t tailSteps = 0;

    // Runs the pending slices up to (not including) step target.
    void advanceTailWork(std::size_t target);
};

}  // namespace fftconvolver
