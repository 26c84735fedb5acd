#include "framework/StateChunk.h"

#include <cstring>

bool StateChunk::Append(const void* data, int n) {
    if (n <= 0)
        return true;
    const int old = Size();
    if (n > INT32_MAX - old || !mBuf.Resize(old + n, false))
        return false;
    std::memcpy(static_cast<unsigned char*>(mBuf.Get()) + old, data, static_cast<std::size_t>(n));
    return true;
}

int StateChunk::Read(void* out, int n, int pos) const {
    if (pos < 0 || n < 0 || n > Size() - pos)
        return -1;
    if (n > 0)
        std::memcpy(out, static_cast<const unsigned char*>(mBuf.Get()) + pos,
                    static_cast<std::size_t>(n));
    return pos + n;
}

bool StateChunk::Resize(int n) {
    if (n < 0)
        n = 0;
    const int old = Size();
    if (!mBuf.Resize(n))
        return false;
    if (n > old)
        std::memset(static_cast<unsigned char*>(mBuf.Get()) + old, 0,
                    static_cast<std::size_t>(n - old));
    return true;
}
