// The audio path every plug-in format shares, between IPlugBase and a
// format's adapter: host buffers bound to the pins, calls longer than the
// scratch buffers processed in pieces, aliased inputs copied aside, and the
// guard every audio entry point runs its body in. Owns the piece pointers.
// Also the hooks through which a plug-in moves a costly parameter change off
// a format's audio thread. Called by the adapters, on the host's audio thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "framework/DenormalsAreZero.h"
#include "framework/IPlugBase.h"

class IPlugAudio : public IPlugBase {
  public:
    explicit IPlugAudio(const IPlugConfig& config);

    // Runs body(*plug) with the plug-in mutex held and subnormals treated as
    // zero, and lets no exception out: the shape of every audio entry point.
    // A null plug-in does nothing. [audio thread]
    template <typename Plug, typename Body>
    static void GuardedAudioCall(Plug* plug, Body body) {
        if (!plug)
            return;
        try {
            const DenormalsAreZero flushed;
            const AudioCallScope inside;
            Lock lock(plug->GetMutex());
            body(*plug);
        } catch (...) {
        }
    }

    // One host call's audio, in pieces no longer than the scratch buffers.
    // One pointer per connected pin each way, in pin order. [audio thread,
    // plug-in mutex held]
    void ProcessDouble(double** inputs, double** outputs, int frames);
    void ProcessFloat(float** inputs, float** outputs, int frames, bool accumulate);

    // What neither format reports: no program changes of the plug-in's own,
    // no transport position or tempo (both formats' hosts keep those).
    // [any thread]
    void ReportProgramChangeToHost() override {}
    int GetTransportSamplePosition() override { return 0; }
    double GetTransportTempo() override { return 0.0; }

    // --- Costly parameter changes -----------------------------------------
    // A change that costs more than a small share of a short block (a new
    // reverb response) is prepared aside and swapped in between two process
    // calls, so the audio thread never waits on it:
    //  - made on a thread that is not processing audio (a host's GUI thread,
    //    the editor's window thread, a state restore): prepared on that thread
    //    once its outermost call has let the mutex go, then swapped in under
    //    the mutex before that call returns;
    //  - made on the audio thread (inside a process call, or where the host
    //    says the calling thread is its real-time one): recorded, and
    //    prepared on the host's worker where the format has one, otherwise in
    //    bounded slices inside the following process calls.
    // One spare set of the plug-in's costly state serves them in turn; the
    // latest value set is the one in effect once every call has returned.
    struct DeferredChange {
        int index = -1;
        double value = 0.0;         // in the parameter's own units
        std::uint64_t context = 0;  // what the plug-in noted under the mutex for the preparation
        std::uint64_t serial = 0;   // the order of changes: an older result is never put in place
        bool fromAudioThread = false;
    };

    // [host thread, before processing; mutex not needed] Sets up the spare
    // state through EnableDeferredChanges (it may allocate). Until then, and
    // where the plug-in declines, every change is made in place.
    void StartDeferringChanges();
    bool DefersChanges() const { return mDeferring; }

    // [audio thread, mutex held] While set, changes made on the audio thread
    // are made at once, in place: the adapter's word that they set the
    // instance up rather than move it while it plays.
    void MakeChangesAtOnce(bool atOnce) { mAtOnce = atOnce; }

    // [any thread, mutex held] From OnParameterChanged: true when the change
    // of `index` (already in the parameter) will be made aside as above;
    // false when the plug-in is to make it in place now.
    bool DeferCostlyChange(int index);
    void RunPendingChanges(const std::atomic<bool>* stop = nullptr) override;
    // [any host thread, mutex not held] Returns once no other thread is
    // preparing a change: before the plug-in is destroyed.
    void WaitForPreparedChanges() { std::lock_guard<std::mutex> wait(mPrepareMutex); }
    // [editor thread] Marks the calling thread as the editor's for the call:
    // its changes are never taken for the audio thread's.
    void SetParameterFromEditor(int index, double normalised) override;

