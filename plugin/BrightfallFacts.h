// Facts of the Brightfall plug-in that code outside it needs as well (the
// command-line tools ask a loaded module whether it is Brightfall, and how
// long a tail to render): constants only, used by the plug-in class too.
#pragma once

#include <cstdint>

namespace brightfall {

// The VST 2 unique id, 'hd46'; hosts store it in every session.
constexpr std::int32_t kUniqueId = 0x68643436;
// The VST 3 class id, its 16 bytes as hex digits, chosen at random once;
// hosts store it in every session. The build reads it from here for the
// bundle's moduleinfo.json.
constexpr const char* kVst3ClassId = "9AA77D600385AD6B781B6C9B45B26F97";
// The longest impulse response, in frames at any rate. The module reports
// no tail of its own under VST 2, so a host rendering offline has to know.
#if defined(BRIGHTFALL_FUZZ)
constexpr std::int64_t kLongestResponse = 4000;  // the fuzz build's smaller engine
#else
constexpr std::int64_t kLongestResponse = 128000;
#endif

}  // namespace brightfall
