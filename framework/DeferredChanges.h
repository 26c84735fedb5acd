// Moves a plug-in's costly parameter changes (a new reverb response, some
// milliseconds of work) off the audio thread: it decides where each change is
// prepared, hands the one spare set of the plug-in's costly state to that
// place and puts the result in place between two process calls. Owned by
// IPlugAudio; entered by every thread that changes a parameter, by the audio
// thread before each process call and by a format's worker glue.
//
// Who holds the spare state, and who moves it (every move under the plug-in
// mutex, except where said):
//
//                  another thread's change, its outermost call
//              +------------------------------------------------+
//              |   (RunPending; the waiting or sliced audio     |
//              |    change is superseded by it)                 v
//   +---------------+                                   +----------------+
//   |    kSliced    |<----+                             |  kWithThread   |
//   +---------------+     |                             +----------------+
//        |  last slice    | audio thread, no worker      | prepared without the mutex,
//        |  (Advance):    | (StartWaiting)               | then put in place (Finish)
//        v  Finish        |                              v
//   +--------------------------------------------------------------------+
//   |                               kFree                                |
//   +--------------------------------------------------------------------+
//        | audio thread, a worker: the host's, or the    ^
//        | plug-in's own thread where the host has none  | the worker's answer, whenever it
//        | (marked first, then handed over: StartWaiting)| comes: inside the hand-over
//        v                                               | itself, later in the same call or
//   +----------------+                                   | many calls on (WorkDone; the own
//   |  kWithWorker   |-----------------------------------+ thread's seen by Advance): Finish,
//   +----------------+                                     then the next waiting change starts
//
// The slices are what is left when there is no worker of either kind (the
// system gave no thread, or the adapter asked for none); they are the only
// way whose timing is fixed by the calls' lengths alone. A change from
// another thread while a worker holds the spare: the host's worker may
// answer whenever it likes, so the change is made in place; the plug-in's
// own thread is a millisecond or two from done, so it is waited for with the
// mutex free.
//
// Besides the spare: the latest audio-thread change still waiting for it
// (only the latest waits), and a bit per parameter changed by another thread
// whose outermost call has yet to prepare it. Every change gets a serial
// number; a result older than the change in effect is never put in place,
// so the latest value set is the one heard once every call has returned.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "framework/PlugMutex.h"
#include "framework/PreparationThread.h"

class IParameter;

class DeferredChanges {
  public:
    struct Change {
        int index = -1;
        double value = 0.0;         // in the parameter's own units
        std::uint64_t context = 0;  // what the plug-in noted under the mutex for the preparation
        std::uint64_t serial = 0;   // the order of changes: an older result is never put in place
        bool fromAudioThread = false;
    };

    // What the plug-in and its format adapter provide. The plug-in's hooks
    // touch only its costly state; none takes the plug-in mutex itself.
    class Hooks {
      public:
        // [mutex held] The parameter `index` as it stands now; null when
        // there is none.
        virtual const IParameter* DeferrableParameter(int index) const = 0;
        // [mutex held] Notes in change.context what the preparation needs (the
        // audio thread's noise for a change made there); false refuses it.
        virtual bool DeferParameterChange(Change& /*change*/) { return false; }
        // [whoever holds the spare: the changing thread or the worker; no mutex]
        // Prepares the whole change into the spare state only.
        virtual bool PrepareDeferredChange(const Change& /*change*/) { return false; }
        // [audio thread, mutex held] Starts preparing the change into the spare
        // state in slices, allocating nothing; false when it cannot.
        virtual bool BeginSlicedChange(const Change& /*change*/) { return false; }
        // [audio thread, mutex held] The next slice, its size set by `frames`
        // alone so that a render does not depend on timing; true once complete.
        virtual bool ContinueSlicedChange(int /*frames*/) { return true; }
        // [mutex held, between two process calls] Puts the spare state in
        // place, in constant time, without allocating.
        virtual void CommitDeferredChange(const Change& /*change*/) {}
        // [the changing thread, mutex held] A change of `index` to `value` not
        // yet prepared is replaced by a newer one from a thread that is not
        // processing audio: the plug-in accounts for it as if it had been made
        // (a synthesis's noise drawn), so that the outcome is the same as two
        // changes made one after the other.
        virtual void SupersedeDeferredChange(int /*index*/, double /*value*/) {}
        // [mutex held] Makes the change of `index` in place: the fallback
        // while the host's worker holds the spare state.
        virtual void ApplyParameterInPlace(int /*index*/) {}
        // The adapter's: [audio thread, mutex held] hands the preparation to
        // the host's worker; false when the format has none or its queue is
        // full. The host may run the work, and answer, before this returns.
        virtual bool ScheduleDeferredWork(const Change& /*change*/) { return false; }