    // What the plug-in provides. [host thread, before processing] Allocates
    // the spare state; false when the plug-in has no costly parameter.
    virtual bool EnableDeferredChanges() { return false; }
    // [mutex held] Notes in change.context what the preparation needs (the
    // audio thread's noise for a change made there); false refuses it.
    virtual bool DeferParameterChange(DeferredChange& /*change*/) { return false; }
    // [whoever holds the spare: the changing thread or the worker; no mutex]
    // Prepares the whole change into the spare state only.
    virtual bool PrepareDeferredChange(const DeferredChange& /*change*/) { return false; }
    // [audio thread, mutex held] Starts preparing the change into the spare
    // state in slices, allocating nothing; false when it cannot.
    virtual bool BeginSlicedChange(const DeferredChange& /*change*/) { return false; }
    // [audio thread, mutex held] The next slice, its size set by `frames`
    // alone so that a render does not depend on timing; true once complete.
    virtual bool ContinueSlicedChange(int /*frames*/) { return true; }
    // [mutex held, between two process calls] Puts the spare state in place,
    // in constant time, without allocating.
    virtual void CommitDeferredChange(const DeferredChange& /*change*/) {}
    // [the changing thread, mutex held] A change of `index` to `value` not
    // yet prepared is replaced by a newer one from a thread that is not
    // processing audio: the plug-in accounts for it as if it had been made
    // (a synthesis's noise drawn), so that the outcome is the same as two
    // changes made one after the other.
    virtual void SupersedeDeferredChange(int /*index*/, double /*value*/) {}
    // [mutex held] Makes the change of `index` in place: the fallback while
    // the host's worker holds the spare state.
    virtual void ApplyParameterInPlace(int /*index*/) {}

    // What an adapter provides. [mutex held] True when the host says the
    // calling thread is its real-time audio thread.
    virtual bool HostSaysAudioThread() { return false; }
    // [audio thread, mutex held] Hands the preparation to the host's worker;
    // false when the format has none or its queue is full.
    virtual bool ScheduleDeferredWork(const DeferredChange& /*change*/) { return false; }
    // The adapter's worker glue: [worker thread, no mutex] runs it, and
    // [audio thread, mutex held] hands back its result.
    bool RunDeferredWork(const DeferredChange& change);
    void DeferredWorkDone(const DeferredChange& change, bool prepared);

    // [audio thread] True while the calling thread is inside a process call
    // of any instance.
    static bool InsideAudioCall();

  private:
    // Marks the calling thread as inside a process call for its lifetime.
    struct AudioCallScope {
        AudioCallScope();
        ~AudioCallScope();
        AudioCallScope(const AudioCallScope&) = delete;
        AudioCallScope& operator=(const AudioCallScope&) = delete;
    };
    // Who holds the spare state.
    enum Spare : int { kSpareFree, kSpareWithThread, kSpareWithWorker, kSpareSliced };

    bool OnAudioThread();
    // [audio thread, mutex held] Starts the waiting audio-thread change when
    // the spare is free, and runs this call's slice.
    void AdvanceDeferredChanges(int frames);
    void StartWaitingChange();
    // [mutex held] Puts a prepared change in place unless a newer one is.
    void Finish(const DeferredChange& change);

    template <typename Sample, typename RunPiece>
    void ProcessInPieces(Sample** inputs, Sample** outputs, int frames,
                         std::vector<Sample*>& pieceIn, std::vector<Sample*>& pieceOut,
                         RunPiece runPiece);
    void CopyAliasedInputs(int frames);
    int CountConnectedInputs() const;
    int CountConnectedOutputs() const;

    // Host pointers advanced to the current piece when a call carries more
    // frames than the scratch buffers hold. Sized at construction.
    std::vector<double*> mPieceIn, mPieceOut;
    std::vector<float*> mPieceInF, mPieceOutF;

    bool mDeferring = false;
    bool mAtOnce = false;
    // Parameters changed by threads that are not processing audio, one bit
    // each, made by RunPendingChanges. Atomic: an editor thread told to stop
    // hands its change back without the mutex.
    std::atomic<std::uint32_t> mPendingMask{0};
    std::atomic<int> mSpare{kSpareFree};
    double mRequested[32] = {};  // the value each pending bit was set for
    // The rest under the plug-in mutex.
    std::uint64_t mSerial = 0;   // of the latest change recorded
    std::uint64_t mApplied = 0;  // of the change now in effect
    bool mHasWaiting = false;    // an audio-thread change the spare was busy for
    DeferredChange mWaiting;
    DeferredChange mSliced;  // the change being prepared in slices
    // Serialises the threads that prepare into the spare state.
    std::mutex mPrepareMutex;
};
