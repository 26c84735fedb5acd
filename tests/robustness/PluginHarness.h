// A minimal host around one statically linked plug-in instance: a host
// callback that counts the plug-in's calls into the host and answers as the
// host library's plain host does, the plug-in's entry point, dispatcher
// shorthands, state chunks as byte vectors, and stereo buffers in both
// precisions. Shared by the robustness tests; each object is used by one
// thread, the callback by any.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "tests/support/StereoBuffers.h"
#include "tools/host/VstHost.h"
#include "vst2/IPlugVST.h"
#include "vst2/PluginFactory.h"
#include "vst2/VstAbi.h"

namespace robustness {

inline std::atomic<long>& HostCallbackCount() {
    static std::atomic<long> count{0};
    return count;
}

// The thread the host calls its real-time audio thread: asked for the
// process level, the host answers "real-time" on it and "user" on every other
// thread, as a DAW does; a plain host's 0 until a test names one.
inline std::atomic<std::thread::id>& RealtimeThread() {
    static std::atomic<std::thread::id> id{};
    return id;
}

inline VstIntPtr VSTCALLBACK HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*,
                                          float) {
    HostCallbackCount().fetch_add(1, std::memory_order_relaxed);
    if (opcode == audioMasterGetCurrentProcessLevel) {
        const std::thread::id realtime = RealtimeThread().load();
        if (realtime != std::thread::id())
            return realtime == std::this_thread::get_id() ? kVstProcessLevelRealtime
                                                          : kVstProcessLevelUser;
    }
    return VstHost::PlainAnswer(opcode);
}

// The linked plug-in's entry point, for a VstHost that records its calls.
inline AEffect* LinkedEntry(audioMasterCallback host) {
    IPlugVST* plug = CreatePluginInstance(host);
    if (!plug)
        return nullptr;
    plug->StartDeferringChanges();
    return plug->GetAEffect();
}

// A small, fast generator for test signals and random choices.
class Random {
  public:
    explicit Random(std::uint64_t seed) : mState(seed * 2654435761u + 1) {}
    std::uint32_t Next() {
        mState ^= mState << 13;
        mState ^= mState >> 7;
        mState ^= mState << 17;
        return static_cast<std::uint32_t>(mState >> 16);
    }
    // Uniform in [lo, hi].
    int Between(int lo, int hi) {
        return lo + static_cast<int>(Next() % static_cast<std::uint32_t>(hi - lo + 1));
    }
    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() & 0xFFFFFFu) / 16777216.0; }

  private:
    std::uint64_t mState;
};

class Instance {
  public:
    // As the module's entry point builds it; `deferring` false keeps every
    // costly change in place, as before changes were prepared aside.
    explicit Instance(audioMasterCallback host = &HostCallback, bool deferring = true)
        : mPlug(CreatePluginInstance(host)) {
        mEffect = mPlug ? mPlug->GetAEffect() : nullptr;
        if (mPlug && deferring)
            mPlug->StartDeferringChanges();
    }
    ~Instance() { Close(); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    IPlugVST* Plug() const { return mPlug; }
    AEffect* Effect() const { return mEffect; }

    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
    }
    void Close() {
        if (mEffect)
            mEffect->dispatcher(mEffect, effClose, 0, 0, nullptr, 0.0f);
        mEffect = nullptr;
        mPlug = nullptr;
    }
    // What a host does before playing: open, rate, block size, resume.
    void Start(float rate, int blockSize) {
        Dispatch(effOpen);
        Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        Dispatch(effSetBlockSize, 0, blockSize);
        Dispatch(effMainsChanged, 0, 1);
    }
    // Connects one or two channels each way, as hosts announce mono or stereo.
    void Arrange(int inputs, int outputs) {
        VstSpeakerArrangement in{}, out{};
        in.numChannels = inputs;
        in.type = inputs == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
        out.numChannels = outputs;
        out.type = outputs == 1 ? kSpeakerArrMono : kSpeakerArrStereo;
        Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
    }
    std::vector<unsigned char> SaveChunk() {
        void* data = nullptr;
        const VstIntPtr size = Dispatch(effGetChunk, 0, 0, &data);
        if (size <= 0 || !data)
            return {};
        const auto* bytes = static_cast<const unsigned char*>(data);
        return std::vector<unsigned char>(bytes, bytes + size);
    }
    VstIntPtr RestoreChunk(std::vector<unsigned char> bytes) {
        return Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
    }

  private:
    IPlugVST* mPlug;
    AEffect* mEffect;
};

using ::StereoBuffers;

}  // namespace robustness
