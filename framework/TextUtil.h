// Bounded C-string copying for texts handed to and from hosts.
#pragma once

#include <cstddef>
#include <cstring>

// Copies src into dst (capacity bytes, always terminated); a null src copies
// the empty text. Returns dst.
inline char* CopyText(char* dst, std::size_t capacity, const char* src) {
    if (!dst || capacity == 0)
        return dst;
    std::size_t n = 0;
    if (src) {
        while (n + 1 < capacity && src[n])
            ++n;
        std::memcpy(dst, src, n);
    }
    dst[n] = '\0';
    return dst;
}
