// The VST 2 host shared by the command-line tools, the tests and the
// fuzzers: instantiates a plug-in through an entry point (a loaded module's,
// or plug-in code linked in), answers the plug-in's calls into the host as a
// host would (product name, version, MIDI), records every one of them and
// lets a test react to one on the thread that makes it. Owns the instance
// and closes it on destruction. Safe to call from several threads as far as
// the recording goes; the plug-in does its own locking.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/host/PluginModule.h"

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    bool hasPointer;
    float opt;
};

struct HostMidi {
    VstInt32 deltaFrames;
    unsigned char bytes[4];
};

// What the host says of itself when the plug-in asks.
struct HostIdentity {
    std::string product = "Brightfall Test Host";
    VstIntPtr vendorVersion = 10203;
};

class VstHost {
  public:
    using Identity = HostIdentity;
    using Call = HostCall;

    // Calls the module's entry point (or `entry`, another of its exports);
    // Effect() is null when it refused.
    explicit VstHost(const PluginModule& module, Identity identity = HostIdentity(),
                     PluginModule::EntryPoint entry = nullptr);
    // Calls `entry`, for plug-in code linked into the program itself.
    explicit VstHost(PluginModule::EntryPoint entry, Identity identity = HostIdentity());
    ~VstHost();
    VstHost(const VstHost&) = delete;
    VstHost& operator=(const VstHost&) = delete;

    AEffect* Effect() const { return mEffect; }
    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void SetParameter(int index, float value);
    float GetParameter(int index);
    // effClose; the instance is gone afterwards.
    void Close();
    // Forget the instance without closing it, as a scanner that unloads the
    // library does (or a host handed something that is not a plug-in).
    void Abandon();

    std::vector<HostCall> Calls() const;
    // The calls with one of these opcodes, in order.
    std::vector<HostCall> CallsOf(std::initializer_list<VstInt32> opcodes) const;
    std::vector<HostMidi> MidiReceived() const;
    int CountCalls(VstInt32 opcode) const;
    void ClearCalls();
    // Runs after a call is recorded, on the calling thread, with no lock of
    // the host's held. [any thread]
    void SetReaction(std::function<void(const HostCall&)> reaction);

    // How the host answers the plug-in's question "at which process level
    // is this thread": not at all (0) until an audio thread is named; then
    // real-time on that thread and user level on every other, as a DAW
    // answers. [any thread]
    void SetAudioThread(std::thread::id audioThread);
    // Whether calls are recorded (they are by default). A host that measures
    // real time or counts allocations leaves them unrecorded, so that its
    // answers on the audio thread take no lock and allocate nothing.
    // [before the instance is driven]
    void SetRecording(bool on) { mRecording = on; }

    // What a plain host answers any call with: its VST version, nothing
    // else. For the fallback below and for harnesses that count calls
    // without recording them.
    static VstIntPtr PlainAnswer(VstInt32 opcode) {
        return opcode == audioMasterVersion ? kVersion : 0;
    }
    static VstIntPtr VSTCALLBACK PlainCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                               VstIntPtr value, void* ptr, float opt);

    // The host callback every instance made by this class is given.
    static VstIntPtr VSTCALLBACK Callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);

  private:
    // The VST version this host implements.
    static constexpr VstIntPtr kVersion = 2400;

    void Register(PluginModule::EntryPoint entry);
    VstIntPtr Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    // Records the call, answers it and runs the reaction.
    VstIntPtr Record(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    // The answer itself, with mLock held.
    VstIntPtr AnswerLocked(VstInt32 opcode, void* ptr);

    Identity mIdentity;
    AEffect* mEffect = nullptr;
    mutable std::mutex mLock;
    std::vector<HostCall> mCalls;
    std::vector<HostMidi> mMidi;
    std::function<void(const HostCall&)> mReaction;
    bool mRecording = true;
    std::atomic<std::thread::id> mAudioThread{};
};
