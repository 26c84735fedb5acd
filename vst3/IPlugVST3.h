// The VST 3 host adapter: one object that is the component, the audio
// processor and the edit controller of a single-component effect. Owns the
// bus arrangements, the host's component handler, the state chunk and the
// bypass switch, and turns the host's interface calls into IPlugBase
// operations under the plug-in mutex. Made by the module's factory, released
// by the host; a concrete plug-in derives from it.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/IPlugAudio.h"
#include "vst3/Vst3ProcessorAbi.h"
#include "vst3/Vst3ViewAbi.h"

namespace vst3_sides {

// IComponent and IEditController both name their state calls setState and
// getState, with the same signatures but different states: each side gets
// an override of its own that forwards to a name of its own.
class ComponentSide : public vst3::IComponent {
  public:
    vst3::tresult PLUGIN_API setState(vst3::IBStream* state) final {
        return SetComponentChunk(state);
    }
    vst3::tresult PLUGIN_API getState(vst3::IBStream* state) final {
        return GetComponentChunk(state);
    }

  protected:
    ~ComponentSide() = default;
    virtual vst3::tresult SetComponentChunk(vst3::IBStream* state) = 0;
    virtual vst3::tresult GetComponentChunk(vst3::IBStream* state) = 0;
};

class ControllerSide : public vst3::IEditController {
  public:
    vst3::tresult PLUGIN_API setState(vst3::IBStream* state) final {
        return SetControllerState(state);
    }
    vst3::tresult PLUGIN_API getState(vst3::IBStream* state) final {
        return GetControllerState(state);
    }

  protected:
    ~ControllerSide() = default;
    virtual vst3::tresult SetControllerState(vst3::IBStream* state) = 0;
    virtual vst3::tresult GetControllerState(vst3::IBStream* state) = 0;
};

}  // namespace vst3_sides

class Vst3PlugView;

