// The plug-in as it is independently of any host interface: names, version,
// parameters, presets, the channel configuration and its pins, the plug-in
// mutex and the attached editor. It owns all of them. A host adapter derives
// from it and implements the host-facing operations; a concrete plug-in
// derives from the adapter and overrides reset, parameter change and
// processing.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/HostKind.h"
#include "framework/IEditor.h"
#include "framework/IOPair.h"
#include "framework/IParameter.h"
#include "framework/ITimeInfo.h"
#include "framework/InputPin.h"
#include "framework/MidiMessage.h"
#include "framework/OutputPin.h"
#include "framework/PlugMutex.h"
#include "framework/StateChunk.h"
#include "framework/SysExMessage.h"

// What a concrete plug-in tells the base about itself at construction.
struct IPlugConfig {
    int numParams = 0;
    const char* channelIO = "";
    int numPresets = 0;
    const char* effectName = "";
    const char* productName = "";
    const char* vendorName = "";
    int vendorVersion = 0;  // major << 16 | minor << 8 | patch
    int uniqueId = 0;
    int latency = 0;
    bool handlesMidi = false;
    bool savesChunks = true;
    bool isInstrument = false;
    int pluginApi = 0;  // 0: VST 2
};

class IPlugBase {
  public:
    using Mutex = PlugMutex;
    using Lock = std::lock_guard<Mutex>;

    static constexpr int kNameLength = 128;
    static constexpr int kChunkMagic = 0x70666674;
    static constexpr int kChunkVersion = 0x00010000;
    // The most samples a pin's scratch buffer holds, whatever block size the
    // host announces.
    static constexpr int kMaxScratchFrames = 65536;

    explicit IPlugBase(const IPlugConfig& config);
    virtual ~IPlugBase();
    IPlugBase(const IPlugBase&) = delete;
    IPlugBase& operator=(const IPlugBase&) = delete;

    // --- Operations a concrete plug-in overrides -------------------------
    // [any host thread] Called after sample rate or block size changes and
    // when processing stops. Takes the plug-in mutex.
    virtual void OnReset();
    // [any thread] After parameter `index` took a new value. Takes the mutex.
    virtual void OnParameterChanged(int index);
    // [audio thread, plug-in mutex held] One pointer per pin each way, each
    // valid for `frames` samples. The default copies inputs to outputs.
    virtual void ProcessBlock(double** inputs, double** outputs, int frames);
    // [audio thread, plug-in mutex held] Offered first for a call whose every
    // connected input is +0.0 throughout: true when the plug-in takes the
    // whole call without its buffers, every output being +0.0 (the caller
    // writes them); false to have it processed by ProcessBlock. For a
    // plug-in that knows when it has nothing left to sound. The default
    // declines.
    virtual bool ProcessSilence(int /*frames*/) { return false; }
    virtual void OnEditorOpened() {}
    virtual void OnEditorClosed() {}
    // [any host thread] Processing switched on or off. Takes the mutex.
    virtual void OnActivation(bool active);
    virtual void HandleMidiMessage(const MidiMessage& msg) { SendMidiMessage(msg); }
    virtual void HandleSysEx(const SysExMessage&) {}
    virtual bool MidiNoteLabel(int note, char* label);
    virtual bool SaveState(StateChunk& chunk) { return SerializeParams(chunk); }
    virtual int LoadState(const StateChunk& chunk, int pos) {
        return UnserializeParams(chunk, pos);
    }
    virtual void OnEditorResized() {}
    // [any host thread, mutex held] How many samples the output may go on
    // for once the input falls silent (a reverb's response length), for a
    // host that renders past the end of a region. The tail size given at
    // construction unless the plug-in knows better.
    virtual int TailSamples() { return GetTailSize(); }
    virtual void OnHostKnown() {}
    virtual void ShowParameterContextMenu(int, int, int) {}
    // [editor thread] A control moved parameter `index`. Takes the mutex,
    // sets the value, reports it to the host and calls OnParameterChanged.
    virtual void SetParameterFromEditor(int index, double normalised);
    // [any thread but the audio thread, mutex not held] Makes the costly
    // parameter changes this thread asked for while it held the mutex; every
    // entry point that can change a parameter calls it once it has let the
    // mutex go. Gives up, leaving them for the next caller, when `stop` is
    // set while it waits (an editor thread that its closing host thread,
    // holding the mutex, is about to join). Nothing to do by default.
    virtual void RunPendingChanges(const std::atomic<bool>* stop = nullptr) { (void)stop; }

    // --- Operations the host adapter implements --------------------------
    // [editor thread] Bracket a drag; no mutex taken.
    virtual void BeginParameterGesture(int index) = 0;
    virtual void ReportParameterToHost(int index, double normalised) = 0;
    virtual void EndParameterGesture(int index) = 0;
    virtual void ReportProgramChangeToHost() = 0;
    virtual bool IsOfflineRendering() { return false; }
    virtual int GetTransportSamplePosition() = 0;
    virtual double GetTransportTempo() = 0;
    virtual void GetTimeSignature(int* numerator, int* denominator) = 0;
    virtual void GetTransportInfo(ITimeInfo* info) = 0;
    virtual HostKind GetHostKind() { return static_cast<HostKind>(mHostKind); }
    virtual int GetPluginApi() { return mPluginApi; }
    virtual void EditorResized(int width, int height) = 0;
    virtual void IdentifyHostOnce() {}
    // Takes ownership of the editor and brings it up to date with the
    // parameters. [construction only]
    virtual void AttachEditor(std::unique_ptr<IEditor> editor);
    virtual void SetLatencySamples(int samples) { mLatency = samples; }
    virtual bool SendMidiMessage(const MidiMessage& msg) = 0;
    virtual bool SendSysExMessage(const SysExMessage&) { return false; }
    // Shows every parameter's value on the editor after a program or state
    // change. [any host thread, mutex held]
    virtual void RefreshEditorFromParameters();
    virtual void ModifyCurrentPreset(const char* name);
    virtual void OnProgramsChangedByHost() {}
    // [any host thread, never the audio thread] Sizes every pin's scratch
    // buffer to n samples (at most kMaxScratchFrames), zero-filled. Allocates.
    virtual void SetMaxBlockSize(int n);

