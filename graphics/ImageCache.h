// The process-wide cache of decoded images, shared by every editor of every
// plug-in instance: each image is decoded once per process. Owns the bitmaps
// until the library is unloaded. Its lock is held only while the list is
// searched or appended, never while an image is decoded.
#pragma once

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "render/LICE_IBitmap.h"

class ImageCache {
  public:
    static ImageCache& Instance();

    // The bitmap cached under `id`; *found says whether there was an entry
    // (a failed load is cached as a null bitmap).
    const LICE_IBitmap* Find(int id, bool* found);
    // Appends an entry and returns the bitmap cached under `id` afterwards:
    // when another thread cached it first, the earlier entry wins and this
    // one is discarded.
    const LICE_IBitmap* Add(int id, std::unique_ptr<LICE_IBitmap> bitmap);
    int Size();

  private:
    ImageCache() = default;
    std::mutex mLock;
    std::vector<std::pair<int, std::unique_ptr<LICE_IBitmap>>> mEntries;
};
