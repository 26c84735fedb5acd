// The plug-in mutex: recursive, as host callbacks nest (a host answering a
// call of ours may call back in), and able to say whether the calling thread
// holds it, so that work which must run without it (a costly parameter
// change prepared aside) waits until the outermost call has let it go. On
// Linux it passes its waiters' priority on to its holder: a GUI thread
// holding it for a moment is not left preempted while a real-time audio
// thread waits for it. Owned by IPlugBase; taken by every host callback and
// both editor windows.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#if defined(__linux__)
#include <pthread.h>
#endif

#include "framework/ThreadToken.h"

class PlugMutex {
  public:
    PlugMutex();
    ~PlugMutex();
    PlugMutex(const PlugMutex&) = delete;
    PlugMutex& operator=(const PlugMutex&) = delete;

    void lock() {
        LockNative();
        Entered();
    }
    bool try_lock() {
        if (!TryLockNative())
            return false;
        Entered();
        return true;
    }
    void unlock() {
        if (--mDepth == 0)
            mOwner.store(0, std::memory_order_relaxed);
        UnlockNative();
    }

    // [any thread] True while the calling thread holds the mutex. Only the
    // holder writes its own token, and clears it before letting go, so a thread
    // never reads its own token here unless it holds the mutex.
    bool HeldByCaller() const {
        return mOwner.load(std::memory_order_relaxed) == CurrentThreadToken();
    }

  private:
    void Entered() {
        if (mDepth++ == 0)
            mOwner.store(CurrentThreadToken(), std::memory_order_relaxed);
    }

#if defined(__linux__)
    void LockNative() { pthread_mutex_lock(&mNative); }
    bool TryLockNative() { return pthread_mutex_trylock(&mNative) == 0; }
    void UnlockNative() { pthread_mutex_unlock(&mNative); }
    pthread_mutex_t mNative;
#else
    void LockNative() { mNative.lock(); }
    bool TryLockNative() { return mNative.try_lock(); }
    void UnlockNative() { mNative.unlock(); }
    std::recursive_mutex mNative;
#endif
    int mDepth = 0;  // written only by the holder
    std::atomic<std::uintptr_t> mOwner{0};
};

#if defined(__linux__)
inline PlugMutex::PlugMutex() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    // Where the kernel offers no priority inheritance, a plain recursive
    // mutex serves as before.
    pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
    if (pthread_mutex_init(&mNative, &attr) != 0) {
        pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_NONE);
        pthread_mutex_init(&mNative, &attr);
    }
    pthread_mutexattr_destroy(&attr);
}
inline PlugMutex::~PlugMutex() {
    pthread_mutex_destroy(&mNative);
}
#else
inline PlugMutex::PlugMutex() = default;
inline PlugMutex::~PlugMutex() = default;
#endif

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
