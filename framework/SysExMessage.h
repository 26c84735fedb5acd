// A system-exclusive dump as the host delivers it. The bytes stay the
// host's and are valid only during the call that hands them over.
#pragma once

#include <cstdint>

struct SysExMessage {
    std::int32_t offset = 0;
    std::int32_t size = 0;
    const std::uint8_t* data = nullptr;
};
