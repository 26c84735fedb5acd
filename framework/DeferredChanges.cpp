#include "framework/DeferredChanges.h"

#include "framework/IParameter.h"

#include <chrono>
#include <thread>

DeferredChanges::DeferredChanges(Hooks& hooks, PlugMutex& mutex) : mHooks(hooks), mMutex(mutex) {}

DeferredChanges::~DeferredChanges() {
    Disable();
}

void DeferredChanges::Enable(bool ownThread) {
    mEnabled = true;
    if (ownThread && !mOwnThread) {
        mOwnThread = std::make_unique<PreparationThread>(&DeferredChanges::RunOwnWork, this);
        if (!mOwnThread->Started())
            mOwnThread.reset();
    }
}

void DeferredChanges::Disable() {
    if (mOwnThread)
        mOwnThread->Stop();
}

void DeferredChanges::RunOwnWork(void* self) {
    auto& changes = *static_cast<DeferredChanges*>(self);
    bool prepared = false;
    try {
        prepared = changes.mHooks.PrepareDeferredChange(changes.mOwnChange);
    } catch (...) {
        prepared = false;
    }
    changes.mOwnPrepared = prepared;
    changes.mOwnDone.store(true, std::memory_order_release);
}

void DeferredChanges::MadeInPlace(int index) {
    // Anything older still waiting for the same parameter is not put in
    // place after it.
    if (mHasWaiting && mWaiting.index == index)
        mHasWaiting = false;
    mApplied = ++mSerial;
}

bool DeferredChanges::Defer(int index, bool onAudioThread) {
    const IParameter* param = mHooks.DeferrableParameter(index);
    if (!mEnabled || !param || index < 0 || index >= 32)
        return false;
    if (onAudioThread) {
        if (mAtOnce) {
            MadeInPlace(index);
            return false;
        }
        Change change;
        change.index = index;
        change.value = param->Value();
        change.fromAudioThread = true;
        if (!mHooks.DeferParameterChange(change))
            return false;
        change.serial = ++mSerial;
        // Only the latest waits: values superseded before their turn are
        // never prepared (their noise has been drawn all the same).
        mWaiting = change;
        mHasWaiting = true;
        StartWaiting();
        return true;
    }
    if (mSpare.load() == kWithWorker && !mOwnBusy) {
        // The host's worker writes the spare state and may answer whenever
        // it likes: made here, and its older result is dropped when it comes
        // back. The plug-in's own thread is waited for instead (RunPending).
        MadeInPlace(index);
        return false;
    }
    const std::uint32_t bit = 1u << index;
    if (mPendingMask.load() & bit) {
        // One preparation makes both; the earlier one is accounted for as
        // if it had been made.
        mHooks.SupersedeDeferredChange(index, mRequested[index]);
    }
    mRequested[index] = param->Value();
    mPendingMask.fetch_or(bit);
    return true;
}

