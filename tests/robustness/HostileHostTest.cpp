// Calls that the fuzzers found mishandled, kept as plain tests against the
// statically linked plug-in. Their first line of defence is the sanitizer
// tree: each also fails there on the undefined behaviour it once hit.
#include <gtest/gtest.h>

#include <vector>

#include "PluginHarness.h"

namespace {

// A host's event list is a VstEvents header followed by as many pointers as
// it holds events; the record declares only the first two.
TEST(HostileHost, EventListsLongerThanTheDeclaredTwoAreReadToTheEnd) {
    VstHost plug(&robustness::LinkedEntry);
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
    EXPECT_EQ(plug.Dispatch(effProcessEvents, 0, 0, list), 1);
    // The plug-in hands every MIDI message it does not use back to the host.
    EXPECT_EQ(plug.MidiReceived().size(), static_cast<std::size_t>(kEvents));
}

}  // namespace
