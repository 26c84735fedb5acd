// An owned array of samples, zero-filled on resize, its storage aligned for
// vector loads. Convolvers and spectra own these; they are sized while a
// convolver is prepared and only read and written on the audio thread. The
// storage only grows: sizing down keeps it, so a convolver reserved for its
// longest response can be prepared again without allocating.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "dsp/LargeStorage.h"

namespace fftconvolver {

template <typename T>
class Buffer {
  public:
    // 16 bytes would do for SSE2; 32 keeps AVX loads from straddling cache lines.
    static constexpr std::size_t kAlignment = 32;

    Buffer() = default;
    virtual ~Buffer() { clear(); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    // Reallocates only to grow past what it holds; zero-fills in every case.
    void resize(std::size_t n) {
        resizeUninitialised(n);
        zero();
    }

    // As resize, leaving the contents as they are (after a reallocation,
    // undefined): for an owner that writes every element before reading it.
    void resizeUninitialised(std::size_t n) {
        reserve(n);
        count = n;
    }

    // Holds at least n elements from now on; the size becomes 0 if it had to
    // reallocate. New storage is zero-filled, so that its pages are in memory
    // before the audio thread first writes them.
    void reserve(std::size_t n) {
        if (n <= held) {
            return;
        }
        // A byte count that wraps around would allocate too little.
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
            throw std::bad_alloc();
        }
        T* grown = static_cast<T*>(LargeStorage::allocate(n * sizeof(T), kAlignment));
        std::memset(static_cast<void*>(grown), 0, n * sizeof(T));
        clear();
        storage = grown;
        held = n;
    }

    // Frees the storage.
    void clear() {
        if (storage != nullptr) {
            LargeStorage::release(storage, held * sizeof(T), kAlignment);
        }
        storage = nullptr;
        count = 0;
        held = 0;
    }

    void zero() {
        if (count > 0) {
            std::memset(static_cast<void*>(storage), 0, count * sizeof(T));
        }
    }

    // Both buffers are expected to have the same size; copying the common
    // prefix keeps a mismatch from reading or writing out of bounds.
    void assignFrom(const Buffer& other) {
        if (&other != this && count > 0) {
            std::memcpy(static_cast<void*>(storage), other.storage,
                        std::min(count, other.count) * sizeof(T));
        }
    }

    void swap(Buffer& other) {
        std::swap(storage, other.storage);
        std::swap(count, other.count);
        std::swap(held, other.held);
    }

    T* data() { return storage; }
    const T* data() const { return storage; }
    std::size_t size() const { return count; }
    std::size_t capacity() const { return held; }
    T& operator[](std::size_t i) { return storage[i]; }
    const T& operator[](std::size_t i) const { return storage[i]; }

  private:
    T* storage = nullptr;
    std::size_t count = 0;
    std::size_t held = 0;
};

}  // namespace fftconvolver
