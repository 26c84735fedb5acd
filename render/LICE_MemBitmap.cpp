#include "render/LICE_MemBitmap.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace {
// Slack that lets Bits() round the block's address up to a multiple of 64 bytes.
constexpr std::size_t kAlignSlack = 63;
}  // namespace

LICE_MemBitmap::LICE_MemBitmap(int width, int height) {
    if (width > 0 && height > 0) {
        Resize(width, height);
    }
}

LICE_MemBitmap::~LICE_MemBitmap() {
    std::free(m_raw);
}

Pixel* LICE_MemBitmap::Bits() const {
    const std::uintptr_t aligned =
        (reinterpret_cast<std::uintptr_t>(m_raw) + kAlignSlack) & ~std::uintptr_t{kAlignSlack};
    return reinterpret_cast<Pixel*>(aligned);
}

void LICE_MemBitmap::Release() {
    std::free(m_raw);
    m_raw = nullptr;
    m_capacity = 0;
}

bool LICE_MemBitmap::Resize(int width, int height) {
    if (width == m_width && height == m_height) {
        return false;
    }
    m_width = width;
    m_height = height;

    // Sizes are computed wide, and the height is checked against the row size before the two are
    // multiplied: a large width or height must neither wrap into a small allocation nor overflow
    // the product itself (INT_MAX by INT_MAX rows exceeds even 64 bits).
    const std::int64_t span =
        (std::int64_t{width} + m_lineAlignMask) & ~std::int64_t{m_lineAlignMask};
    const std::int64_t rowBytes = span * std::int64_t{sizeof(Pixel)};
    const bool fits = width > 0 && height > 0 && std::int64_t{height} <= INT_MAX / rowBytes;
    const std::int64_t needed = fits ? std::int64_t{height} * rowBytes : 0;

    if (fits) {
        const int need = static_cast<int>(needed);
        if (!m_raw) {
            m_capacity = need;
            m_raw = std::malloc(static_cast<std::size_t>(need) + kAlignSlack);
        } else if (m_capacity < need) {
            // A quarter more than needed, so that growing step by step seldom reallocates.
            const std::int64_t grown = needed + needed / 4;
            m_capacity = grown <= INT_MAX ? static_cast<int>(grown) : need;
            void* moved = std::realloc(m_raw, static_cast<std::size_t>(m_capacity) + kAlignSlack);
            if (moved) {
                m_raw = moved;
            } else {
                // The old contents are worthless (pixels are undefined after a resize), so give
                // the old block back first and ask for the bare need.
                std::free(m_raw);
                m_capacity = need;
                m_raw = std::malloc(static_cast<std::size_t>(need) + kAlignSlack);
            }
        }
        // Otherwise the block is large enough already: shrinking never returns memory.
    } else {
        Release();
    }

    if (!m_raw) {
        m_capacity = 0;
        m_width = 0;
        m_height = 0;
    }
    return true;
}
