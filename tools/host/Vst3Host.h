// The VST 3 host the tests share (and, beside VstHost, the tools will): loads
// a module by its bundle path as a DAW does (ModuleEntry, or InitDll on
// Windows, then GetPluginFactory), makes an instance through the factory and
// drives it, with the host-side objects a plug-in calls back into: a memory
// stream for state, parameter queues for process calls, a component handler
// that records edits. Each object owns what it allocates; one test thread
// drives an instance, while the handler may be called from any thread.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vst3/Vst3ProcessorAbi.h"

// The loaded module, unloaded (after ModuleExit or ExitDll) on destruction.
class Vst3Module {
  public:
    // `path` is a bundle (.../Brightfall.vst3) or the library inside it.
    // Null on failure, with the reason in *error.
    static std::unique_ptr<Vst3Module> Load(const std::string& path, std::string* error);
    // `library` is the module's shared library itself, whatever its name.
    static std::unique_ptr<Vst3Module> FromLibrary(const std::string& library, std::string* error);
    ~Vst3Module();
    Vst3Module(const Vst3Module&) = delete;
    Vst3Module& operator=(const Vst3Module&) = delete;

    // The library a bundle holds for this platform: Contents/x86_64-linux/<name>.so,
    // Contents/x86_64-win/<name>.vst3 or Contents/x86-win/<name>.vst3.
    static std::string LibraryInBundle(const std::string& bundle);
    vst3::IPluginFactory* Factory() const { return mFactory; }
    // The module's own symbol, or null.
    void* Symbol(const char* name) const;

  private:
    Vst3Module() = default;
    void* mHandle = nullptr;
    vst3::IPluginFactory* mFactory = nullptr;
};

// Reference counting for host objects that live on the test's stack or in
// its members: counted, never deleting themselves.
template <typename Interface>
class Vst3HostObject : public Interface {
  public:
    vst3::tresult PLUGIN_API queryInterface(const vst3::TUID id, void** obj) override {
        if (!obj)
            return vst3::kInvalidArgument;
        const bool ours = vst3::FUnknown::iid.Matches(id) || Interface::iid.Matches(id);
        *obj = ours ? static_cast<Interface*>(this) : nullptr;
        if (ours)
            addRef();
        return ours ? vst3::kResultOk : vst3::kNoInterface;
    }
    vst3::uint32 PLUGIN_API addRef() override { return ++mRefs; }
    vst3::uint32 PLUGIN_API release() override { return --mRefs; }
    // References the plug-in holds beyond the owner's own.
    vst3::uint32 ForeignRefs() const { return mRefs.load() - 1; }

  private:
    std::atomic<vst3::uint32> mRefs{1};
};

// A byte stream in memory, read from where the last read ended.
class Vst3MemoryStream final : public Vst3HostObject<vst3::IBStream> {
  public:
    Vst3MemoryStream() = default;
    explicit Vst3MemoryStream(std::vector<unsigned char> bytes) : mBytes(std::move(bytes)) {}

    vst3::tresult PLUGIN_API read(void* buffer, vst3::int32 numBytes,
                                  vst3::int32* numBytesRead) override;
    vst3::tresult PLUGIN_API write(void* buffer, vst3::int32 numBytes,
                                   vst3::int32* numBytesWritten) override;
    vst3::tresult PLUGIN_API seek(vst3::int64 pos, vst3::int32 mode, vst3::int64* result) override;
    vst3::tresult PLUGIN_API tell(vst3::int64* pos) override;

    const std::vector<unsigned char>& Bytes() const { return mBytes; }
    void Rewind() { mPos = 0; }

  private:
    std::vector<unsigned char> mBytes;
    std::size_t mPos = 0;
};

// One process call's parameter changes: a queue per parameter, points in
// the order added. Filled by the test before the call; the plug-in only reads.
class Vst3ParameterChanges final : public Vst3HostObject<vst3::IParameterChanges> {
  public:
    void Add(vst3::ParamID id, vst3::int32 sampleOffset, double value);
    void Clear() { mQueues.clear(); }
    // One point for `id` in place of whatever its queue held; allocates only
    // the first time, so a real-time host can call it before every block.
    void Replace(vst3::ParamID id, vst3::int32 sampleOffset, double value);

