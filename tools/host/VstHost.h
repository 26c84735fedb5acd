// A small VST 2 host for tests and command-line tools: instantiates a plug-in
// from a loaded module, answers the plug-in's calls into the host as a host
// would (product name, version, MIDI) and records every one of them. Owns
// the instance and closes it on destruction. Safe to call from several
// threads as far as the recording goes; the plug-in does its own locking.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
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

    // Calls the module's entry point; Effect() is null when it refused.
    explicit VstHost(const PluginModule& module, Identity identity = HostIdentity(),
                     PluginModule::EntryPoint entry = nullptr);
    ~VstHost();
    VstHost(const VstHost&) = delete;
    VstHost& operator=(const VstHost&) = delete;

    AEffect* Effect() const { return mEffect; }
    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // effClose; the instance is gone afterwards.
    void Close();
    // Forget the instance without closing it, as a scanner that unloads the
    // library does (or a host handed something that is not a plug-in).
    void Abandon();

    std::vector<HostCall> Calls() const;
    std::vector<HostMidi> MidiReceived() const;
    int CountCalls(VstInt32 opcode) const;
    void ClearCalls();

    // The host callback every instance made by this class is given.
    static VstIntPtr VSTCALLBACK Callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);

  private:
    VstIntPtr Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    Identity mIdentity;
    AEffect* mEffect = nullptr;
    mutable std::mutex mLock;
    std::vector<HostCall> mCalls;
    std::vector<HostMidi> mMidi;
};
