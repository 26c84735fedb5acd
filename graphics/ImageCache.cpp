#include "graphics/ImageCache.h"

ImageCache& ImageCache::Instance() {
    static ImageCache cache;  // destroyed, with every bitmap, when the library unloads
    return cache;
}

const LICE_IBitmap* ImageCache::Find(int id, bool* found) {
    std::lock_guard<std::mutex> lock(mLock);
    for (const auto& entry : mEntries) {
        if (entry.first == id) {
            *found = true;
            return entry.second.get();
        }
    }
    *found = false;
    return nullptr;
}

const LICE_IBitmap* ImageCache::Add(int id, std::unique_ptr<LICE_IBitmap> bitmap) {
    std::lock_guard<std::mutex> lock(mLock);
    for (const auto& entry : mEntries) {
        if (entry.first == id)
            return entry.second.get();
    }
    mEntries.emplace_back(id, std::move(bitmap));
    return mEntries.back().second.get();
}

int ImageCache::Size() {
    std::lock_guard<std::mutex> lock(mLock);
    return static_cast<int>(mEntries.size());
}
