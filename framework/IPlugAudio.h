// The audio path every plug-in format shares, between IPlugBase and a
// format's adapter: host buffers bound to the pins, calls longer than the
// scratch buffers processed in pieces, aliased inputs copied aside, and the
// guard every audio entry point runs its body in. Owns the piece pointers.
// Also the hooks through which a plug-in moves a costly parameter change off
// a format's audio thread. Called by the adapters, on the host's audio thread.
#pragma once

#include <cstdint>
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

    // A parameter change that a format delivers on its audio thread (LV2
    // control ports) and that costs too much to make there. A plug-in with
    // such parameters overrides the three hooks; the rest never see them.
    struct DeferredChange {
        int index = -1;
        double value = 0.0;         // in the parameter's own units
        std::uint64_t context = 0;  // what the audio thread hands the preparation
    };
    // [any host thread, before processing] Sets up what preparing changes
    // aside needs (it may allocate); false when the plug-in has no use for it.
    virtual bool EnableDeferredChanges() { return false; }
    // [audio thread, mutex held] True when the change of change.index to
    // change.value is to be prepared off the audio thread; fills context.
    virtual bool DeferParameterChange(DeferredChange& /*change*/) { return false; }
    // [the host's worker thread, no mutex] Prepares the change aside, touching
    // nothing the audio thread reads. False when nothing was prepared.
    virtual bool PrepareDeferredChange(const DeferredChange& /*change*/) { return false; }
    // [audio thread, mutex held, between two runs] Puts what was prepared in
    // place, without allocating or waiting.
    virtual void CommitDeferredChange(const DeferredChange& /*change*/) {}

  private:
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
};
