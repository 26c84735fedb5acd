// An owned array of samples, zero-filled on resize, its storage aligned for
// vector loads. Convolvers and spectra own these; they are sized while a
// convolver is prepared and only read and written on the audio thread.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

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

    // Reallocates only when the size changes; zero-fills in every case.
    void resize(std::size_t n) {
        if (n != count) {
            clear();
            if (n > 0) {
                // A byte count that wraps around would allocate too little.
                if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
                    throw std::bad_alloc();
                }
                storage =
                    static_cast<T*>(::operator new (n * sizeof(T), std::align_val_t{kAlignment}));
                count = n;
            }
        }
        zero();
    }

    void clear() {
        if (storage != nullptr) {
            ::operator delete (storage, std::align_val_t{kAlignment});
        }
        storage = nullptr;
        count = 0;
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
    }

    T* data() { return storage; }
    const T* data() const { return storage; }
    std::size_t size() const { return count; }
    T& operator[](std::size_t i) { return storage[i]; }
    const T& operator[](std::size_t i) const { return storage[i]; }

  private:
    T* storage = nullptr;
    std::size_t count = 0;
};

}  // namespace fftconvolver