void DeferredChanges::RunPending(const std::atomic<bool>* stop) {
    // Work left for the outermost call of this thread.
    if (mPendingMask.load() == 0 || mMutex.HeldByCaller())
        return;
    std::unique_lock<std::mutex> preparing(mPrepareMutex, std::defer_lock);
    if (!LockUnlessStopped(preparing, stop))
        return;
    for (;;) {
        if (!LockUnlessStopped(mMutex, stop))
            return;
        std::unique_lock<PlugMutex> lock(mMutex, std::adopt_lock);
        TakeOwnAnswer();
        if (mSpare.load() == kWithWorker && mOwnBusy) {
            // The plug-in's own thread is a millisecond or two from done:
            // waited for with the mutex free, then this change takes the
            // spare as usual.
            lock.unlock();
            for (int attempt = 0; !mOwnDone.load(std::memory_order_acquire); ++attempt) {
                if (stop && stop->load(std::memory_order_acquire))
                    return;
                std::this_thread::sleep_for(std::chrono::microseconds(attempt < 8 ? 50 : 250));
            }
            continue;
        }
        const std::uint32_t mask = mPendingMask.load();
        if (mask == 0)
            return;
        int index = 0;
        while (!(mask & (1u << index)))
            ++index;
        mPendingMask.fetch_and(~(1u << index));
        const IParameter* param = mHooks.DeferrableParameter(index);
        if (!param)
            continue;
        if (mSpare.load() == kWithWorker) {
            // The host's worker may answer whenever it likes: made here.
            mHooks.ApplyParameterInPlace(index);
            MadeInPlace(index);
            continue;
        }
        // The parameter's value now is the latest set, whoever set it: a
        // change of the audio thread's still waiting or in slices is
        // superseded by this one.
        if (mHasWaiting && mWaiting.index == index)
            mHasWaiting = false;
        if (mSpare.load() == kSliced && !mHasWaiting && mSliced.index != index) {
            mWaiting = mSliced;  // another parameter's: it starts again later
            mHasWaiting = true;
        }
        Change change;
        change.index = index;
        change.value = param->Value();
        change.fromAudioThread = false;
        if (!mHooks.DeferParameterChange(change)) {
            mHooks.ApplyParameterInPlace(index);
            MadeInPlace(index);
            continue;
        }
        change.serial = ++mSerial;
        mSpare.store(kWithThread);
        lock.unlock();

        // The costly part, with the mutex free: the audio goes on meanwhile
        // with the state in place.
        bool prepared = false;
        try {
            prepared = mHooks.PrepareDeferredChange(change);
        } catch (...) {
            prepared = false;
        }
        if (!LockUnlessStopped(mMutex, stop)) {
            // Told to stop: the change goes back for the next caller.
            mSpare.store(kFree);
            mPendingMask.fetch_or(1u << change.index);
            return;
        }
        lock = std::unique_lock<PlugMutex>(mMutex, std::adopt_lock);
        mSpare.store(kFree);
        if (prepared) {
            Finish(change);
        } else {
            mHooks.ApplyParameterInPlace(change.index);
            MadeInPlace(change.index);
        }
    }
}

void DeferredChanges::TakeOwnAnswer() {
    if (mOwnBusy && mOwnDone.load(std::memory_order_acquire)) {
        mOwnBusy = false;
        WorkDone(mOwnChange, mOwnPrepared);
    }
}

void DeferredChanges::Finish(const Change& change) {
    if (change.serial > mApplied) {
        mHooks.CommitDeferredChange(change);
        mApplied = change.serial;
        mReport.swapped = true;
    }
}

void DeferredChanges::StartWaiting() {
    if (!mHasWaiting || mSpare.load() != kFree)
        return;
    mHasWaiting = false;
    const Change change = mWaiting;
    mReport.started = true;
    // The spare is the worker's before the host hears of the work: a host
    // may run it and hand the answer back inside ScheduleDeferredWork.
    mSpare.store(kWithWorker);
    if (mHooks.ScheduleDeferredWork(change))
        return;
    if (mOwnThread && mOwnThread->Started()) {
        mOwnChange = change;
        mOwnDone.store(false, std::memory_order_relaxed);
        mOwnBusy = true;
        mOwnThread->Wake();
        return;
    }
    int expected = kWithWorker;
    if (!mSpare.compare_exchange_strong(expected, kFree))
        return;  // answered inside the call, then refused: the answer stands
    if (mHooks.BeginSlicedChange(change)) {
        mSliced = change;
        mSpare.store(kSliced);
    } else if (mHooks.PrepareDeferredChange(change)) {
        // A plug-in that cannot slice pays for the change here, as if made
        // in place.
        Finish(change);
    }
}

void DeferredChanges::Advance(int frames) {
    if (!mEnabled)
        return;
    TakeOwnAnswer();
    StartWaiting();
    if (mSpare.load() == kSliced) {
        mReport.sliced = true;
        if (mHooks.ContinueSlicedChange(frames)) {
            mSpare.store(kFree);
            Finish(mSliced);
        }
    }
}

void DeferredChanges::WorkDone(const Change& change, bool prepared) {
    if (mSpare.load() != kWithWorker)
        return;
    mSpare.store(kFree);
    if (prepared)
        Finish(change);
    StartWaiting();
}
