// The plug-in's saved state as every format stores it: an 8-byte header
// (magic, version) and each parameter's value as 8 bytes, 24 bytes for
// Brightfall. One writer and one reader serve the VST 2, LV2 and VST 3
// adapters; what they differ in is only what each accepts from its hosts,
// named here, so that a session keeps its values in every format. Called by
// the adapters with the plug-in mutex held.
#pragma once

#include <cstddef>

#include "framework/StateChunk.h"

class IPlugBase;

class ChunkCodec {
  public:
    // What a format accepts besides a whole chunk of ours.
    struct Acceptance {
        // Bytes that do not start with our header (magic and a version) are
        // read as bare values from their first byte (VST 2 hosts have stored
        // such chunks); otherwise they are refused.
        bool headerless;
        // A chunk cut short sets the values it holds, and those it lacks to
        // their minimum, and reports failure (VST 2's long-standing
        // reading); otherwise such a chunk is refused whole and nothing
        // changes.
        bool shortChunk;
    };
    static constexpr Acceptance kVst2{true, true};
    static constexpr Acceptance kLv2{false, false};
    static constexpr Acceptance kVst3{true, false};

    enum class Result {
        kLoaded,
        kNoMemory,  // the bytes could not be copied in
        kRefused,   // not a chunk this format accepts: nothing changed
        kFailed,    // read, but short (shortChunk): values changed, failure reported
    };

    // Writes the header and the values into `chunk`. False when memory
    // cannot be had.
    static bool Save(IPlugBase& plug, StateChunk& chunk);
    // Copies `size` bytes of `data` into `chunk` and loads them into the
    // parameters; once loaded, the editor shows them.
    static Result Load(IPlugBase& plug, StateChunk& chunk, const void* data, std::size_t size,
                       Acceptance accept);
};