class IPlugVST3 : public IPlugAudio,
                  public vst3_sides::ComponentSide,
                  public vst3::IAudioProcessor,
                  public vst3_sides::ControllerSide,
                  public vst3::IProcessContextRequirements {
  public:
    // The bypass switch's parameter id, apart from the plug-in's own, which
    // are their indices. Hosts store it with automation: never to change.
    static constexpr vst3::ParamID kBypassId = 0x42797073;  // 'Byps'
    // Scratch size until the host announces its largest block.
    static constexpr int kDefaultBlockFrames = 1024;

    explicit IPlugVST3(const IPlugConfig& config);
    ~IPlugVST3() override;

    // --- FUnknown [any thread] ------------------------------------------------
    vst3::tresult PLUGIN_API queryInterface(const vst3::TUID id, void** obj) override;
    vst3::uint32 PLUGIN_API addRef() override;
    // The last release ends the preparation thread (a change in progress
    // finishes first), closes an open editor and destroys the plug-in.
    vst3::uint32 PLUGIN_API release() override;

    // --- IPluginBase, for the component and the controller alike [UI thread]
    // Every parameter applied once, as a VST 2 host's effOpen does, and the
    // plug-in's preparation thread started; calling it again changes nothing.
    vst3::tresult PLUGIN_API initialize(vst3::FUnknown* context) override;
    vst3::tresult PLUGIN_API terminate() override;

    // --- IComponent [UI thread] ----------------------------------------------
    // kNotImplemented: the controller is this object (query IEditController).
    vst3::tresult PLUGIN_API getControllerClassId(vst3::TUID classId) override;
    vst3::tresult PLUGIN_API setIoMode(vst3::IoMode mode) override;
    vst3::int32 PLUGIN_API getBusCount(vst3::MediaType type, vst3::BusDirection dir) override;
    vst3::tresult PLUGIN_API getBusInfo(vst3::MediaType type, vst3::BusDirection dir,
                                        vst3::int32 index, vst3::BusInfo& bus) override;
    vst3::tresult PLUGIN_API getRoutingInfo(vst3::RoutingInfo& inInfo,
                                            vst3::RoutingInfo& outInfo) override;
    vst3::tresult PLUGIN_API activateBus(vst3::MediaType type, vst3::BusDirection dir,
                                         vst3::int32 index, vst3::TBool state) override;
    // On: OnActivation and a reset, as the LV2 adapter's activate; off:
    // OnActivation. Takes the mutex; a resulting synthesis runs after it.
    vst3::tresult PLUGIN_API setActive(vst3::TBool state) override;

    // --- IAudioProcessor -------------------------------------------------------
    // [UI thread, inactive] Mono or stereo, the same each way, as the
    // plug-in's channel pairs allow; anything else kResultFalse, unchanged.
    vst3::tresult PLUGIN_API setBusArrangements(vst3::SpeakerArrangement* inputs,
                                                vst3::int32 numIns,
                                                vst3::SpeakerArrangement* outputs,
                                                vst3::int32 numOuts) override;
    // [UI thread]
    vst3::tresult PLUGIN_API getBusArrangement(vst3::BusDirection dir, vst3::int32 index,
                                               vst3::SpeakerArrangement& arr) override;
    // [UI thread] 32 and 64-bit samples, each processed as it comes.
    vst3::tresult PLUGIN_API canProcessSampleSize(vst3::int32 symbolicSampleSize) override;
    // [UI thread]
    vst3::uint32 PLUGIN_API getLatencySamples() override;
    // [UI thread, inactive] Rate and largest block: scratch space sized
    // (allocates), then a reset.
    vst3::tresult PLUGIN_API setupProcessing(vst3::ProcessSetup& setup) override;
    // [UI thread or audio thread] Nothing to do: processing needs no start.
    vst3::tresult PLUGIN_API setProcessing(vst3::TBool state) override;
    // [audio thread] Parameter queues, then the block (none when numSamples
    // is 0, a host's flush); a new Sustain goes to the preparation thread.
    // Takes the mutex, allocates nothing, lets no exception out.
    vst3::tresult PLUGIN_API process(vst3::ProcessData& data) override;
    // [UI thread] The current response's length: what the output may go on
    // for after the input stops.
    vst3::uint32 PLUGIN_API getTailSamples() override;

    // --- IProcessContextRequirements [UI thread] -----------------------------
    // Nothing: the reverb reads no transport.
    vst3::uint32 PLUGIN_API getProcessContextRequirements() override { return 0; }

    // --- IEditController [UI thread] -----------------------------------------
    // The component's chunk, handed to the controller: the same object, so
    // only a chunk that differs from the parameters is loaded again.
    vst3::tresult PLUGIN_API setComponentState(vst3::IBStream* state) override;
    // Wet/Dry and Sustain by their indices, then the bypass switch.
    vst3::int32 PLUGIN_API getParameterCount() override;
    vst3::tresult PLUGIN_API getParameterInfo(vst3::int32 paramIndex,
                                              vst3::ParameterInfo& info) override;
    vst3::tresult PLUGIN_API getParamStringByValue(vst3::ParamID id,
                                                   vst3::ParamValue valueNormalized,
                                                   vst3::String128 string) override;
    vst3::tresult PLUGIN_API getParamValueByString(vst3::ParamID id, vst3::TChar* string,
                                                   vst3::ParamValue& valueNormalized) override;
    vst3::ParamValue PLUGIN_API normalizedParamToPlain(vst3::ParamID id,
                                                       vst3::ParamValue valueNormalized) override;
    vst3::ParamValue PLUGIN_API plainParamToNormalized(vst3::ParamID id,
                                                       vst3::ParamValue plainValue) override;
    vst3::ParamValue PLUGIN_API getParamNormalized(vst3::ParamID id) override;
    // Sets the parameter and its knob (never reported back to the host); a
    // costly change is prepared on this thread once the mutex is free.
    vst3::tresult PLUGIN_API setParamNormalized(vst3::ParamID id, vst3::ParamValue value) override;
    vst3::tresult PLUGIN_API setComponentHandler(vst3::IComponentHandler* handler) override;
    // "editor": the plug-in's own editor in a view, one at a time.
    vst3::IPlugView* PLUGIN_API createView(vst3::FIDString name) override;

    // --- IPlugBase's host-facing operations -----------------------------------
    // [editor thread or UI thread] Through the host's component handler; on
    // a thread other than the one the view's run loop runs, queued for that
    // loop, since hosts take edits on their UI thread only.
    void BeginParameterGesture(int index) override;
    // [editor thread, mutex held] The new normalised value, for automation.
    void ReportParameterToHost(int index, double normalised) override;
    void EndParameterGesture(int index) override;
    void GetTimeSignature(int* numerator, int* denominator) override;
    void GetTransportInfo(ITimeInfo* info) override;
    void EditorResized(int, int) override { OnEditorResized(); }
    bool SendMidiMessage(const MidiMessage&) override { return false; }

    // What the view tells the adapter. [UI thread]
    // While set, edits made on other threads wait for DeliverQueuedEdits,
    // called by the view's timer on the run loop's thread (the caller's).
    void RouteEditsThroughUiThread(bool route);
    void DeliverQueuedEdits();
    void ViewGone(const Vst3PlugView* view);

  private:
    // The plug-in's parameter a host's id names (its index), or null: for
    // the bypass switch and ids that do not exist. [mutex held]
    const IParameter* ParameterOf(vst3::ParamID id) const;
    vst3::tresult SetComponentChunk(vst3::IBStream* state) override;
    vst3::tresult GetComponentChunk(vst3::IBStream* state) override;
    // The controller keeps no state of its own.
    vst3::tresult SetControllerState(vst3::IBStream* state) override;
    vst3::tresult GetControllerState(vst3::IBStream*) override { return vst3::kResultOk; }

    // The host's stream, read whole into `bytes` (at most kMaxChunkBytes).
    static bool ReadStream(vst3::IBStream* stream, std::vector<unsigned char>& bytes);
    // Loads a whole chunk of ours into the parameters; false, nothing
    // changed, for one cut short. [mutex held]
    bool LoadChunk(const std::vector<unsigned char>& bytes);
    // [audio thread, mutex held]
    vst3::tresult ProcessLocked(vst3::ProcessData& data);
    // The parameter changes of one process call, sample-accurately: each
    // point takes effect at its offset, the block being processed in pieces
    // between them (at most kMaxSplitQueues queues are followed point by
    // point; any beyond, each at its last point from the start).
    class ChangeCursor;
    static constexpr int kMaxSplitQueues = 8;
    // One piece of the block: the process call's audio from `start` on,
    // `frames` long; true when the plug-in took it as silence.
    template <typename Sample>
    bool ProcessPiece(Sample** in, Sample** out, int start, int frames);
    // A parameter's new normalised value from the host; a costly change
    // goes through IPlugAudio's deferral. [mutex held]
    void ApplyNormalised(vst3::ParamID id, double value);
    template <typename Sample>
    void CopyThrough(Sample** in, Sample** out, int frames);

    enum class EditKind { kBegin, kPerform, kEnd };
    void SendEdit(EditKind kind, int index, double value);
    struct QueuedEdit {
        EditKind kind;
        vst3::ParamID id;
        double value;
    };

    std::atomic<vst3::uint32> mRefs{1};
    bool mInitialized = false;
    bool mActive = false;
    bool mBypass = false;
    vst3::SpeakerArrangement mInputArrangement = vst3::kArrStereo;
    vst3::SpeakerArrangement mOutputArrangement = vst3::kArrStereo;
    // The host's handler, one reference held. [set under the mutex]
    vst3::IComponentHandler* mHandler = nullptr;
    const Vst3PlugView* mView = nullptr;  // the open view, not owned
    StateChunk mState;
    // Edits waiting for the UI thread, and that thread.
    std::mutex mEditLock;
    std::vector<QueuedEdit> mQueuedEdits;
    std::thread::id mUiThread;
    bool mRouteEdits = false;
};
