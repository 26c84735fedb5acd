#include "LV2TestHost.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

namespace {

// Allocations are counted on a thread while it is inside Run.
thread_local bool tCounting = false;
thread_local long tAllocations = 0;

const char* const kUri = "urn:brightfall:reverb";

double ThreadMicros() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

}  // namespace

void* operator new(std::size_t size) {
    if (tCounting)
        ++tAllocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

// The plug-in makes its object with the non-throwing form; with the one
// above replaced, this one must be too, or its memory would come from
// another allocator than the one the replaced delete returns it to.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (tCounting)
        ++tAllocations;
    return std::malloc(size ? size : 1);
}

// Out of line, so that GCC, seeing the replaced new inlined beside a plain
// free, does not take the pair for a mismatch.
[[gnu::noinline]] static void Release(void* p) noexcept {
    std::free(p);
}

void operator delete(void* p) noexcept {
    Release(p);
}

void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}

std::string CleanLv2Path() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(LV2_TEST_SCRATCH) / ("path-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path link = dir / "brightfall.lv2";
    std::error_code ec;
    fs::remove(link, ec);
    fs::create_directory_symlink(BRIGHTFALL_LV2_BUNDLE, link);
    return dir.string();
}

LV2TestHost::LV2TestHost(Worker worker, int rate, int maxBlock)
    : mMaxBlock(maxBlock), mMode(worker) {
    const bool offerWorker = worker != Worker::kNone;
    mWorld = lilv_world_new();
    LilvNode* bundle = lilv_new_file_uri(mWorld, nullptr, BRIGHTFALL_LV2_BUNDLE "/");
    lilv_world_load_bundle(mWorld, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(mWorld, kUri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), uri);
    lilv_node_free(uri);
    if (!plugin)
        return;

    mMap.handle = this;
    mMap.map = &Map;
    mSchedule.handle = this;
    mSchedule.schedule_work = &Schedule;
    static const LV2_Options_Option kEnd{LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, Map(this, LV2_BUF_SIZE__maxBlockLength), sizeof(mMaxBlock),
         Map(this, LV2_ATOM__Int), &mMaxBlock},
        kEnd};
    const LV2_Feature mapFeature{LV2_URID__map, &mMap};
    const LV2_Feature workerFeature{LV2_WORKER__schedule, &mSchedule};
    const LV2_Feature optionsFeature{LV2_OPTIONS__options,
                                     const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&mapFeature, &optionsFeature,
                                     offerWorker ? &workerFeature : nullptr, nullptr};
    mInstance = lilv_plugin_instantiate(plugin, rate, features);
    if (!mInstance)
        return;
    if (offerWorker) {
        mWorkerIface = static_cast<const LV2_Worker_Interface*>(
            lilv_instance_get_extension_data(mInstance, LV2_WORKER__interface));
        if (worker == Worker::kThreaded || worker == Worker::kLate)
            mWorker = std::thread(&LV2TestHost::WorkerLoop, this);
    }
    lilv_instance_connect_port(mInstance, kWetDry, &control[0]);
    lilv_instance_connect_port(mInstance, kSustain, &control[1]);
    ConnectAudio(maxBlock);
}

LV2TestHost::~LV2TestHost() {
    if (mWorker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mLock);
            mStop = true;
        }
        mWake.notify_all();
        mWorker.join();
    }
    if (mInstance)
        lilv_instance_free(mInstance);
    lilv_world_free(mWorld);
}

void LV2TestHost::ConnectAudio(int frames) {
    for (int c = 0; c < 2; ++c) {
        in[c].assign(static_cast<std::size_t>(frames), 0.0f);
        out[c].assign(static_cast<std::size_t>(frames), 0.0f);
        lilv_instance_connect_port(mInstance, kInL + c, in[c].data());
        lilv_instance_connect_port(mInstance, kOutL + c, out[c].data());
    }
}

void LV2TestHost::ConnectPort(std::uint32_t port, void* data) {
    lilv_instance_connect_port(mInstance, port, data);
}

void LV2TestHost::Activate() {
    lilv_instance_activate(mInstance);
}

void LV2TestHost::Deactivate() {
    lilv_instance_deactivate(mInstance);
}

void LV2TestHost::Run(int frames) {
    std::deque<std::vector<unsigned char>> ready;
    {
        std::lock_guard<std::mutex> lock(mLock);
        if (mMode == Worker::kLate) {
            // Answers come back only once they have waited kLateRuns runs.
            for (auto& r : mResponses)
                mHeld.emplace_back(0, std::move(r));
            mResponses.clear();
            while (!mHeld.empty() && mHeld.front().first >= kLateRuns) {
                ready.push_back(std::move(mHeld.front().second));
                mHeld.pop_front();
            }
            for (auto& h : mHeld)
                ++h.first;
        } else {
            ready.swap(mResponses);
        }
    }
    const long before = tAllocations;
    tCounting = true;
    const double start = ThreadMicros();
    for (auto& r : ready)
        mWorkerIface->work_response(lilv_instance_get_handle(mInstance),
                                    static_cast<std::uint32_t>(r.size()), r.data());
    lilv_instance_run(mInstance, static_cast<std::uint32_t>(frames));
    // A host that runs the work at once hands its answers back after the run.
    if (mMode == Worker::kAfterRun) {
        ready.clear();
        ready.swap(mResponses);
        for (auto& r : ready)
            mWorkerIface->work_response(lilv_instance_get_handle(mInstance),
                                        static_cast<std::uint32_t>(r.size()), r.data());
    }
    lastRunMicros = ThreadMicros() - start;
    tCounting = false;
    runAllocations += tAllocations - before;
}

