#include "tools/host/VstHost.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// The host callback carries no user pointer: instances are found by their
// record. A plug-in that calls back while its entry point is still running
// has no registered record yet; those calls go to the host being built on
// this thread.
std::mutex gRegistryLock;
std::map<AEffect*, VstHost*>& Registry() {
    static std::map<AEffect*, VstHost*> registry;
    return registry;
}
thread_local VstHost* tConstructing = nullptr;

}  // namespace

VstHost::VstHost(const PluginModule& module, Identity identity, PluginModule::EntryPoint entry)
    : mIdentity(std::move(identity)) {
    Register(entry ? entry : module.Entry());
}

VstHost::VstHost(PluginModule::EntryPoint entry, Identity identity)
    : mIdentity(std::move(identity)) {
    Register(entry);
}

void VstHost::Register(PluginModule::EntryPoint entry) {
    tConstructing = this;
    mEffect = entry ? entry(&VstHost::Callback) : nullptr;
    tConstructing = nullptr;
    if (mEffect) {
        std::lock_guard<std::mutex> lock(gRegistryLock);
        Registry()[mEffect] = this;
    }
}

VstHost::~VstHost() {
    Close();
}

void VstHost::SetParameter(int index, float value) {
    if (mEffect)
        mEffect->setParameter(mEffect, index, value);
}

float VstHost::GetParameter(int index) {
    return mEffect ? mEffect->getParameter(mEffect, index) : 0.0f;
}

void VstHost::Close() {
    if (!mEffect)
        return;
    AEffect* effect = mEffect;
    mEffect = nullptr;
    // Still registered while closing: an editor closed by effClose reports
    // the end of a gesture in progress.
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    std::lock_guard<std::mutex> lock(gRegistryLock);
    Registry().erase(effect);
}

void VstHost::Abandon() {
    if (!mEffect)
        return;
    // The record may be gone at any moment: its callbacks must no longer
    // find this host.
    std::lock_guard<std::mutex> lock(gRegistryLock);
    Registry().erase(mEffect);
    mEffect = nullptr;
}

VstIntPtr VstHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                            float opt) {
    if (opcode == effClose) {
        Close();
        return 0;
    }
    return mEffect ? mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt) : 0;
}

VstIntPtr VSTCALLBACK VstHost::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                        VstIntPtr value, void* ptr, float opt) {
    VstHost* host = nullptr;
    {
        std::lock_guard<std::mutex> lock(gRegistryLock);
        auto it = Registry().find(effect);
        if (it != Registry().end())
            host = it->second;
    }
    if (!host)
        host = tConstructing;
    if (!host)
        return PlainAnswer(opcode);
    return host->Answer(opcode, index, value, ptr, opt);
}

VstIntPtr VSTCALLBACK VstHost::PlainCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*,
                                             float) {
    return PlainAnswer(opcode);
}

void VstHost::SetAudioThread(std::thread::id audioThread) {
    mAudioThread.store(audioThread);
}

VstIntPtr VstHost::Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (opcode == audioMasterGetCurrentProcessLevel && mAudioThread.load() != std::thread::id()) {
        // Asked on every parameter change: answered without the record's
        // lock when the host records nothing.
        const VstIntPtr level = std::this_thread::get_id() == mAudioThread.load()
                                    ? kVstProcessLevelRealtime
                                    : kVstProcessLevelUser;
        if (!mRecording)
            return level;
        Record(opcode, index, value, ptr, opt);
        return level;
    }
    if (!mRecording) {
        std::lock_guard<std::mutex> lock(mLock);
        return AnswerLocked(opcode, ptr);
    }
    return Record(opcode, index, value, ptr, opt);
}

VstIntPtr VstHost::Record(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    const HostCall call{opcode, index, value, ptr != nullptr, opt};
    std::function<void(const HostCall&)> reaction;
    VstIntPtr answer = 0;
    {
        std::lock_guard<std::mutex> lock(mLock);
        mCalls.push_back(call);
        reaction = mReaction;
        answer = AnswerLocked(opcode, ptr);
    }
    if (reaction)
        reaction(call);
    return answer;
}

VstIntPtr VstHost::AnswerLocked(VstInt32 opcode, void* ptr) {
    switch (opcode) {
        case audioMasterGetProductString:
            if (ptr) {
                const std::size_t n = std::min<std::size_t>(mIdentity.product.size(), 63);
                std::memcpy(ptr, mIdentity.product.data(), n);
                static_cast<char*>(ptr)[n] = '\0';
                return 1;
            }
            return 0;
        case audioMasterGetVendorVersion:
            return mIdentity.vendorVersion;
        case audioMasterProcessEvents: {
            const auto* events = static_cast<const VstEvents*>(ptr);
            if (!events)
                return 0;
            // The declared array has two entries; a real list is longer.
            VstEvent* const* list = events->events;
            for (VstInt32 i = 0; i < events->numEvents; ++i) {
                const VstEvent* ev = list[i];
                if (!ev || ev->type != kVstMidiType)
                    continue;
                const auto* midi = reinterpret_cast<const VstMidiEvent*>(ev);
                HostMidi m{};
                m.deltaFrames = midi->deltaFrames;
                std::memcpy(m.bytes, midi->midiData, 4);
                mMidi.push_back(m);
            }
            return 1;
        }
        default:
            return PlainAnswer(opcode);
    }
}

std::vector<HostCall> VstHost::Calls() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mCalls;
}

std::vector<HostCall> VstHost::CallsOf(std::initializer_list<VstInt32> opcodes) const {
    std::vector<HostCall> out;
    for (const HostCall& c : Calls()) {
        if (std::find(opcodes.begin(), opcodes.end(), c.opcode) != opcodes.end())
            out.push_back(c);
    }
    return out;
}

void VstHost::SetReaction(std::function<void(const HostCall&)> reaction) {
    std::lock_guard<std::mutex> lock(mLock);
    mReaction = std::move(reaction);
}

std::vector<HostMidi> VstHost::MidiReceived() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mMidi;
}

int VstHost::CountCalls(VstInt32 opcode) const {
    std::lock_guard<std::mutex> lock(mLock);
    return static_cast<int>(std::count_if(mCalls.begin(), mCalls.end(),
                                          [&](const HostCall& c) { return c.opcode == opcode; }));
}

void VstHost::ClearCalls() {
    std::lock_guard<std::mutex> lock(mLock);
    mCalls.clear();
    mMidi.clear();
}