    vst3::int32 PLUGIN_API getParameterCount() override;
    vst3::IParamValueQueue* PLUGIN_API getParameterData(vst3::int32 index) override;
    vst3::IParamValueQueue* PLUGIN_API addParameterData(const vst3::ParamID& id,
                                                        vst3::int32& index) override;

  private:
    class Queue final : public Vst3HostObject<vst3::IParamValueQueue> {
      public:
        explicit Queue(vst3::ParamID id) : mId(id) {}
        vst3::ParamID PLUGIN_API getParameterId() override { return mId; }
        void ClearPoints() { mPoints.clear(); }
        vst3::int32 PLUGIN_API getPointCount() override;
        vst3::tresult PLUGIN_API getPoint(vst3::int32 index, vst3::int32& sampleOffset,
                                          vst3::ParamValue& value) override;
        vst3::tresult PLUGIN_API addPoint(vst3::int32 sampleOffset, vst3::ParamValue value,
                                          vst3::int32& index) override;

      private:
        vst3::ParamID mId;
        std::vector<std::pair<vst3::int32, double>> mPoints;
    };
    std::vector<std::unique_ptr<Queue>> mQueues;
};

// The host's side of the controller, recording each edit. [any thread]
class Vst3RecordingHandler final : public Vst3HostObject<vst3::IComponentHandler> {
  public:
    struct Edit {
        char kind;  // 'b'egin, 'p'erform, 'e'nd
        vst3::ParamID id;
        double value;
        std::thread::id thread;  // the caller's
    };
    vst3::tresult PLUGIN_API beginEdit(vst3::ParamID id) override;
    vst3::tresult PLUGIN_API performEdit(vst3::ParamID id, vst3::ParamValue value) override;
    vst3::tresult PLUGIN_API endEdit(vst3::ParamID id) override;
    vst3::tresult PLUGIN_API restartComponent(vst3::int32) override { return vst3::kResultOk; }
    std::vector<Edit> Edits() const;

  private:
    void Record(char kind, vst3::ParamID id, double value);
    mutable std::mutex mLock;
    std::vector<Edit> mEdits;
};

// One instance of the module's first audio processor class, initialised,
// with its processor and controller interfaces; terminated and released on
// destruction. Null interfaces when the factory refused.
class Vst3Instance {
  public:
    explicit Vst3Instance(const Vst3Module& module);
    ~Vst3Instance();
    Vst3Instance(const Vst3Instance&) = delete;
    Vst3Instance& operator=(const Vst3Instance&) = delete;

    vst3::IComponent* Component() const { return mComponent; }
    vst3::IAudioProcessor* Processor() const { return mProcessor; }
    vst3::IEditController* Controller() const { return mController; }
    // The factory's index of the class instantiated; -1 when none was.
    int ClassIndex() const { return mClassIndex; }

    // setupProcessing with `sampleSize` (kSample32 or kSample64) and
    // `processMode` (kRealtime, kOffline), then setActive and setProcessing;
    // the first result that is not kResultOk.
    vst3::tresult Start(double rate, int maxBlock, int sampleSize,
                        int processMode = vst3::kRealtime);
    // setProcessing and setActive off, when started.
    void Stop();
    // One process call over `channels` channels each way.
    vst3::tresult Process(double** in, double** out, int channels, int frames,
                          vst3::IParameterChanges* changes = nullptr);
    vst3::tresult Process(float** in, float** out, int channels, int frames,
                          vst3::IParameterChanges* changes = nullptr);
    // One process call with as many channels in each bus as its arrangement.
    vst3::tresult Process(double** in, int inChannels, double** out, int outChannels, int frames);
    vst3::tresult Process(float** in, int inChannels, float** out, int outChannels, int frames);
    // The output bus's silence flags the plug-in set in the last process call.
    vst3::uint64 LastSilenceFlags() const { return mLastSilenceFlags; }
    // The component's state, through a stream; empty when getState failed.
    std::vector<unsigned char> State();

  private:
    template <typename Sample>
    vst3::tresult Run(Sample** in, int inChannels, Sample** out, int outChannels, int frames,
                      vst3::IParameterChanges* changes);
    vst3::IComponent* mComponent = nullptr;
    vst3::IAudioProcessor* mProcessor = nullptr;
    vst3::IEditController* mController = nullptr;
    int mClassIndex = -1;
    bool mActive = false;
    vst3::uint64 mLastSilenceFlags = 0;
};
