#include "tools/host/Vst3Host.h"

#include <algorithm>
#include <cstring>

#include "tools/host/PluginModule.h"

using namespace vst3;

// --- The module ---------------------------------------------------------------

namespace {

// The bundle's folder for this build's platform, and its library's suffix.
#if defined(_WIN32) && defined(_WIN64)
constexpr const char* kArchFolder = "/Contents/x86_64-win/";
constexpr const char* kLibrarySuffix = ".vst3";
#elif defined(_WIN32)
constexpr const char* kArchFolder = "/Contents/x86-win/";
constexpr const char* kLibrarySuffix = ".vst3";
#else
constexpr const char* kArchFolder = "/Contents/x86_64-linux/";
constexpr const char* kLibrarySuffix = ".so";
#endif

// A bundle and its Windows library share the suffix .vst3: the library is
// the one inside a Contents folder.
bool NamesLibrary(const std::string& path) {
#if defined(_WIN32)
    return path.find("/Contents/") != std::string::npos ||
           path.find("\\Contents\\") != std::string::npos;
#else
    return path.size() > 3 && path.compare(path.size() - 3, 3, ".so") == 0;
#endif
}

}  // namespace

std::string Vst3Module::LibraryInBundle(const std::string& bundle) {
    std::string root = bundle;
    while (!root.empty() && (root.back() == '/' || root.back() == '\\'))
        root.pop_back();
    const std::size_t slash = root.find_last_of("/\\");
    std::string name = root.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::size_t dot = name.rfind(".vst3");
    if (dot != std::string::npos)
        name.erase(dot);
    return root + kArchFolder + name + kLibrarySuffix;
}

std::unique_ptr<Vst3Module> Vst3Module::Load(const std::string& path, std::string* error) {
    return FromLibrary(NamesLibrary(path) ? path : LibraryInBundle(path), error);
}

std::unique_ptr<Vst3Module> Vst3Module::FromLibrary(const std::string& library,
                                                    std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error)
            *error = why;
        return nullptr;
    };
    std::string why;
    void* handle = PluginModule::OpenLibrary(library, &why);
    if (!handle)
        return fail("cannot load " + library + ": " + why);
    std::unique_ptr<Vst3Module> module(new Vst3Module());
    module->mHandle = handle;
    auto factory = reinterpret_cast<GetFactoryProc>(module->Symbol("GetPluginFactory"));
#if defined(_WIN32)
    const char* entryName = "InitDll";
    using Entry = bool (*)();
    auto entry = reinterpret_cast<Entry>(module->Symbol(entryName));
    const bool entered = entry && entry();
#else
    const char* entryName = "ModuleEntry";
    using Entry = bool (*)(void*);
    auto entry = reinterpret_cast<Entry>(module->Symbol(entryName));
    const bool entered = entry && entry(handle);
#endif
    if (!entry || !factory)
        return fail(library + " exports no " + entryName + " or GetPluginFactory");
    if (!entered)
        return fail(library + ": " + entryName + " refused");
    module->mFactory = factory();
    if (!module->mFactory)
        return fail(library + ": GetPluginFactory gave no factory");
    return module;
}

Vst3Module::~Vst3Module() {
    if (mFactory)
        mFactory->release();
    using Exit = bool (*)();
#if defined(_WIN32)
    const char* exitName = "ExitDll";
#else
    const char* exitName = "ModuleExit";
#endif
    if (auto exit = reinterpret_cast<Exit>(Symbol(exitName)))
        exit();
    if (mHandle)
        PluginModule::CloseLibrary(mHandle);
}

void* Vst3Module::Symbol(const char* name) const {
    return mHandle ? PluginModule::FindSymbol(mHandle, name) : nullptr;
}

// --- Streams, queues and the handler ---------------------------------------------

tresult PLUGIN_API Vst3MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
    if (!buffer || numBytes < 0)
        return kInvalidArgument;
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(numBytes),
                                                mBytes.size() - std::min(mPos, mBytes.size()));
    if (n > 0)
        std::memcpy(buffer, mBytes.data() + mPos, n);
    mPos += n;
    if (numBytesRead)
        *numBytesRead = static_cast<int32>(n);
    return kResultOk;
}

