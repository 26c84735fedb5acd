// The vendor-specific calls (effVendorSpecific) the VST 2 module answers
// beyond those hosts share: a report of what the instance's last audio call
// did, for a benchmark or a host that wants to know why a call took long.
// Read by tools/host; answered by IPlugVST on the thread that asks.
#pragma once

#include <cstdint>

namespace brightfall_vendor {

// effVendorSpecific's index for the report; its ptr is an AudioCallReport
// whose `size` the caller has set to sizeof(AudioCallReport). Answers 1
// when it filled it in, 0 otherwise.
constexpr std::int32_t kLastAudioCall = 0x42664c43;  // 'BfLC'

struct AudioCallReport {
    std::int32_t size;            // sizeof(AudioCallReport), set by the caller
    std::int32_t flags;           // the k... bits below
    std::int64_t mutexWaitNanos;  // waiting for the plug-in's mutex before the call could start
};

// What the call did about a costly parameter change.
constexpr std::int32_t kRanSlice = 1;       // prepared a slice of one
constexpr std::int32_t kSwappedIn = 2;      // put a prepared one in place
constexpr std::int32_t kStartedChange = 4;  // began preparing one or handed it to a worker

}  // namespace brightfall_vendor
