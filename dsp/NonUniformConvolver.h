// Zero-latency convolution of a long response in partitions that grow with
// their distance from the start: a short-block head heard at once, then stages
// of larger blocks whose work is spread over the block after their input.
// Owns the head, the stages and one input history for all of them. init/reset
// on a control thread, process on the audio thread (ReverbEngine, one per
// channel).
//
// Silence costs next to nothing. Every sample and spectrum the convolver
// holds comes from its input of the last getSilenceHorizon() samples, so once
// that much input has been exactly zero it holds zeros only, and a call whose
// input is all zeros writes zeros: such a call moves the pieces' positions on
// as the full computation would and computes nothing else. The output is
// the full computation's, bit for bit in what the engine hears; the first
// call with any other sample (-0.0, a subnormal, a NaN) is computed in full.
//
//   sounding --(input +0.0 from some sample on)--> settling
//   settling --(getSilenceHorizon() samples of +0.0)--> silent
//   settling, silent --(a call with any other sample)--> sounding
//   init, reset --> silent (nothing held)
//
// process skips the work only in silent, for a whole call of zeros.
#pragma once

#include <cstddef>

#include "dsp/Buffer.h"
#include "dsp/FFTConvolver.h"
#include "dsp/HeadConvolver.h"
#include "dsp/SpreadStage.h"

namespace fftconvolver {

class NonUniformConvolver {
  public:
    // Most stages a convolver runs.
    static constexpr std::size_t kMaxStages = 6;

    NonUniformConvolver();
    ~NonUniformConvolver();
    NonUniformConvolver(const NonUniformConvolver&) = delete;
    NonUniformConvolver& operator=(const NonUniformConvolver&) = delete;

    // The engine's layout from the two-stage convolver's sizes, H and T (each
    // rounded up to a power of two): a head of H up to T/2, then a stage of
    // T/4 from T/2 and one of 2T from 4T (each kept only when larger than H).
    // Against the two-stage pieces (blocks of H up to 2T, of T beyond) they
    // take less than half the partitions, so less than half the spectrum
    // bytes per sample, in no more memory. Returns false, leaving the
    // convolver empty, when either size is 0 or 2T is above
    // FFTConvolver::kMaxBlockSize. The taps the two-stage convolver drops
    // (the trailing samples below the silence threshold of its head, 0 .. T,
    // and near tail, T .. 2T) are dropped as well.
    bool init(std::size_t headBlockSize, std::size_t tailBlockSize, ResponseView ir,
              std::size_t irLen);

    // Any layout: a head of H (headBlockSize rounded up to a power of two),
    // then stages of the given blocks, powers of two in growing order, each
    // above H, summing their blocks in groups of `group` (SpreadStage). A
    // stage of block B starts at 2B and runs to where the next one starts;
    // the head covers what lies before the first stage. Returns false,
    // leaving the convolver empty, for a block that breaks those rules, more
    // than kMaxStages stages, a size above FFTConvolver::kMaxBlockSize or a
    // group of 0 or above kMaxGroup.
    bool initStages(std::size_t headBlockSize, const std::size_t* stageBlocks,
                    std::size_t stageCount, ResponseView ir, std::size_t irLen,
                    std::size_t group = SpreadStage::kDefaultGroup);

    // init and initStages in steps, for an owner that must not stop for all
    // of it at once: begin lays the pieces out (allocating only beyond what
    // the convolver holds; nothing after reserve), each initStep transforms
    // one partition of ir, which must stay valid until the last; true once
    // the convolver is ready. Bit for bit what init gives. No other call may
    // come in between.
    bool beginInit(std::size_t headBlockSize, std::size_t tailBlockSize, ResponseView ir,
                   std::size_t irLen);
    bool beginInitStages(std::size_t headBlockSize, const std::size_t* stageBlocks,
                         std::size_t stageCount, ResponseView ir, std::size_t irLen,
                         std::size_t group = SpreadStage::kDefaultGroup);
    bool initStep();
    // The transform size of the next initStep's work, 0 when none is left:
    // what a caller weighs its steps by.
    std::size_t nextStepSize() const;
    // Allocates what init(headBlockSize, tailBlockSize, ...) needs for any
    // response of up to `longest` samples, leaving the convolver empty.
    void reserve(std::size_t headBlockSize, std::size_t tailBlockSize, std::size_t longest);

    // input and output must be different arrays: the head writes the whole
    // output before the stages read the input again. [audio thread]
    void process(const double* input, double* output, std::size_t len);

    // Back to empty, dropping the response, the input history and any work
    // still spread over coming calls; the storage is kept for the next one.
    void reset();

