// A short MIDI message as the host delivers it, stamped with its offset in
// frames into the current block. A plain value.
#pragma once

#include <cstdint>

struct MidiMessage {
    std::int32_t offset = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
};
