// The reverb's signal path: noise impulse responses under a half-circle envelope
// (owned, 2 x 128000 samples, held in the single precision they are
// synthesised in), one non-uniformly partitioned convolver per channel,
// wet/dry mix.
// A plain member of the plug-in object, which serialises all calls with its mutex.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "dsp/NonUniformConvolver.h"

// The engine's size: the longest response and the two-stage block sizes the
// convolvers are laid out from.
namespace reverb_scale {
#if defined(BRIGHTFALL_FUZZ)
// The fuzz build's engine: the same code on a smaller scale, so that the
// fuzzers spend their time in the calls they make rather than in synthesis
// and transforms. Every block size is a quarter (H = 64, T = 512) and the
// responses a 32nd as long, so a Sustain change does about a fiftieth of
// the work; they still fill the head and both stages of each convolver, the
// last one started late, with more partitions in the first than one group
// sums. The full size is what the unit tests run, in the ASan tree too.
constexpr std::size_t kImpulseLength = 4000;
constexpr std::uint32_t kHeadBlockSize = 51;   // H = 64
constexpr std::uint32_t kTailBlockSize = 427;  // T = 512
#else
constexpr std::size_t kImpulseLength = 128000;
constexpr std::uint32_t kHeadBlockSize = 102;   // H = 128
constexpr std::uint32_t kTailBlockSize = 1706;  // T = 2048
#endif
}  // namespace reverb_scale

class ReverbEngine {
  public:
    static constexpr std::size_t kImpulseLength = reverb_scale::kImpulseLength;
    static constexpr std::uint32_t kHeadBlockSize = reverb_scale::kHeadBlockSize;
    static constexpr std::uint32_t kTailBlockSize = reverb_scale::kTailBlockSize;

    // Both convolvers empty and the block sizes 0 until the first reset, so a
    // setSustain before it synthesises but leaves the convolvers empty.
    ReverbEngine();
    ReverbEngine(const ReverbEngine&) = delete;
    ReverbEngine& operator=(const ReverbEngine&) = delete;

    // Fixes the block sizes and prepares both convolvers from the stored
    // responses, dropping any sounding tail. [any host thread, plug-in mutex held]
    void reset();

    // Stores s (0 .. 1), synthesises both responses from fresh noise of the
    // calling thread and prepares both convolvers. Heavy: up to ~3 ms.
    // [any host thread or editor thread, plug-in mutex held]
    void setSustain(float s);

    // setSustain drawing from a generator state handed over by another
    // thread (see takeNoiseFor) instead of the calling thread's generator, so
    // that a synthesis moved off the audio thread draws the very noise it
    // would have drawn there. [any thread that owns this engine for the call]
    void setSustainFrom(float s, std::uint32_t noise);

    // setSustainFrom in steps, for an owner that must not stop for all of it
    // at once (the audio thread preparing a spare engine between its blocks):
    // beginSustain notes what to make, each continueSustain does about
    // `budget` units of it (a unit: one sample of both responses synthesised;
    // a transform of N samples weighs N * kTransformWeight) and returns true
    // once the engine holds the new responses and convolvers, bit for bit
    // what setSustainFrom(s, noise) gives. Nothing is allocated once
    // reserveForAnySustain has run. [the engine's owner for the steps]
    void beginSustain(float s, std::uint32_t noise);
    bool continueSustain(std::size_t budget);
    static constexpr std::size_t kSynthesisWeight = 2;
    // Allocates what the convolvers need for any Sustain, so that no later
    // synthesis allocates. [any host thread, before processing]
    void reserveForAnySustain();

    // Whether the block sizes are fixed (the first reset has run): until
    // then a synthesis leaves the convolvers empty. A spare engine is told to
    // follow the one in use. [the engine's owner]
    bool isLaidOut() const { return headRequest != 0; }
    void setLaidOut(bool laidOut);

