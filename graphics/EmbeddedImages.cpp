#include "graphics/EmbeddedImages.h"

#include <cstring>

#include "render/LICE_LoadPngFromMemory.h"

bool HasPngExtension(const char* name) {
    if (!name)
        return false;
    const char* dot = std::strrchr(name, '.');
    if (!dot)
        return false;
    const char* ext = dot + 1;
    if (std::strlen(ext) != 3)
        return false;
    auto lower = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return lower(ext[0]) == 'p' && lower(ext[1]) == 'n' && lower(ext[2]) == 'g';
}

std::unique_ptr<LICE_IBitmap> LoadEmbeddedImage(int resourceId, const char* name) {
    if (!HasPngExtension(name))
        return nullptr;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    if (!FindEmbeddedImage(resourceId, &data, &size) || size < 8)
        return nullptr;
    return std::unique_ptr<LICE_IBitmap>(LICE_LoadPngFromMemory(data, size, nullptr));
}