    // How many samples of silence leave the convolver holding nothing but
    // zeros: the response's length plus the pipeline of its largest blocks.
    std::size_t getSilenceHorizon() const { return silenceHorizon; }
    // In the silent state: the next call of exact zeros is skipped.
    bool isSilent() const { return quietRun >= silenceHorizon; }
    // What process does with len samples of +0.0 in the silent state, for a
    // caller that has checked the input itself and whose output is zeros
    // without being written: true. False, with nothing done, in any other
    // state or with skipping switched off. [audio thread]
    bool skipSilence(std::size_t len);
    // Whether process skips the work of silent calls (the default), so that a
    // test or a benchmark can hold the skipping engine against one that
    // computes everything. [control thread]
    void setSkipsSilence(bool on) { skipping = on; }
    bool skipsSilence() const { return skipping; }

    // Runs the largest stage's transforms a few fragments inside its block
    // (the forward one later, the inverse one earlier), so that a second
    // convolver fed the same blocks, the other channel's, does not run its
    // own in the same call: the worst call carries one of them, not two.
    // Output unchanged; kept across init and reset. [control thread]
    void setStaggered(bool on) { staggered = on; }

    std::size_t getHeadSize() const { return headSize; }
    const HeadConvolver& getHead() const { return head; }
    // The stages that hold part of the response, nearest first.
    std::size_t getStageCount() const { return stageCount; }
    const SpreadStage& getStage(std::size_t i) const { return stages[i].work; }
    // Bytes of sample and spectrum storage held by all pieces.
    std::size_t getAllocatedBytes() const;

  private:
    // A stage and where its spread work stands. A stage of block B covers
    // the response from 2B on: its input block completes B samples after its
    // first sample, its work takes the next B, and the result is heard during
    // the block after that. Every B is a multiple of H, so stage blocks
    // complete at fragment boundaries.
    struct Stage {
        SpreadStage work;
        std::size_t fill = 0;
        std::size_t start = 0;  // where the block being worked on begins in history
        std::size_t step = 0;   // next step of that work
        bool pending = false;   // a block's work is under way
        // Steps due half a step later than an even spread, so that this
        // stage's transforms do not fall in the same call as the largest
        // stage's.
        bool late = false;
        // Steps due from H/2 into the block to H/2 before its end instead
        // of over the whole block (setStaggered).
        bool inset = false;
    };

    // Where a response's pieces start and end, for stages of the given blocks.
    struct Pieces {
        std::size_t active = 0;  // stages holding part of it
        std::size_t begins[kMaxStages + 1] = {};
        std::size_t delay = 0;  // the last active stage's late start
    };
    static Pieces piecesFor(const std::size_t* stageBlocks, std::size_t count, std::size_t irLen);
    // The largest each piece of the engine layout grows to over every
    // response length up to `longest` (two stages at most), for reserve.
    struct PieceBounds {
        std::size_t headLen = 0;
        std::size_t stageLen[2] = {0, 0};
        std::size_t stageDelay[2] = {0, 0};
    };
    static PieceBounds boundsFor(std::size_t h, const std::size_t* blocks, std::size_t count,
                                 std::size_t longest);
    // The engine layout's head and stage blocks for the two-stage sizes.
    static bool engineLayout(std::size_t headBlockSize, std::size_t tailBlockSize, std::size_t& h,
                             std::size_t* blocks, std::size_t& count);
    std::size_t pieceStepSize(std::size_t piece) const;

    std::size_t headSize = 0;
    HeadConvolver head;
    // The input of the last history.size() samples, read by the stages: the
    // largest stage block plus H, so a block completed in one fragment is
    // still whole when its transform runs in the next.
    Buffer<double> history;
    std::size_t historyPos = 0;
    Stage stages[kMaxStages];
    std::size_t stageCount = 0;
    std::size_t loading = 0;  // the piece initStep loads next: 0 the head, then stage i + 1
    bool staggered = false;

    // process's walk through the fragments, with everything computed or, for
    // a silent call, only the positions moved on.
    template <bool kSilent>
    void run(const double* input, double* output, std::size_t len);
    template <bool kSilent>
    void advance(Stage& stage, std::size_t target);

    // Input samples of +0.0 since the last other one, counted up to the horizon.
    std::size_t quietRun = 0;
    std::size_t silenceHorizon = 0;
    bool skipping = true;
    static std::size_t insetTarget(std::size_t steps, std::size_t fill, std::size_t b,
                                   std::size_t h);
};

}  // namespace fftconvolver
