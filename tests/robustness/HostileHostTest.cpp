// Calls that the fuzzers found mishandled, kept as plain tests against the
// statically linked plug-in. Their first line of defence is the sanitizer
// tree: each also fails there on the undefined behaviour it once hit.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "PluginHarness.h"

namespace {

using robustness::Instance;

std::atomic<int> gMidiBack{0};

VstIntPtr VSTCALLBACK CountingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr,
                                   float) {
    if (opcode == audioMasterProcessEvents && ptr)
        gMidiBack += static_cast<const VstEvents*>(ptr)->numEvents;
    return opcode == audioMasterVersion ? 2400 : 0;
}

// A host's event list is a VstEvents header followed by as many pointers as
// it holds events; the record declares only the first two.
TEST(HostileHost, EventListsLongerThanTheDeclaredTwoAreReadToTheEnd) {
    Instance plug(&CountingHost);
    ASSERT_NE(plug.Effect(), nullptr);
    constexpr int kEvents = 7;
    std::vector<VstMidiEvent> notes(kEvents);
    std::vector<unsigned char> storage(sizeof(VstEvents) + kEvents * sizeof(VstEvent*));
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = kEvents;
    VstEvent** slots = list->events;
    for (int i = 0; i < kEvents; ++i) {
        notes[i].type = kVstMidiType;
        notes[i].byteSize = sizeof(VstMidiEvent);
        notes[i].deltaFrames = i;
        notes[i].midiData[0] = static_cast<char>(0x90);
        notes[i].midiData[1] = static_cast<char>(60 + i);
        notes[i].midiData[2] = 100;
        slots[i] = reinterpret_cast<VstEvent*>(&notes[i]);
    }
    gMidiBack = 0;
    EXPECT_EQ(plug.Dispatch(effProcessEvents, 0, 0, list), 1);
    // The plug-in hands every MIDI message it does not use back to the host.
    EXPECT_EQ(gMidiBack.load(), kEvents);
}

}  // namespace