    // --- Non-virtual operations ---------------------------------------------
    bool LegalIO(int inputs, int outputs) const;
    void SetInputConnections(int start, int count, bool connected);
    void SetOutputConnections(int start, int count, bool connected);
    // Binding of host buffers for one block. [audio thread, mutex held]
    void AttachInputs(int start, int count, double** host, int frames);
    void AttachInputs(int start, int count, float** host, int frames);
    void AttachOutputs(int start, int count, double** host);
    void AttachOutputs(int start, int count, float** host);
    void RunBlockFloat(int frames);
    void RunBlockFloatAccumulating(int frames);
    void LimitToStereo();
    void ResetAllParameters();
    int GetVersionDecimal() const;

    // Saved state: the parameters' real values, 8 bytes each. [any thread;
    // take the mutex]
    bool SerializeParams(StateChunk& chunk);
    int UnserializeParams(const StateChunk& chunk, int startPos);
    static void WriteChunkHeader(StateChunk& chunk);
    static int ReadChunkHeader(const StateChunk& chunk, int* pos);
    bool RestorePresetSlot(int index);
    const char* GetPresetName(int index) const;

    Mutex& GetMutex() { return mMutex; }
    int NParams() const { return static_cast<int>(mParams.size()); }
    IParameter* GetParam(int index) const;
    IEditor* GetEditor() const { return mEditor.get(); }
    double GetSampleRate() const { return mSampleRate; }
    void SetSampleRate(double rate) { mSampleRate = rate; }
    int GetBlockSize() const { return mBlockSize; }
    // Samples every scratch buffer holds: the longest piece one ProcessBlock
    // call may be given.
    int GetScratchFrames() const { return mScratchFrames; }
    int GetLatency() const { return mLatency; }
    int GetTailSize() const { return mTailSize; }
    int NInChannels() const { return static_cast<int>(mInputPins.size()); }
    int NOutChannels() const { return static_cast<int>(mOutputPins.size()); }
    const InputPin& GetInputPin(int i) const { return *mInputPins[i]; }
    const OutputPin& GetOutputPin(int i) const { return *mOutputPins[i]; }
    int GetHostVersion() const { return mHostVersion; }
    const char* GetEffectName() const { return mEffectName; }
    const char* GetProductName() const { return mProductName; }
    const char* GetVendorName() const { return mVendorName; }
    int GetUniqueID() const { return mUniqueId; }
    bool DoesStateChunks() const { return mSavesChunks; }
    bool IsInstrument() const { return mIsInstrument; }
    bool DoesMidi() const { return mHandlesMidi; }
    int GetCurrentPresetIndex() const { return mCurrentPreset; }
    int NPresets() const { return 0; }
    bool IsChunkRestored() const { return mChunkRestored; }
    void SetChunkRestored(bool restored) { mChunkRestored = restored; }

  protected:
    void SetHostIdentity(int kind, int packedVersion) {
        mHostKind = kind;
        mHostVersion = packedVersion;
    }
    int StoredHostKind() const { return mHostKind; }

    // The pointer arrays ProcessBlock receives, and the pins behind them,
    // for an adapter that binds host buffers itself.
    double** InputPtrs() { return mInPtrs.data(); }
    double** OutputPtrs() { return mOutPtrs.data(); }
    InputPin& InputPinAt(int i) { return *mInputPins[i]; }

  private:
    void PointDisconnectedPinsAtScratch();
    // Hands each connected output pin's block to its float destination
    // through store(destination sample, value).
    template <typename Store>
    void DeliverFloat(int frames, Store store);

    std::vector<IOPair> mIOPairs;
    Mutex mMutex;
    char mEffectName[kNameLength] = {};
    char mProductName[kNameLength] = {};
    char mVendorName[kNameLength] = {};
    int mUniqueId;
    int mVendorVersion;
    int mPluginApi;
    int mHostKind = kHostUnknownYet;
    int mHostVersion = 0;
    bool mSavesChunks;
    bool mIsInstrument;
    bool mHandlesMidi;
    int mCurrentPreset = 0;
    bool mChunkRestored = false;
    double mSampleRate = 44100.0;
    int mBlockSize = 0;
    int mScratchFrames = 0;
    int mLatency;
    int mTailSize = 0;
    std::unique_ptr<IEditor> mEditor;
    std::vector<std::unique_ptr<IParameter>> mParams;
    std::vector<double*> mInPtrs;
    std::vector<double*> mOutPtrs;
    std::vector<std::unique_ptr<InputPin>> mInputPins;
    std::vector<std::unique_ptr<OutputPin>> mOutputPins;
};
