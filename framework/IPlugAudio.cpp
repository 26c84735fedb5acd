#include "framework/IPlugAudio.h"

#include <algorithm>
#include <thread>

namespace {

// Process calls the calling thread is inside, over all instances.
thread_local int tAudioCallDepth = 0;
// Editor calls the calling thread is inside.
thread_local int tEditorCallDepth = 0;

}  // namespace

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

void IPlugAudio::ProcessDouble(double** inputs, double** outputs, int frames) {
    AdvanceDeferredChanges(frames);
    ProcessInPieces(inputs, outputs, frames, mPieceIn, mPieceOut, [this](int n) {
        AttachInputs(0, NInChannels(), mPieceIn.data(), n);
        AttachOutputs(0, NOutChannels(), mPieceOut.data());
        CopyAliasedInputs(n);
        ProcessBlock(InputPtrs(), OutputPtrs(), n);
    });
}

void IPlugAudio::ProcessFloat(float** inputs, float** outputs, int frames, bool accumulate) {
    AdvanceDeferredChanges(frames);
    ProcessInPieces(inputs, outputs, frames, mPieceInF, mPieceOutF, [this, accumulate](int n) {
        AttachInputs(0, NInChannels(), mPieceInF.data(), n);
        AttachOutputs(0, NOutChannels(), mPieceOutF.data());
        if (accumulate) {
            RunBlockFloatAccumulating(n);
        } else {
            RunBlockFloat(n);
        }
    });
}

// --- Costly parameter changes ---------------------------------------------------

IPlugAudio::AudioCallScope::AudioCallScope() {
    ++tAudioCallDepth;
}

IPlugAudio::AudioCallScope::~AudioCallScope() {
    --tAudioCallDepth;
}

bool IPlugAudio::InsideAudioCall() {
    return tAudioCallDepth > 0;
}

void IPlugAudio::SetParameterFromEditor(int index, double normalised) {
    ++tEditorCallDepth;
    try {
        IPlugBase::SetParameterFromEditor(index, normalised);
    } catch (...) {
        --tEditorCallDepth;
        throw;
    }
    --tEditorCallDepth;
}

void IPlugAudio::StartDeferringChanges() {
    Lock lock(GetMutex());
    if (!mDeferring)
        mDeferring = EnableDeferredChanges();
}

// The editor's thread is never the audio thread, whatever a host answers for
// a thread it does not know; inside a process call it always is.
bool IPlugAudio::OnAudioThread() {
    if (tAudioCallDepth > 0)
        return true;
    if (tEditorCallDepth > 0)
        return false;
    return HostSaysAudioThread();
}

bool IPlugAudio::DeferCostlyChange(int index) {
    const IParameter* param = GetParam(index);
    if (!mDeferring || !param || index >= 32)
        return false;
    if (mAtOnce && OnAudioThread()) {
        // Made in place by the caller: anything older still being prepared
        // is not put in place after it.
        if (mHasWaiting && mWaiting.index == index)
            mHasWaiting = false;
        mApplied = ++mSerial;
        return false;
    }
    if (OnAudioThread()) {
        DeferredChange change;
        change.index = index;
        change.value = param->Value();
        change.fromAudioThread = true;
        if (!DeferParameterChange(change))
            return false;
        change.serial = ++mSerial;
        // Only the latest waits: values superseded before their turn are
        // never prepared (their noise has been drawn all the same).
        mWaiting = change;
        mHasWaiting = true;
        StartWaitingChange();
        return true;
    }
    if (mSpare.load() == kSpareWithWorker) {
        // The worker writes the spare state: made here, and the worker's
        // older result is dropped when it comes back.
        mApplied = ++mSerial;
        return false;
    }
    const std::uint32_t bit = 1u << index;
    if (mPendingMask.load() & bit) {
        // One preparation makes both; the earlier one is accounted for as
        // if it had been made.
        SupersedeDeferredChange(index, mRequested[index]);
    }
    mRequested[index] = param->Value();
    mPendingMask.fetch_or(bit);
    return true;
}

