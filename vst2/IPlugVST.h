// The VST 2 host adapter: owns the AEffect record handed to the host, the
// host callback, the speaker arrangements and the state chunk, and turns the
// record's callbacks and dispatcher opcodes into IPlugBase operations under
// the plug-in mutex. A concrete plug-in derives from it.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/IPlugAudio.h"
#include "vst2/VstAbi.h"

class IPlugVST : public IPlugAudio {
  public:
    IPlugVST(audioMasterCallback host, const IPlugConfig& config);
    ~IPlugVST() override;

    AEffect* GetAEffect() { return &mAEffect; }
    static IPlugVST* FromAEffect(AEffect* effect) {
        return effect ? static_cast<IPlugVST*>(effect->object) : nullptr;
    }

    // Host-facing operations, through the host callback.
    // [editor thread] Gestures; no mutex taken.
    void BeginParameterGesture(int index) override;
    void EndParameterGesture(int index) override;
    // [editor thread, mutex held] The new normalised value, for automation.
    void ReportParameterToHost(int index, double normalised) override;
    void GetTimeSignature(int* numerator, int* denominator) override;
    void GetTransportInfo(ITimeInfo* info) override;
    // [any host thread] Asks the host for its product and version once.
    HostKind GetHostKind() override;
    void EditorResized(int width, int height) override;
    // [dispatcher, mutex held] Host-specific set-up on the first effOpen.
    void IdentifyHostOnce() override;
    void AttachEditor(std::unique_ptr<IEditor> editor) override;
    void SetLatencySamples(int samples) override;
    // [dispatcher thread, mutex held] MIDI handed back to the host.
    bool SendMidiMessage(const MidiMessage& msg) override;

    // [any host thread, mutex held] Asks the host whether the calling thread
    // is its real-time audio thread (automation applied there).
    bool HostSaysAudioThread() override;

    std::uint32_t GetHostExtensionBits() const { return mHostExtensionBits; }

    // The record's callbacks. Each finds the plug-in through the record,
    // holds the plug-in mutex for its whole duration and lets no exception
    // reach the host. The dispatcher and setParameter then make any costly
    // change they caused, the mutex free, before they return.
    // [any host thread; effClose releases the mutex before destroying]
    static VstIntPtr VSTCALLBACK VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                               VstIntPtr value, void* ptr, float opt);
    // [audio thread]
    static void VSTCALLBACK VSTProcess(AEffect* effect, float** inputs, float** outputs,
                                       VstInt32 frames);
    // [audio thread]
    static void VSTCALLBACK VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                                VstInt32 frames);
    // [audio thread]
    static void VSTCALLBACK VSTProcessDoubleReplacing(AEffect* effect, double** inputs,
                                                      double** outputs, VstInt32 frames);
    // [any host thread]
    static void VSTCALLBACK VSTSetParameter(AEffect* effect, VstInt32 index, float value);
    // [any host thread]
    static float VSTCALLBACK VSTGetParameter(AEffect* effect, VstInt32 index);

  private:
    // The dispatcher, by opcode group. [any host thread, mutex held]
    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    VstIntPtr DispatchLifeCycle(VstInt32 opcode, VstIntPtr value, float opt);
    VstIntPtr DispatchProgramsAndState(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr);
    VstIntPtr DispatchParameter(VstInt32 opcode, VstInt32 index, char* text);
    VstIntPtr DispatchEditor(VstInt32 opcode, void* ptr);
    VstIntPtr DispatchInputsAndOutputs(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr);
    // Names, versions, capabilities and what else a host asks of the plug-in.
    VstIntPtr DispatchIdentity(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt);
    // Copies `reply` into the host's text buffer: 1, or 0 without a buffer.
    static VstIntPtr ReplyText(char* text, const char* reply);
    VstIntPtr CanDo(const char* text);
    VstIntPtr VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt);
    VstIntPtr GetChunk(void** data);
    VstIntPtr SetChunk(const void* data, VstIntPtr size);
    VstIntPtr PinProperties(bool input, VstInt32 index, VstPinProperties* props);
    void ProcessEvents(const VstEvents* events);

    VstIntPtr CallHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    static void InitArrangement(VstSpeakerArrangement& arr, int channels);

    ERect mEditRect{};
    audioMasterCallback mHost;
    VstSpeakerArrangement mInputArrangement{};
    VstSpeakerArrangement mOutputArrangement{};
    bool mHostSetupDone = false;
    std::uint32_t mHostExtensionBits = 0;
    StateChunk mState;
    AEffect mAEffect{};
};