      protected:
        ~Hooks() = default;
    };

    // Who holds the spare state (see the drawing above).
    enum Spare : int { kFree, kWithThread, kWithWorker, kSliced };

    // What the audio thread's last call did about changes, for a host or a
    // benchmark that asks why a call took long.
    struct AudioCallReport {
        bool sliced = false;   // ran a slice of a preparation
        bool swapped = false;  // put a prepared change in place
        bool started = false;  // handed a change to the worker or began slices
    };

    DeferredChanges(Hooks& hooks, PlugMutex& mutex);
    ~DeferredChanges();
    DeferredChanges(const DeferredChanges&) = delete;
    DeferredChanges& operator=(const DeferredChanges&) = delete;

    // [host thread, before processing, mutex held] From now on costly
    // changes are made aside; until then every one is made in place. With
    // `ownThread`, changes made on the audio thread that the host's worker
    // does not take are prepared on a thread of the plug-in's own;
    // otherwise in slices.
    void Enable(bool ownThread);
    // [host thread, mutex not held] Ends the own thread, letting a
    // preparation in progress finish: before the plug-in's hooks go.
    void Disable();
    bool Enabled() const { return mEnabled; }

    // [audio thread, mutex held] While set, changes made on the audio thread
    // are made at once, in place: the adapter's word that they set the
    // instance up rather than move it while it plays.
    void MakeChangesAtOnce(bool atOnce) { mAtOnce = atOnce; }

    // [any thread, mutex held] The parameter `index` has its new value:
    // true when the change will be made aside; false when the plug-in is to
    // make it in place now. `onAudioThread` is the caller's word for where
    // it is.
    bool Defer(int index, bool onAudioThread);

    // [any thread but the audio thread, mutex not held] Prepares and puts in
    // place the changes this thread asked for, the mutex free while it
    // prepares. Gives up, leaving them for the next caller, when `stop` is
    // set while it waits for a lock.
    void RunPending(const std::atomic<bool>* stop);
    // [any host thread, mutex not held] Returns once no other thread is
    // preparing a change.
    void WaitForPreparing() { std::lock_guard<std::mutex> wait(mPrepareMutex); }

    // [audio thread, mutex held] Before each process call of `frames`:
    // starts the waiting change when the spare is free, runs this call's
    // slice, puts a completed one in place.
    void Advance(int frames);

    // The adapter's worker glue: [worker thread, no mutex] runs the work;
    // [audio thread, mutex held] takes its answer, whenever it comes.
    bool RunWork(const Change& change) { return mHooks.PrepareDeferredChange(change); }
    void WorkDone(const Change& change, bool prepared);

    Spare SpareHolder() const { return static_cast<Spare>(mSpare.load()); }
    // [audio thread, mutex held] What the current call has done so far;
    // cleared at the start of each call by the caller.
    AudioCallReport& Report() { return mReport; }

  private:
    // [audio thread, mutex held] Hands the waiting change to the worker or
    // to slices when the spare is free.
    void StartWaiting();
    // [mutex held] Puts a prepared change in place unless a newer one is.
    void Finish(const Change& change);
    // [mutex held] The change of `index` made in place by the plug-in.
    void MadeInPlace(int index);
    // [own thread, no mutex] Prepares the change handed over.
    static void RunOwnWork(void* self);
    // [mutex held] Takes the own thread's answer once it is there.
    void TakeOwnAnswer();

    Hooks& mHooks;
    PlugMutex& mMutex;
    bool mEnabled = false;
    bool mAtOnce = false;
    // Parameters changed by threads that are not processing audio, one bit
    // each, prepared by RunPending. Atomic: an editor thread told to stop
    // hands its change back without the mutex.
    std::atomic<std::uint32_t> mPendingMask{0};
    std::atomic<int> mSpare{kFree};
    double mRequested[32] = {};  // the value each pending bit was set for
    // The rest under the plug-in mutex.
    std::uint64_t mSerial = 0;   // of the latest change recorded
    std::uint64_t mApplied = 0;  // of the change now in effect
    bool mHasWaiting = false;    // an audio-thread change the spare was busy for
    Change mWaiting;
    Change mSliced;  // the change being prepared in slices
    AudioCallReport mReport;
    // Serialises the threads that prepare into the spare state.
    std::mutex mPrepareMutex;
    // The plug-in's own worker, where it has one. The audio thread writes
    // the change before waking it and reads the result once mOwnDone says
    // so; the thread touches neither otherwise.
    std::unique_ptr<PreparationThread> mOwnThread;
    Change mOwnChange;
    bool mOwnPrepared = false;
    bool mOwnBusy = false;  // [audio thread, mutex held]
    std::atomic<bool> mOwnDone{false};
};
