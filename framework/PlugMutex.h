// The plug-in mutex: recursive, as host callbacks nest (a host answering a
// call of ours may call back in), and able to say whether the calling thread
// holds it, so that work which must run without it (a costly parameter
// change prepared aside) waits until the outermost call has let it go.
// Owned by IPlugBase; taken by every host callback and both editor windows.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "framework/ThreadToken.h"

class PlugMutex {
  public:
    PlugMutex() = default;
    PlugMutex(const PlugMutex&) = delete;
    PlugMutex& operator=(const PlugMutex&) = delete;

    void lock() {
        mMutex.lock();
        Entered();
    }
    bool try_lock() {
        if (!mMutex.try_lock())
            return false;
        Entered();
        return true;
    }
    void unlock() {
        if (--mDepth == 0)
            mOwner.store(0, std::memory_order_relaxed);
        mMutex.unlock();
    }

    // [any thread] True while the calling thread holds the mutex. Only the
    // holder writes its own token, and clears it before letting go, so a thread
    // never reads its own id here unless it holds the mutex.
    bool HeldByCaller() const {
        return mOwner.load(std::memory_order_relaxed) == CurrentThreadToken();
    }

  private:
    void Entered() {
        if (mDepth++ == 0)
            mOwner.store(CurrentThreadToken(), std::memory_order_relaxed);
    }

    std::recursive_mutex mMutex;
    int mDepth = 0;  // written only by the holder
    std::atomic<std::uintptr_t> mOwner{0};
};

// Takes `mutex`, blocking when `stop` is null; otherwise tries until it gets
// it or `stop` is set (false then): for a thread that another, holding the
// mutex, may be about to join.
template <typename Mutex>
bool LockUnlessStopped(Mutex& mutex, const std::atomic<bool>* stop) {
    if (!stop) {
        mutex.lock();
        return true;
    }
    for (int attempt = 0;; ++attempt) {
        if (stop->load(std::memory_order_acquire))
            return false;
        if (mutex.try_lock())
            return true;
        if (attempt < 16) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
    }
}
