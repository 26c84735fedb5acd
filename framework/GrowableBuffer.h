// A heap block that grows in steps and shrinks only when much too large, so
// that repeated resizes to similar sizes do not reallocate. It is the
// framework's container for byte chunks and scratch sample buffers; whoever
// holds one owns its memory. Resizing may allocate: never on the audio thread.
#pragma once

#include <cstddef>
#include <cstdint>

class GrowableBuffer {
  public:
    static constexpr int kListStep = 4096;
    static constexpr int kTextStep = 128;

    explicit GrowableBuffer(int growthStep = kListStep) : mStep(growthStep > 0 ? growthStep : 1) {}
    ~GrowableBuffer();
    GrowableBuffer(const GrowableBuffer&) = delete;
    GrowableBuffer& operator=(const GrowableBuffer&) = delete;

    // Makes the buffer n bytes long (n < 0 counts as 0). Returns false, and
    // leaves the buffer exactly as it was, when memory cannot be had.
    bool Resize(int n, bool allowShrink = true);

    void* Get() const { return mData; }
    int GetSize() const { return mSize; }
    int GetCapacity() const { return mCapacity; }

    // The capacity a buffer with this step allocates for n bytes.
    static int CapacityFor(int n, int step);

  private:
    void* mData = nullptr;
    int mCapacity = 0;
    int mSize = 0;
    int mStep;
};

// A typed view of a growable buffer for trivially copyable elements.
template <typename T>
class GrowableArray {
  public:
    explicit GrowableArray(int growthStep = GrowableBuffer::kListStep) : mBuf(growthStep) {}

    bool Resize(int count, bool allowShrink = true) {
        if (count < 0)
            count = 0;
        if (static_cast<std::size_t>(count) > static_cast<std::size_t>(INT32_MAX) / sizeof(T))
            return false;
        return mBuf.Resize(count * static_cast<int>(sizeof(T)), allowShrink);
    }
    T* Get() const { return static_cast<T*>(mBuf.Get()); }
    int GetSize() const { return mBuf.GetSize() / static_cast<int>(sizeof(T)); }

  private:
    GrowableBuffer mBuf;
};
