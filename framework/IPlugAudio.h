// The audio path every plug-in format shares, between IPlugBase and a
// format's adapter: host buffers bound to the pins, calls longer than the
// scratch buffers processed in pieces, aliased inputs copied aside, and the
// guard every audio entry point runs its body in. Owns the piece pointers
// and the DeferredChanges that move a costly parameter change off the audio
// thread, whose hooks the plug-in and the adapter override. Called by the
// adapters, on the host's audio thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "framework/DeferredChanges.h"
#include "framework/DenormalsAreZero.h"
#include "framework/IPlugBase.h"

class IPlugAudio : public IPlugBase, public DeferredChanges::Hooks {
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
            IPlugAudio& audio = *plug;
            // The wait is timed only when there is one: an uncontended call
            // reads no clock.
            std::unique_lock<Mutex> lock(audio.GetMutex(), std::try_to_lock);
            const bool waited = !lock.owns_lock();
            const std::int64_t start = waited ? MonotonicNanos() : 0;
            if (waited)
                lock.lock();
            const std::int64_t wait = waited ? MonotonicNanos() - start : 0;
            const DepthScope inside(audio.mAudioDepth);
            body(*plug);
            audio.EndAudioCall(wait);
        } catch (...) {
        }
    }

    // One host call's audio, in pieces no longer than the scratch buffers.
    // One pointer per connected pin each way, in pin order. [audio thread,
    // plug-in mutex held]
    // True when the plug-in took the call as silence (ProcessSilence): every
    // output it writes is +0.0, for a format that can tell its host so.
    bool ProcessDouble(double** inputs, double** outputs, int frames);
    bool ProcessFloat(float** inputs, float** outputs, int frames, bool accumulate);

    // What neither format reports: no program changes of the plug-in's own,
    // no transport position or tempo (both formats' hosts keep those).
    // [any thread]
    void ReportProgramChangeToHost() override {}
    int GetTransportSamplePosition() override { return 0; }
    double GetTransportTempo() override { return 0.0; }

    // --- Costly parameter changes -----------------------------------------
    // A change that costs more than a small share of a short block (a new
    // reverb response) is prepared aside and swapped in between two process
    // calls, so the audio thread never waits on it: see DeferredChanges,
    // which this class owns and whose hooks the plug-in and the adapter
    // override. A change made on a thread that is not processing audio is
    // prepared on that thread once its outermost call has let the mutex go;
    // one made on the audio thread (inside a process call, or where the host
    // says the calling thread is its real-time one) on the host's worker
    // where the format has one, otherwise in slices of the following calls.
    using DeferredChange = DeferredChanges::Change;

    // [host thread, before processing; mutex not needed] Sets up the spare
    // state through EnableDeferredChanges (it may allocate). Until then, and
    // where the plug-in declines, every change is made in place. With
    // `ownThread` (formats whose host has no worker) changes made on the
    // audio thread are prepared on a thread of the plug-in's own, otherwise
    // in slices of the following process calls; a host's worker, where
    // ScheduleDeferredWork finds one, comes first either way.
    void StartDeferringChanges(bool ownThread = false);
    bool DefersChanges() const { return mChanges.Enabled(); }

    // [audio thread, mutex held] While set, changes made on the audio thread
    // are made at once, in place: the adapter's word that they set the
    // instance up rather than move it while it plays.
    void MakeChangesAtOnce(bool atOnce) { mChanges.MakeChangesAtOnce(atOnce); }

    // [any thread, mutex held] From OnParameterChanged: true when the change
    // of `index` (already in the parameter) will be made aside as above;
    // false when the plug-in is to make it in place now.
    bool DeferCostlyChange(int index) { return mChanges.Defer(index, OnAudioThread()); }
    void RunPendingChanges(const std::atomic<bool>* stop = nullptr) override;
    // [any host thread, mutex not held] Ends the plug-in's own preparation
    // thread and returns once no other thread is preparing a change: every
    // adapter calls it before the plug-in is destroyed.
    void WaitForPreparedChanges() {
        mChanges.Disable();
        mChanges.WaitForPreparing();
    }
    // [editor thread] Marks the calling thread as the editor's for the call:
    // its changes are never taken for the audio thread's.
    void SetParameterFromEditor(int index, double normalised) override;

    // [host thread, before processing] Allocates the spare state; false
    // when the plug-in has no costly parameter.
    virtual bool EnableDeferredChanges() { return false; }
    // [mutex held] True when the host says the calling thread is its
    // real-time audio thread. The adapter's.
    virtual bool HostSaysAudioThread() { return false; }

    // The adapter's worker glue: [worker thread, no mutex] runs the work,
    // and [audio thread, mutex held] hands back its result, whenever it comes.
    bool RunDeferredWork(const DeferredChange& change) { return mChanges.RunWork(change); }
    void DeferredWorkDone(const DeferredChange& change, bool prepared) {
        mChanges.WorkDone(change, prepared);
    }

    // What the last audio call did: how long it waited for the plug-in
    // mutex and what it did about costly changes. For a benchmark or a host
    // that asks why a call took long. [any thread, mutex held]
    struct AudioCallReport {
        std::int64_t mutexWaitNanos = 0;
        DeferredChanges::AudioCallReport changes;
    };
    AudioCallReport LastAudioCall() const { return mLastCall; }

  private:
    // Counts a call in for its lifetime.
    struct DepthScope {
        explicit DepthScope(int& depth) : mDepth(depth) { ++mDepth; }
        ~DepthScope() { --mDepth; }
        DepthScope(const DepthScope&) = delete;
        DepthScope& operator=(const DepthScope&) = delete;
        int& mDepth;
    };

    static std::int64_t MonotonicNanos();
    const IParameter* DeferrableParameter(int index) const override { return GetParam(index); }
    bool OnAudioThread();
    // [audio thread, mutex held] The outermost call's report published.
    void EndAudioCall(std::int64_t mutexWaitNanos);

    template <typename Sample, typename RunPiece>
    void ProcessInPieces(Sample** inputs, Sample** outputs, int frames,
                         std::vector<Sample*>& pieceIn, std::vector<Sample*>& pieceOut,
                         RunPiece runPiece);
    void CopyAliasedInputs(int frames);
    // A call of silence the plug-in takes through ProcessSilence: its
    // outputs zeroed (left as they are when accumulating); false when an
    // input sounds or the plug-in declines.
    template <typename Sample>
    bool TakeSilentCall(Sample** inputs, Sample** outputs, int frames, bool accumulate);
    int CountConnectedInputs() const;
    int CountConnectedOutputs() const;

    // Host pointers advanced to the current piece when a call carries more
    // frames than the scratch buffers hold. Sized at construction.
    std::vector<double*> mPieceIn, mPieceOut;
    std::vector<float*> mPieceInF, mPieceOutF;

    DeferredChanges mChanges{*this, GetMutex()};
    AudioCallReport mLastCall;  // [audio thread, mutex held]
    // Audio and editor calls in progress, under the mutex: whoever holds it
    // while mAudioDepth is above 0 is the audio thread inside a call. Kept
    // per instance, not per thread, so that nothing is set up on a thread's
    // first call.
    int mAudioDepth = 0;
    int mEditorDepth = 0;
};
