// A thread of the plug-in's own that prepares a costly change handed over by
// the audio thread, for formats whose host offers no worker (VST 2, VST 3,
// an LV2 host without one): the audio thread wakes it without waiting,
// allocating or taking a lock, and the preparation runs on another core
// while the audio goes on. Owned by DeferredChanges, one per instance;
// started and stopped on a host thread.
//
//   Asleep --Wake() [audio thread]--> Running job --job returns--> Asleep
//   Asleep or Running --Stop() [host thread]--> Stopped (the job in
//   progress finishes first)
#pragma once

#include <atomic>
#include <memory>
#include <thread>

class PreparationThread {
  public:
    using Job = void (*)(void* context);

    // [host thread, before processing] Starts the thread, which runs
    // job(context) once per Wake. Started() is false when the system would
    // not give one.
    PreparationThread(Job job, void* context);
    ~PreparationThread();
    PreparationThread(const PreparationThread&) = delete;
    PreparationThread& operator=(const PreparationThread&) = delete;

    bool Started() const { return mThread.joinable(); }
    // [audio thread] Has the job run once more. Never blocks: a semaphore
    // post, a system call that wakes the thread and returns.
    void Wake();
    // [host thread] Lets the job in progress finish and ends the thread.
    void Stop();

  private:
    void Run();

    // The system's semaphore, behind a pointer so that no platform header
    // reaches the framework's users.
    struct Semaphore;
    std::unique_ptr<Semaphore> mWake;
    Job mJob;
    void* mContext;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};
