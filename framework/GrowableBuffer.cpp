#include "framework/GrowableBuffer.h"

#include <algorithm>
#include <cstdlib>

GrowableBuffer::~GrowableBuffer() {
    std::free(mData);
}

int GrowableBuffer::CapacityFor(int n, int step) {
    if (n <= 0)
        return 0;
    const std::int64_t n64 = n;
    std::int64_t g = std::max<std::int64_t>(n64 / 2, step);
    std::int64_t cap;
    if (step < 4096) {
        cap = n64 + g;
    } else {
        // Large buffers grow in whole pages, leaving room for the allocator's
        // own header so the block stays within those pages.
        g = std::clamp<std::int64_t>(g & ~std::int64_t{4095}, 4096, 4 * 1024 * 1024);
        cap = ((n64 + g + 96) & ~std::int64_t{4095}) - 96;
    }
    return static_cast<int>(std::min<std::int64_t>(cap, INT32_MAX));
}

bool GrowableBuffer::Resize(int n, bool allowShrink) {
    if (n < 0)
        n = 0;
    bool realloc = n > mCapacity;
    if (!realloc && allowShrink && n < mSize) {
        const int threshold = std::max(1, std::min(mCapacity / 2, mCapacity - 4 * mStep));
        realloc = n < threshold;
    }
    if (realloc) {
        const int cap = CapacityFor(n, mStep);
        if (cap == 0) {
            std::free(mData);
            mData = nullptr;
        } else {
            void* p = std::realloc(mData, static_cast<std::size_t>(cap));
            if (!p)
                return false;
            mData = p;
        }
        mCapacity = cap;
    }
    mSize = n;
    return true;
}
