// The test's own LV2 host: loads the bundle through lilv from a folder that
// holds nothing else, maps URIDs, offers the block length and (when asked)
// a worker run the ways hosts run theirs, and runs one instance block by
// block as an audio thread would. Test thread only, apart from the worker.
#pragma once

#include <lilv/lilv.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A folder whose only entry is a link to the built bundle, for LV2_PATH.
std::string CleanLv2Path();

class LV2TestHost {
  public:
    enum Port { kInL, kInR, kOutL, kOutR, kWetDry, kSustain, kPorts };

    // How the host runs the plug-in's work, and when it hands the answer back.
    enum class Worker {
        kNone,      // no worker offered
        kThreaded,  // on a thread of its own; answers before the next run
        kAtOnce,    // inside schedule_work, the answer handed back there too
        kAfterRun,  // inside schedule_work, the answer after the same run
        kLate,      // on its thread; answers held back for many runs
    };
    static constexpr int kLateRuns = 25;

    LV2TestHost(Worker worker, int rate, int maxBlock);
    ~LV2TestHost();
    LV2TestHost(const LV2TestHost&) = delete;
    LV2TestHost& operator=(const LV2TestHost&) = delete;

    bool Loaded() const { return mInstance != nullptr; }
    void Activate();
    void Deactivate();
    // Runs `frames` of the input buffers into the output buffers, first
    // handing back what the worker finished (between two runs, as hosts do).
    void Run(int frames);
    // Waits until the worker has nothing left and hands its answers back.
    void DrainWorker();

    float control[2] = {50.0f, 50.0f};
    std::vector<float> in[2], out[2];
    // CPU time the calling thread spent in the last Run, in microseconds.
    double lastRunMicros = 0.0;
    // Heap allocations made on the calling thread inside Run (the plug-in's
    // run and work_response), since construction.
    long runAllocations = 0;
    int workDone = 0;

    void ConnectAudio(int frames);
    void ConnectPort(std::uint32_t port, void* data);
    // The state chunk through the state extension; empty on failure.
    std::vector<unsigned char> SaveState();
    bool RestoreState(const std::vector<unsigned char>& chunk);
    LilvInstance* Instance() const { return mInstance; }

  private:
    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri);
    static LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, std::uint32_t size,
                                      const void* data);
    static LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, std::uint32_t size,
                                     const void* data);
    void WorkerLoop();
    void DeliverResponses();

    LilvWorld* mWorld = nullptr;
    LilvInstance* mInstance = nullptr;
    const LV2_Worker_Interface* mWorkerIface = nullptr;
    std::map<std::string, LV2_URID> mUrids;
    LV2_URID_Map mMap{};
    LV2_Worker_Schedule mSchedule{};
    std::int32_t mMaxBlock = 0;

    std::mutex mLock;
    std::condition_variable mWake;
    Worker mMode = Worker::kNone;
    std::deque<std::vector<unsigned char>> mRequests, mResponses;
    // kLate: answers and the runs each has waited.
    std::deque<std::pair<int, std::vector<unsigned char>>> mHeld;
    int mBusy = 0;
    bool mStop = false;
    std::thread mWorker;
    std::vector<unsigned char> mStored;
};
