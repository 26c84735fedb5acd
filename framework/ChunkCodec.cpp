#include "framework/ChunkCodec.h"

#include <cstdint>
#include <cstring>

#include "framework/IPlugBase.h"

bool ChunkCodec::Save(IPlugBase& plug, StateChunk& chunk) {
    IPlugBase::WriteChunkHeader(chunk);
    return chunk.Size() == 8 && plug.SaveState(chunk);
}

ChunkCodec::Result ChunkCodec::Load(IPlugBase& plug, StateChunk& chunk, const void* data,
                                    std::size_t size, Acceptance accept) {
    if (size > static_cast<std::size_t>(INT32_MAX))
        return Result::kNoMemory;
    const int n = static_cast<int>(size);
    if (!chunk.Resize(n))
        return Result::kNoMemory;
    if (n > 0 && data)
        std::memcpy(chunk.Data(), data, size);
    // pos is left at 0 without our magic, after the header with it, and at
    // -1 when the magic is there but the version is not.
    int pos = 0;
    const int version = IPlugBase::ReadChunkHeader(chunk, &pos);
    if (version == 0 && !accept.headerless)
        return Result::kRefused;
    const bool whole = pos >= 0 && chunk.Size() - pos >= 8 * plug.NParams();
    if (!whole && !accept.shortChunk)
        return Result::kRefused;
    if (plug.LoadState(chunk, pos) < 0)
        return Result::kFailed;
    plug.RefreshEditorFromParameters();
    return Result::kLoaded;
}