void LV2TestHost::DrainWorker() {
    if (!mWorker.joinable()) {
        DeliverResponses();
        return;
    }
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mLock);
            mWake.wait(lock, [this] { return mRequests.empty() && mBusy == 0; });
            for (auto& h : mHeld)
                mResponses.push_back(std::move(h.second));
            mHeld.clear();
        }
        DeliverResponses();
        std::lock_guard<std::mutex> lock(mLock);
        if (mRequests.empty() && mBusy == 0 && mResponses.empty())
            return;
    }
}

void LV2TestHost::DeliverResponses() {
    std::deque<std::vector<unsigned char>> ready;
    {
        std::lock_guard<std::mutex> lock(mLock);
        ready.swap(mResponses);
    }
    for (auto& r : ready)
        mWorkerIface->work_response(lilv_instance_get_handle(mInstance),
                                    static_cast<std::uint32_t>(r.size()), r.data());
}

LV2_URID LV2TestHost::Map(LV2_URID_Map_Handle handle, const char* uri) {
    auto* self = static_cast<LV2TestHost*>(handle);
    auto it = self->mUrids.find(uri);
    if (it != self->mUrids.end())
        return it->second;
    const LV2_URID id = static_cast<LV2_URID>(self->mUrids.size() + 1);
    self->mUrids.emplace(uri, id);
    return id;
}

LV2_Worker_Status LV2TestHost::Schedule(LV2_Worker_Schedule_Handle handle, std::uint32_t size,
                                        const void* data) {
    auto* self = static_cast<LV2TestHost*>(handle);
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (self->mMode == Worker::kAtOnce || self->mMode == Worker::kAfterRun) {
        // The work done here and now, on the caller's thread, as hosts do
        // while they export or restore state.
        self->mWorkerIface->work(lilv_instance_get_handle(self->mInstance), &Respond, self, size,
                                 data);
        ++self->workDone;
        return LV2_WORKER_SUCCESS;
    }
    // The queue is the host's, not the plug-in's: its allocations are not counted.
    const bool counting = tCounting;
    tCounting = false;
    {
        std::lock_guard<std::mutex> lock(self->mLock);
        self->mRequests.emplace_back(bytes, bytes + size);
    }
    tCounting = counting;
    self->mWake.notify_all();
    return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status LV2TestHost::Respond(LV2_Worker_Respond_Handle handle, std::uint32_t size,
                                       const void* data) {
    auto* self = static_cast<LV2TestHost*>(handle);
    if (self->mMode == Worker::kAtOnce) {
        // Straight back to the plug-in, inside its own schedule_work.
        return self->mWorkerIface->work_response(lilv_instance_get_handle(self->mInstance), size,
                                                 data);
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    const bool counting = tCounting;
    tCounting = false;
    {
        std::lock_guard<std::mutex> lock(self->mLock);
        self->mResponses.emplace_back(bytes, bytes + size);
    }
    tCounting = counting;
    return LV2_WORKER_SUCCESS;
}

void LV2TestHost::WorkerLoop() {
    std::unique_lock<std::mutex> lock(mLock);
    for (;;) {
        mWake.wait(lock, [this] { return mStop || !mRequests.empty(); });
        if (mStop)
            return;
        std::vector<unsigned char> request = std::move(mRequests.front());
        mRequests.pop_front();
        ++mBusy;
        lock.unlock();
        mWorkerIface->work(lilv_instance_get_handle(mInstance), &Respond, this,
                           static_cast<std::uint32_t>(request.size()), request.data());
        lock.lock();
        --mBusy;
        ++workDone;
        mWake.notify_all();
    }
}

namespace {

struct StateStore {
    LV2_URID key = 0, type = 0;
    std::vector<unsigned char> bytes;
};

LV2_State_Status Store(LV2_State_Handle handle, std::uint32_t key, const void* value,
                       std::size_t size, std::uint32_t type, std::uint32_t) {
    auto* s = static_cast<StateStore*>(handle);
    s->key = key;
    s->type = type;
    const auto* b = static_cast<const unsigned char*>(value);
    s->bytes.assign(b, b + size);
    return LV2_STATE_SUCCESS;
}

const void* Retrieve(LV2_State_Handle handle, std::uint32_t key, std::size_t* size,
                     std::uint32_t* type, std::uint32_t* flags) {
    auto* s = static_cast<StateStore*>(handle);
    if (key != s->key)
        return nullptr;
    *size = s->bytes.size();
    *type = s->type;
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return s->bytes.data();
}

}  // namespace

std::vector<unsigned char> LV2TestHost::SaveState() {
    const auto* iface = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(mInstance, LV2_STATE__interface));
    if (!iface)
        return {};
    StateStore store;
    if (iface->save(lilv_instance_get_handle(mInstance), &Store, &store, 0, nullptr) !=
            LV2_STATE_SUCCESS ||
        store.key != Map(this, "urn:brightfall:reverb#chunk") ||
        store.type != Map(this, LV2_ATOM__Chunk))
        return {};
    return store.bytes;
}

bool LV2TestHost::RestoreState(const std::vector<unsigned char>& chunk) {
    const auto* iface = static_cast<const LV2_State_Interface*>(
        lilv_instance_get_extension_data(mInstance, LV2_STATE__interface));
    if (!iface)
        return false;
    StateStore store;
    store.key = Map(this, "urn:brightfall:reverb#chunk");
    store.type = Map(this, LV2_ATOM__Chunk);
    store.bytes = chunk;
    return iface->restore(lilv_instance_get_handle(mInstance), &Retrieve, &store, 0, nullptr) ==
           LV2_STATE_SUCCESS;
}
