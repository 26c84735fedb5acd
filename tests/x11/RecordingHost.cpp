#include "tests/x11/RecordingHost.h"

#include <algorithm>
#include <map>

namespace {

// The callback carries no user pointer: hosts are found by their instance's
// record, and calls made while the entry point runs go to the host being
// built on that thread.
std::mutex gRegistryLock;
std::map<AEffect*, RecordingHost*> gRegistry;
thread_local RecordingHost* tConstructing = nullptr;

}  // namespace

RecordingHost::RecordingHost(Entry entry) {
    tConstructing = this;
    mEffect = entry ? entry(&RecordingHost::Callback) : nullptr;
    tConstructing = nullptr;
    if (!mEffect)
        return;
    {
        std::lock_guard<std::mutex> lock(gRegistryLock);
        gRegistry[mEffect] = this;
    }
    Dispatch(effOpen);
}

RecordingHost::~RecordingHost() {
    Close();
}

VstIntPtr RecordingHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    if (opcode == effClose) {
        Close();
        return 0;
    }
    return mEffect ? mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt) : 0;
}

void RecordingHost::SetParameter(int index, float value) {
    if (mEffect)
        mEffect->setParameter(mEffect, index, value);
}

float RecordingHost::GetParameter(int index) {
    return mEffect ? mEffect->getParameter(mEffect, index) : 0.0f;
}

void RecordingHost::Close() {
    if (!mEffect)
        return;
    AEffect* effect = mEffect;
    mEffect = nullptr;
    // Still registered while closing: an editor closed by effClose reports
    // the end of a gesture in progress.
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    std::lock_guard<std::mutex> lock(gRegistryLock);
    gRegistry.erase(effect);
}

std::vector<RecordingHost::Call> RecordingHost::Calls() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mCalls;
}

std::vector<RecordingHost::Call> RecordingHost::CallsOf(
    std::initializer_list<VstInt32> opcodes) const {
    std::vector<Call> out;
    for (const Call& c : Calls()) {
        if (std::find(opcodes.begin(), opcodes.end(), c.opcode) != opcodes.end())
            out.push_back(c);
    }
    return out;
}

int RecordingHost::Count(VstInt32 opcode) const {
    std::lock_guard<std::mutex> lock(mLock);
    return static_cast<int>(std::count_if(mCalls.begin(), mCalls.end(),
                                          [&](const Call& c) { return c.opcode == opcode; }));
}

void RecordingHost::ClearCalls() {
    std::lock_guard<std::mutex> lock(mLock);
    mCalls.clear();
}

void RecordingHost::SetReaction(std::function<void(const Call&)> reaction) {
    std::lock_guard<std::mutex> lock(mLock);
    mReaction = std::move(reaction);
}

VstIntPtr VSTCALLBACK RecordingHost::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                              VstIntPtr, void*, float opt) {
    RecordingHost* host = nullptr;
    {
        std::lock_guard<std::mutex> lock(gRegistryLock);
        auto it = gRegistry.find(effect);
        if (it != gRegistry.end())
            host = it->second;
    }
    if (!host)
        host = tConstructing;
    if (!host)
        return opcode == audioMasterVersion ? 2400 : 0;
    return host->Answer(Call{opcode, index, opt});
}

VstIntPtr RecordingHost::Answer(const Call& call) {
    std::function<void(const Call&)> reaction;
    {
        std::lock_guard<std::mutex> lock(mLock);
        mCalls.push_back(call);
        reaction = mReaction;
    }
    if (reaction)
        reaction(call);
    return call.opcode == audioMasterVersion ? 2400 : 0;
}
