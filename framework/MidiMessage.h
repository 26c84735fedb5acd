// Short MIDI messages and system-exclusive dumps as the host delivers them,
// stamped with their offset in frames into the current block.
#pragma once

#include <cstdint>

struct MidiMessage {
    std::int32_t offset = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
};

struct SysExMessage {
    std::int32_t offset = 0;
    std::int32_t size = 0;
    const std::uint8_t* data = nullptr;  // the host's bytes, valid during the call
};

// Transport state as a host may report it; nothing in this plug-in asks.
struct ITimeInfo {
    double samplePosition = 0.0;
    double tempo = 120.0;
    int numerator = 4;
    int denominator = 4;
    bool playing = false;
};