tresult PLUGIN_API Vst3MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
    if (!buffer || numBytes < 0)
        return kInvalidArgument;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    if (mBytes.size() < mPos + static_cast<std::size_t>(numBytes))
        mBytes.resize(mPos + static_cast<std::size_t>(numBytes));
    std::copy(bytes, bytes + numBytes, mBytes.begin() + static_cast<std::ptrdiff_t>(mPos));
    mPos += static_cast<std::size_t>(numBytes);
    if (numBytesWritten)
        *numBytesWritten = numBytes;
    return kResultOk;
}

tresult PLUGIN_API Vst3MemoryStream::seek(int64 pos, int32 mode, int64* result) {
    const int64 base = mode == kIBSeekSet   ? 0
                       : mode == kIBSeekCur ? static_cast<int64>(mPos)
                                            : static_cast<int64>(mBytes.size());
    if (base + pos < 0)
        return kInvalidArgument;
    mPos = static_cast<std::size_t>(base + pos);
    if (result)
        *result = static_cast<int64>(mPos);
    return kResultOk;
}

tresult PLUGIN_API Vst3MemoryStream::tell(int64* pos) {
    if (!pos)
        return kInvalidArgument;
    *pos = static_cast<int64>(mPos);
    return kResultOk;
}

void Vst3ParameterChanges::Add(ParamID id, int32 sampleOffset, double value) {
    int32 index = 0;
    IParamValueQueue* queue = addParameterData(id, index);
    int32 point = 0;
    queue->addPoint(sampleOffset, value, point);
}

void Vst3ParameterChanges::Replace(ParamID id, int32 sampleOffset, double value) {
    for (const std::unique_ptr<Queue>& queue : mQueues) {
        if (queue->getParameterId() == id)
            queue->ClearPoints();
    }
    Add(id, sampleOffset, value);
}

int32 PLUGIN_API Vst3ParameterChanges::getParameterCount() {
    return static_cast<int32>(mQueues.size());
}

IParamValueQueue* PLUGIN_API Vst3ParameterChanges::getParameterData(int32 index) {
    if (index < 0 || index >= getParameterCount())
        return nullptr;
    return mQueues[static_cast<std::size_t>(index)].get();
}

IParamValueQueue* PLUGIN_API Vst3ParameterChanges::addParameterData(const ParamID& id,
                                                                    int32& index) {
    for (std::size_t i = 0; i < mQueues.size(); ++i) {
        if (mQueues[i]->getParameterId() == id) {
            index = static_cast<int32>(i);
            return mQueues[i].get();
        }
    }
    mQueues.push_back(std::make_unique<Queue>(id));
    index = static_cast<int32>(mQueues.size() - 1);
    return mQueues.back().get();
}

int32 PLUGIN_API Vst3ParameterChanges::Queue::getPointCount() {
    return static_cast<int32>(mPoints.size());
}

tresult PLUGIN_API Vst3ParameterChanges::Queue::getPoint(int32 index, int32& sampleOffset,
                                                         ParamValue& value) {
    if (index < 0 || index >= getPointCount())
        return kInvalidArgument;
    sampleOffset = mPoints[static_cast<std::size_t>(index)].first;
    value = mPoints[static_cast<std::size_t>(index)].second;
    return kResultOk;
}

tresult PLUGIN_API Vst3ParameterChanges::Queue::addPoint(int32 sampleOffset, ParamValue value,
                                                         int32& index) {
    mPoints.emplace_back(sampleOffset, value);
    index = getPointCount() - 1;
    return kResultOk;
}

void Vst3RecordingHandler::Record(char kind, ParamID id, double value) {
    std::lock_guard<std::mutex> lock(mLock);
    mEdits.push_back({kind, id, value, std::this_thread::get_id()});
}

tresult PLUGIN_API Vst3RecordingHandler::beginEdit(ParamID id) {
    Record('b', id, 0.0);
    return kResultOk;
}

tresult PLUGIN_API Vst3RecordingHandler::performEdit(ParamID id, ParamValue value) {
    Record('p', id, value);
    return kResultOk;
}

tresult PLUGIN_API Vst3RecordingHandler::endEdit(ParamID id) {
    Record('e', id, 0.0);
    return kResultOk;
}

