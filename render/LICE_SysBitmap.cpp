#include "render/LICE_SysBitmap.h"

#include <climits>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>

#include <type_traits>

static_assert(std::is_same<LICE_DeviceContext, HDC>::value, "LICE_DeviceContext must be an HDC");
static_assert(std::is_same<HBITMAP__*, HBITMAP>::value, "HBITMAP__* must be an HBITMAP");
#else
#include <cstdlib>
#endif

LICE_SysBitmap::LICE_SysBitmap(int width, int height) {
#ifdef _WIN32
    m_dc = CreateCompatibleDC(nullptr);
#endif
    Resize(width, height);
}

LICE_SysBitmap::~LICE_SysBitmap() {
    ReleaseStorage();
#ifdef _WIN32
    if (m_dc) {
        DeleteDC(m_dc);
    }
#endif
}

LICE_DeviceContext LICE_SysBitmap::DeviceContext() const {
#ifdef _WIN32
    return m_dc;
#else
    return this;
#endif
}

void LICE_SysBitmap::ReleaseStorage() {
#ifdef _WIN32
    // GDI refuses to delete a bitmap that is still selected into a device context.
    if (m_previous && m_dc) {
        SelectObject(m_dc, static_cast<HGDIOBJ>(m_previous));
    }
    m_previous = nullptr;
    if (m_dib) {
        DeleteObject(m_dib);
        m_dib = nullptr;
    }
#else
    std::free(m_block);
    m_block = nullptr;
#endif
    m_bits = nullptr;
}

bool LICE_SysBitmap::Resize(int width, int height) {
#ifdef _WIN32
    if (!m_dc) {
        m_width = 0;
        m_height = 0;
        m_bits = nullptr;
        return false;
    }
#endif
    if (width == m_width && height == m_height) {
        return false;
    }
    m_width = width;
    m_height = height;

    // A smaller image lives in the top-left corner of the present storage. Only positive sizes
    // qualify: a negative size must not be reported over live pixels.
    if (width > 0 && height > 0 && width <= m_allocWidth && height <= m_allocHeight && m_bits) {
        return true;
    }

    ReleaseStorage();
    // Computed wide so that sizes near the int limit cannot wrap round. Storage beyond 2 GiB, the
    // most a 32-bit process could map, is refused up front like a failed allocation, so that no
    // byte count wraps round inside the allocator either.
    const std::int64_t span = (std::int64_t{width} + 3) & ~std::int64_t{3};
    if (span > INT_MAX || (height > 0 && span * height > INT_MAX / std::int64_t{sizeof(Pixel)})) {
        m_allocWidth = 0;
        m_allocHeight = 0;
        m_width = 0;
        m_height = 0;
        return true;
    }
    m_allocHeight = height;
    m_allocWidth = static_cast<int>(span);
    if (m_allocWidth < 1 || height < 1) {
        return false;
    }

#ifdef _WIN32
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = m_allocWidth;
    // A negative height asks for top-down rows, the order every bitmap here uses.
    header.biHeight = IsFlipped() ? height : -height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    void* bits = nullptr;
    m_dib = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS,
                             &bits, nullptr, 0);
    if (m_dib && bits) {
        m_bits = static_cast<Pixel*>(bits);
        m_previous = SelectObject(m_dc, m_dib);
        return true;
    }
    if (m_dib) {
        DeleteObject(m_dib);
        m_dib = nullptr;
    }
#else
    // Zero-filled, as a fresh DIB section is.
    m_block = std::calloc(static_cast<std::size_t>(m_allocWidth) * static_cast<std::size_t>(height),
                          sizeof(Pixel));
    if (m_block) {
        m_bits = static_cast<Pixel*>(m_block);
        return true;
    }
#endif
    m_bits = nullptr;
    m_width = 0;
    m_height = 0;
    return true;
}
