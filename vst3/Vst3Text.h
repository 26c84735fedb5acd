// Text between the plug-in's UTF-8 strings and the UTF-16 ones VST 3 hosts
// exchange (parameter titles, display texts, class names). Plain functions
// on caller-owned buffers, allocating nothing; any thread.
#pragma once

#include <cstddef>

#include "vst3/Vst3Abi.h"

namespace vst3 {

// Copies UTF-8 `src` into `dst` (capacity `size` units, terminator
// included), stopping at a whole character. Characters outside the basic
// plane and malformed bytes become '?': none of our texts has either.
inline void Utf8ToUtf16(char16* dst, std::size_t size, const char* src) {
    if (!dst || size == 0)
        return;
    std::size_t n = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(src ? src : "");
    while (*s && n + 1 < size) {
        unsigned code = *s++;
        if (code >= 0x80) {
            int more = code >= 0xE0 ? 2 : (code >= 0xC0 ? 1 : -1);
            if (code >= 0xF0)
                more = -1;
            code &= more == 2 ? 0x0Fu : 0x1Fu;
            for (int i = 0; i < more; ++i) {
                if ((*s & 0xC0) != 0x80) {
                    more = -1;
                    break;
                }
                code = (code << 6) | (*s++ & 0x3Fu);
            }
            if (more < 0) {
                code = '?';
                while ((*s & 0xC0) == 0x80)
                    ++s;
            }
        }
        dst[n++] = static_cast<char16>(code);
    }
    dst[n] = 0;
}

// Copies at most `srcUnits` units of UTF-16 `src` (fewer at its terminator)
// into `dst` as UTF-8, within `size` bytes, terminator included.
inline void Utf16ToUtf8(char* dst, std::size_t size, const char16* src, std::size_t srcUnits) {
    if (!dst || size == 0)
        return;
    std::size_t n = 0;
    for (std::size_t i = 0; src && i < srcUnits && src[i]; ++i) {
        const unsigned code = src[i];
        char bytes[3];
        std::size_t count = 0;
        if (code < 0x80) {
            bytes[count++] = static_cast<char>(code);
        } else if (code < 0x800) {
            bytes[count++] = static_cast<char>(0xC0 | (code >> 6));
            bytes[count++] = static_cast<char>(0x80 | (code & 0x3F));
        } else if (code >= 0xD800 && code < 0xE000) {
            bytes[count++] = '?';  // half of a pair: nothing we could match
        } else {
            bytes[count++] = static_cast<char>(0xE0 | (code >> 12));
            bytes[count++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            bytes[count++] = static_cast<char>(0x80 | (code & 0x3F));
        }
        if (n + count + 1 > size)
            break;
        for (std::size_t k = 0; k < count; ++k)
            dst[n++] = bytes[k];
    }
    dst[n] = '\0';
}

}  // namespace vst3