std::vector<Vst3RecordingHandler::Edit> Vst3RecordingHandler::Edits() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mEdits;
}

// --- An instance ------------------------------------------------------------------

Vst3Instance::Vst3Instance(const Vst3Module& module) {
    IPluginFactory* factory = module.Factory();
    PClassInfo info{};
    const int32 classes = factory ? factory->countClasses() : 0;
    for (int32 i = 0; i < classes && mClassIndex < 0; ++i) {
        if (factory->getClassInfo(i, &info) == kResultOk &&
            std::strncmp(info.category, kVstAudioEffectClass, sizeof(info.category)) == 0)
            mClassIndex = i;
    }
    if (mClassIndex < 0)
        return;
    void* component = nullptr;
    if (factory->createInstance(info.cid, IComponent::iid.bytes, &component) != kResultOk)
        return;
    mComponent = static_cast<IComponent*>(component);
    void* processor = nullptr;
    void* controller = nullptr;
    mComponent->queryInterface(IAudioProcessor::iid.bytes, &processor);
    mComponent->queryInterface(IEditController::iid.bytes, &controller);
    mProcessor = static_cast<IAudioProcessor*>(processor);
    mController = static_cast<IEditController*>(controller);
    mComponent->initialize(nullptr);
}

Vst3Instance::~Vst3Instance() {
    Stop();
    if (mComponent)
        mComponent->terminate();
    if (mController)
        mController->release();
    if (mProcessor)
        mProcessor->release();
    if (mComponent)
        mComponent->release();
}

tresult Vst3Instance::Start(double rate, int maxBlock, int sampleSize, int processMode) {
    if (!mProcessor)
        return kNotInitialized;
    ProcessSetup setup{processMode, sampleSize, maxBlock, rate};
    tresult result = mProcessor->setupProcessing(setup);
    if (result == kResultOk)
        result = mComponent->setActive(1);
    mActive = result == kResultOk;
    if (result == kResultOk)
        result = mProcessor->setProcessing(1);
    return result;
}

void Vst3Instance::Stop() {
    if (mActive && mProcessor)
        mProcessor->setProcessing(0);
    if (mActive && mComponent)
        mComponent->setActive(0);
    mActive = false;
}

template <typename Sample>
tresult Vst3Instance::Run(Sample** in, int inChannels, Sample** out, int outChannels, int frames,
                          IParameterChanges* changes) {
    AudioBusBuffers inBus{};
    AudioBusBuffers outBus{};
    inBus.numChannels = inChannels;
    outBus.numChannels = outChannels;
    ProcessData data{};
    data.processMode = kRealtime;
    data.numSamples = frames;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    data.inputParameterChanges = changes;
    if constexpr (sizeof(Sample) == sizeof(double)) {
        data.symbolicSampleSize = kSample64;
        inBus.channelBuffers64 = in;
        outBus.channelBuffers64 = out;
    } else {
        data.symbolicSampleSize = kSample32;
        inBus.channelBuffers32 = in;
        outBus.channelBuffers32 = out;
    }
    // Set, as a host's are, before the call: a plug-in that says nothing
    // leaves them meaning "maybe sound".
    outBus.silenceFlags = 0;
    const tresult result = mProcessor ? mProcessor->process(data) : kNotInitialized;
    mLastSilenceFlags = outBus.silenceFlags;
    return result;
}

tresult Vst3Instance::Process(double** in, double** out, int channels, int frames,
                              IParameterChanges* changes) {
    return Run(in, channels, out, channels, frames, changes);
}

tresult Vst3Instance::Process(float** in, float** out, int channels, int frames,
                              IParameterChanges* changes) {
    return Run(in, channels, out, channels, frames, changes);
}

tresult Vst3Instance::Process(double** in, int inChannels, double** out, int outChannels,
                              int frames) {
    return Run(in, inChannels, out, outChannels, frames, nullptr);
}

tresult Vst3Instance::Process(float** in, int inChannels, float** out, int outChannels,
                              int frames) {
    return Run(in, inChannels, out, outChannels, frames, nullptr);
}

std::vector<unsigned char> Vst3Instance::State() {
    Vst3MemoryStream stream;
    if (!mComponent || mComponent->getState(&stream) != kResultOk)
        return {};
    return stream.Bytes();
}
