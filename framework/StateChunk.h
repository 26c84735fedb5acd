// The byte buffer that carries a plug-in's saved state to and from the host.
// Owned by the host adapter; rebuilt on every save, overwritten on every
// restore, both under the plug-in mutex.
#pragma once

#include "framework/GrowableBuffer.h"

class StateChunk {
  public:
    StateChunk() : mBuf(GrowableBuffer::kListStep) {}
    StateChunk(const StateChunk&) = delete;
    StateChunk& operator=(const StateChunk&) = delete;

    void Clear() { mBuf.Resize(0, false); }
    // Appends n bytes; false (chunk unchanged) when memory cannot be had.
    bool Append(const void* data, int n);
    // Reads n bytes at pos into out. Returns the position after them, or -1
    // when they are not all there.
    int Read(void* out, int n, int pos) const;
    // New bytes are zero. False (chunk unchanged) when memory cannot be had.
    bool Resize(int n);
    int Size() const { return mBuf.GetSize(); }
    unsigned char* Data() const {
        return mBuf.GetSize() > 0 ? static_cast<unsigned char*>(mBuf.Get()) : nullptr;
    }

  private:
    GrowableBuffer mBuf;
};