    // The calling thread's generator state, for a synthesis at sustain s to
    // start from elsewhere; the thread's generator moves past the draws that
    // synthesis takes, as if it had run here. Allocates nothing and costs a
    // few dozen multiplications whatever s is. [audio thread]
    static std::uint32_t takeNoiseFor(float s);

    // 0: dry only, 1: wet only. [any host thread or editor thread, plug-in mutex held]
    void setMix(float m) { mix = m; }

    // n <= 0 processes nothing. inputs[1] is read only when both flags hold;
    // outputs[1] is written only when secondOutput holds. No input array may
    // be an output array. [audio thread, plug-in mutex held]
    void process(const double* const* inputs, double* const* outputs, std::int32_t n,
                 bool secondInput, bool secondOutput);

    // A call of n samples of +0.0 on every channel it reads, taken without
    // its buffers when nothing is left to hear: true, and every output
    // sample of that call is +0.0, as process would write. False, with
    // nothing done, when the call must go through process. Connections as
    // for process. Such a call reads and writes only a few words: the
    // convolvers' walk through their positions waits until the next call
    // that processes, or until kSilenceBacklog samples, and is then made in
    // one go. [audio thread, plug-in mutex held]
    bool skipSilence(std::int32_t n, bool secondInput, bool secondOutput);
    // About 0.7 s at 48 kHz: a walk through that much costs a few
    // microseconds, once.
    static constexpr std::uint32_t kSilenceBacklog = 32768;

    // Whether both convolvers skip the work of silent calls (the default;
    // see NonUniformConvolver), and whether both are silent now, so that the
    // next call of exact zeros costs next to nothing. [control thread]
    void setSkipsSilence(bool on);
    bool isSilent() const;

    float getSustain() const { return sustain; }
    float getMix() const { return mix; }
    const float* getImpulseL() const { return impulseL.data(); }
    const float* getImpulseR() const { return impulseR.data(); }
    const fftconvolver::NonUniformConvolver& getConvolverL() const { return convolverL; }
    const fftconvolver::NonUniformConvolver& getConvolverR() const { return convolverR; }
    // Heap bytes held by both convolvers (the responses live inside the object).
    std::size_t getAllocatedBytes() const;

    // Next value, 0 .. 32767, of the calling thread's noise generator: a linear
    // congruential generator whose state starts at 1 on every thread.
    static std::uint32_t drawNoise();

  private:
    // The walk through the convolvers' positions that skipSilence owes.
    void catchUpSilence();

    // What a silent call reads and writes, first in the object, away from
    // the convolvers and the responses.
    float sustain = 0.0f;
    float mix = 0.0f;
    // Silent samples each convolver has been handed by skipSilence and not
    // yet walked through.
    std::uint32_t silenceBacklogL = 0;
    std::uint32_t silenceBacklogR = 0;
    // Each convolver is silent and skips silence, as last noted (noteQuiet):
    // by every call that processes and every change of the convolvers.
    bool quietL = false;
    bool quietR = false;
    void noteQuiet();

    // Synthesises from `state` and leaves it past the last draw.
    void synthesise(float s, std::uint32_t& state);
    // Samples [from, to) of both responses, drawing from stepNoise.
    void synthesiseRange(std::size_t from, std::size_t to);

    // Where a synthesis in steps stands.
    enum class Phase { kReady, kSynthesis, kLeft, kRight };
    Phase stepPhase = Phase::kReady;
    std::size_t stepPos = 0;  // next sample to synthesise
    float stepLen = 0.0f;
    float stepScale = 0.0f;
    std::uint32_t stepNoise = 0;  // the generator, past the draws made so far

    std::uint32_t headRequest = 0;
    std::uint32_t tailRequest = 0;
    fftconvolver::NonUniformConvolver convolverL;
    fftconvolver::NonUniformConvolver convolverR;
    // Every sample is a float computed in single precision: held as float,
    // they are the same values at half the memory.
    std::array<float, kImpulseLength> impulseL{};
    std::array<float, kImpulseLength> impulseR{};
};
