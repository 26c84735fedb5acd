// A host for the editor tests: builds one plug-in instance through an entry
// point (the built module's, or the plug-in code linked into the test), opens
// it as a host does, records every call the plug-in makes into the host and
// lets a test react to one on the thread that makes it.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "vst2/VstAbi.h"

class RecordingHost {
  public:
    using Entry = AEffect* (*)(audioMasterCallback);
    struct Call {
        VstInt32 opcode;
        VstInt32 index;
        float opt;
    };

    // Instantiates and sends effOpen; Effect() is null when the entry refused.
    explicit RecordingHost(Entry entry);
    // effClose when still open.
    ~RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    AEffect* Effect() const { return mEffect; }
    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void SetParameter(int index, float value);
    float GetParameter(int index);
    // effClose: the instance is gone afterwards.
    void Close();

    std::vector<Call> Calls() const;
    // The calls with one of these opcodes, in order.
    std::vector<Call> CallsOf(std::initializer_list<VstInt32> opcodes) const;
    int Count(VstInt32 opcode) const;
    void ClearCalls();
    // Runs after a call is recorded, on the calling thread, with no lock of
    // the host's held. [any thread]
    void SetReaction(std::function<void(const Call&)> reaction);

  private:
    static VstIntPtr VSTCALLBACK Callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);
    VstIntPtr Answer(const Call& call);

    AEffect* mEffect = nullptr;
    mutable std::mutex mLock;
    std::vector<Call> mCalls;
    std::function<void(const Call&)> mReaction;
};