void IPlugAudio::RunPendingChanges(const std::atomic<bool>* stop) {
    // Work left for the outermost call of this thread, or for nobody.
    if (mPendingMask.load() == 0 || GetMutex().HeldByCaller() || tAudioCallDepth > 0)
        return;
    std::unique_lock<std::mutex> preparing(mPrepareMutex, std::defer_lock);
    if (!LockUnlessStopped(preparing, stop))
        return;
    for (;;) {
        DeferredChange change;
        {
            if (!LockUnlessStopped(GetMutex(), stop))
                return;
            Lock lock(GetMutex(), std::adopt_lock);
            const std::uint32_t mask = mPendingMask.load();
            if (mask == 0)
                return;
            int index = 0;
            while (!(mask & (1u << index)))
                ++index;
            mPendingMask.fetch_and(~(1u << index));
            const IParameter* param = GetParam(index);
            if (!param)
                continue;
            if (mSpare.load() == kSpareWithWorker) {
                ApplyParameterInPlace(index);
                mApplied = ++mSerial;
                continue;
            }
            // The parameter's value now is the latest set, whoever set it: a
            // change of the audio thread's still waiting or in slices is
            // superseded by this one.
            if (mHasWaiting && mWaiting.index == index)
                mHasWaiting = false;
            if (mSpare.load() == kSpareSliced && !mHasWaiting && mSliced.index != index) {
                mWaiting = mSliced;  // another parameter's: it starts again later
                mHasWaiting = true;
            }
            change.index = index;
            change.value = param->Value();
            change.fromAudioThread = false;
            if (!DeferParameterChange(change)) {
                ApplyParameterInPlace(index);
                mApplied = ++mSerial;
                continue;
            }
            change.serial = ++mSerial;
            mSpare.store(kSpareWithThread);
        }
        // The costly part, with the mutex free: the audio goes on meanwhile
        // with the state in place.
        bool prepared = false;
        try {
            prepared = PrepareDeferredChange(change);
        } catch (...) {
            prepared = false;
        }
        if (!LockUnlessStopped(GetMutex(), stop)) {
            // Told to stop: the change goes back for the next caller.
            mSpare.store(kSpareFree);
            mPendingMask.fetch_or(1u << change.index);
            return;
        }
        Lock lock(GetMutex(), std::adopt_lock);
        mSpare.store(kSpareFree);
        if (prepared) {
            Finish(change);
        } else {
            ApplyParameterInPlace(change.index);
            mApplied = ++mSerial;
        }
    }
}

void IPlugAudio::Finish(const DeferredChange& change) {
    if (change.serial > mApplied) {
        CommitDeferredChange(change);
        mApplied = change.serial;
    }
}

void IPlugAudio::StartWaitingChange() {
    if (!mHasWaiting || mSpare.load() != kSpareFree)
        return;
    mHasWaiting = false;
    if (ScheduleDeferredWork(mWaiting)) {
        mSpare.store(kSpareWithWorker);
    } else if (BeginSlicedChange(mWaiting)) {
        mSliced = mWaiting;
        mSpare.store(kSpareSliced);
    } else if (PrepareDeferredChange(mWaiting)) {
        // A plug-in that cannot slice pays for the change here, as if made
        // in place.
        Finish(mWaiting);
    }
}

void IPlugAudio::AdvanceDeferredChanges(int frames) {
    if (!mDeferring)
        return;
    StartWaitingChange();
    if (mSpare.load() == kSpareSliced && ContinueSlicedChange(frames)) {
        mSpare.store(kSpareFree);
        Finish(mSliced);
    }
}

bool IPlugAudio::RunDeferredWork(const DeferredChange& change) {
    return PrepareDeferredChange(change);
}

void IPlugAudio::DeferredWorkDone(const DeferredChange& change, bool prepared) {
    if (mSpare.load() != kSpareWithWorker)
        return;
    mSpare.store(kSpareFree);
    if (prepared)
        Finish(change);
    StartWaitingChange();
}
