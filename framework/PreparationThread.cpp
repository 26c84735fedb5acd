#include "framework/PreparationThread.h"

#include <climits>

#if defined(_WIN32)
#include <windows.h>
#else
#include <semaphore.h>

#include <cerrno>
#endif

#if defined(_WIN32)
struct PreparationThread::Semaphore {
    Semaphore() : handle(CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr)) {}
    ~Semaphore() {
        if (handle)
            CloseHandle(handle);
    }
    bool Valid() const { return handle != nullptr; }
    void Post() { ReleaseSemaphore(handle, 1, nullptr); }
    void Wait() { WaitForSingleObject(handle, INFINITE); }
    HANDLE handle;
};
#else
struct PreparationThread::Semaphore {
    Semaphore() : valid(sem_init(&sem, 0, 0) == 0) {}
    ~Semaphore() {
        if (valid)
            sem_destroy(&sem);
    }
    bool Valid() const { return valid; }
    void Post() { sem_post(&sem); }
    void Wait() {
        while (sem_wait(&sem) != 0 && errno == EINTR) {
        }
    }
    sem_t sem;
    bool valid;
};
#endif

PreparationThread::PreparationThread(Job job, void* context)
    : mWake(new Semaphore), mJob(job), mContext(context) {
    if (!mWake->Valid())
        return;
    try {
        mThread = std::thread([this] { Run(); });
    } catch (...) {
        // No thread: the caller prepares another way.
    }
}

PreparationThread::~PreparationThread() {
    Stop();
}

void PreparationThread::Wake() {
    if (Started())
        mWake->Post();
}

void PreparationThread::Stop() {
    if (!mThread.joinable())
        return;
    mStop.store(true, std::memory_order_release);
    mWake->Post();
    mThread.join();
}

void PreparationThread::Run() {
    for (;;) {
        mWake->Wait();
        if (mStop.load(std::memory_order_acquire))
            return;
        mJob(mContext);
    }
}
