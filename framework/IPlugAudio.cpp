#include "framework/IPlugAudio.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>

IPlugAudio::IPlugAudio(const IPlugConfig& config) : IPlugBase(config) {
    mPieceIn.assign(static_cast<std::size_t>(NInChannels()), nullptr);
    mPieceInF.assign(static_cast<std::size_t>(NInChannels()), nullptr);
    mPieceOut.assign(static_cast<std::size_t>(NOutChannels()), nullptr);
    mPieceOutF.assign(static_cast<std::size_t>(NOutChannels()), nullptr);
}

int IPlugAudio::CountConnectedInputs() const {
    int n = 0;
    for (int i = 0; i < NInChannels(); ++i)
        n += GetInputPin(i).connected ? 1 : 0;
    return n;
}

int IPlugAudio::CountConnectedOutputs() const {
    int n = 0;
    for (int i = 0; i < NOutChannels(); ++i)
        n += GetOutputPin(i).connected ? 1 : 0;
    return n;
}

// Hosts may pass one array as both input and output. The plug-in writes its
// outputs before it has read all of its inputs, so such an input is copied
// aside into its pin's scratch buffer first.
void IPlugAudio::CopyAliasedInputs(int frames) {
    double** in = InputPtrs();
    double** out = OutputPtrs();
    for (int i = 0; i < NInChannels(); ++i) {
        InputPin& pin = InputPinAt(i);
        if (!pin.connected)
            continue;
        for (int o = 0; o < NOutChannels(); ++o) {
            if (in[i] == out[o]) {
                double* scratch = pin.scratch.Get();
                std::copy(in[i], in[i] + frames, scratch);
                in[i] = scratch;
                break;
            }
        }
    }
}

// A call may carry more frames than the scratch buffers hold (the host
// announced a smaller block size, or none): it is processed in pieces, each
// no longer than the scratch buffers, without allocating. `runPiece(n)`
// processes the n frames the piece pointers address.
template <typename Sample, typename RunPiece>
void IPlugAudio::ProcessInPieces(Sample** inputs, Sample** outputs, int frames,
                                 std::vector<Sample*>& pieceIn, std::vector<Sample*>& pieceOut,
                                 RunPiece runPiece) {
    const int nIn = CountConnectedInputs(), nOut = CountConnectedOutputs();
    if ((nIn > 0 && !inputs) || (nOut > 0 && !outputs))
        return;
    const int piece = GetScratchFrames();
    if (piece <= 0)
        return;
    frames = std::max(frames, 0);
    int done = 0;
    do {
        const int n = std::min(frames - done, piece);
        for (int k = 0; k < nIn; ++k)
            pieceIn[k] = inputs[k] ? inputs[k] + done : nullptr;
        for (int k = 0; k < nOut; ++k)
            pieceOut[k] = outputs[k] ? outputs[k] + done : nullptr;
        runPiece(n);
        done += n;
    } while (done < frames);
}

namespace {

// Whether all of x[0 .. n) is +0.0, bit for bit: -0.0 can carry its sign
// into an output, so it sounds. One pass with no early exit, which the
// compiler vectorises; a sounding call usually stops at the first sample.
template <typename Sample, typename Bits>
bool AllPositiveZero(const Sample* x, int n) {
    static_assert(sizeof(Sample) == sizeof(Bits), "one word a sample");
    if (n > 0) {
        Bits first;
        std::memcpy(&first, x, sizeof first);
        if (first != 0)
            return false;
    }
    Bits any = 0;
    for (int i = 0; i < n; ++i) {
        Bits b;
        std::memcpy(&b, x + i, sizeof b);
        any |= b;
    }
    return any == 0;
}

bool AllPositiveZero(const double* x, int n) {
    return AllPositiveZero<double, std::uint64_t>(x, n);
}

bool AllPositiveZero(const float* x, int n) {
    return AllPositiveZero<float, std::uint32_t>(x, n);
}

}  // namespace

template <typename Sample>
bool IPlugAudio::TakeSilentCall(Sample** inputs, Sample** outputs, int frames, bool accumulate) {
    const int nIn = CountConnectedInputs(), nOut = CountConnectedOutputs();
    if (frames <= 0 || (nIn > 0 && !inputs) || (nOut > 0 && !outputs))
        return false;
    for (int k = 0; k < nIn; ++k) {
        // A host that passed no buffer for a connected input feeds zeros.
        if (inputs[k] && !AllPositiveZero(inputs[k], frames))
            return false;
    }
    if (!ProcessSilence(frames))
        return false;
    for (int k = 0; k < nOut && !accumulate; ++k) {
        if (outputs[k])
            std::fill(outputs[k], outputs[k] + frames, Sample(0));
    }
    return true;
}

bool IPlugAudio::ProcessDouble(double** inputs, double** outputs, int frames) {
    mChanges.Advance(frames);
    if (TakeSilentCall(inputs, outputs, frames, false))
        return true;
    ProcessInPieces(inputs, outputs, frames, mPieceIn, mPieceOut, [this](int n) {
        AttachInputs(0, NInChannels(), mPieceIn.data(), n);
        AttachOutputs(0, NOutChannels(), mPieceOut.data());
        CopyAliasedInputs(n);
        ProcessBlock(InputPtrs(), OutputPtrs(), n);
    });
    return false;
}

bool IPlugAudio::ProcessFloat(float** inputs, float** outputs, int frames, bool accumulate) {
    mChanges.Advance(frames);
    if (TakeSilentCall(inputs, outputs, frames, accumulate))
        return true;
    ProcessInPieces(inputs, outputs, frames, mPieceInF, mPieceOutF, [this, accumulate](int n) {
        AttachInputs(0, NInChannels(), mPieceInF.data(), n);
        AttachOutputs(0, NOutChannels(), mPieceOutF.data());
        if (accumulate) {
            RunBlockFloatAccumulating(n);
        } else {
            RunBlockFloat(n);
        }
    });
    return false;
}

// --- Costly parameter changes ---------------------------------------------------

std::int64_t IPlugAudio::MonotonicNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void IPlugAudio::EndAudioCall(std::int64_t mutexWaitNanos) {
    // A call nested in another (a worker's answer handed back inside a
    // process call) adds to the outer call's report.
    if (mAudioDepth != 1)
        return;
    mLastCall.mutexWaitNanos = mutexWaitNanos;
    mLastCall.changes = mChanges.Report();
    mChanges.Report() = DeferredChanges::AudioCallReport{};
}

void IPlugAudio::SetParameterFromEditor(int index, double normalised) {
    Lock lock(GetMutex());
    const DepthScope editor(mEditorDepth);
    IPlugBase::SetParameterFromEditor(index, normalised);
}

void IPlugAudio::StartDeferringChanges(bool ownThread) {
    Lock lock(GetMutex());
    if (!mChanges.Enabled() && EnableDeferredChanges())
        mChanges.Enable(ownThread);
}

// The editor's thread is never the audio thread, whatever a host answers for
// a thread it does not know; inside a process call it always is.
bool IPlugAudio::OnAudioThread() {
    if (mAudioDepth > 0)
        return true;
    if (mEditorDepth > 0)
        return false;
    return HostSaysAudioThread();
}

void IPlugAudio::RunPendingChanges(const std::atomic<bool>* stop) {
    // Never on the audio thread, which holds the mutex for its whole call:
    // work is left for the outermost call of a thread that can wait.
    mChanges.RunPending(stop);
}
