// The LV2 host adapter: owns the port connections, what the host offers
// (URID map, worker, block length) and the state chunk, and turns the LV2
// descriptor's callbacks into IPlugBase operations under the plug-in mutex.
// In the UI binary the same object carries the editor and hands its gestures
// to the host through the UI link. A concrete plug-in derives from it.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <vector>

#include "framework/IPlugAudio.h"

class IPlugLV2 : public IPlugAudio {
  public:
    // The plug-in's and its UI's URIs: chosen once, never to change, since
    // hosts store them in every session.
    static constexpr const char* kUri = "urn:brightfall:reverb";
    static constexpr const char* kUiUri = "urn:brightfall:reverb#ui";
    // The key the state chunk is stored under.
    static constexpr const char* kStateKeyUri = "urn:brightfall:reverb#chunk";
    // Scratch size when the host announces no maximum block length.
    static constexpr int kDefaultBlockFrames = 1024;

    explicit IPlugLV2(const IPlugConfig& config);
    ~IPlugLV2() override;

    // Ports in the order the description declares them: input pins, output
    // pins, then one control input per parameter. -1 when not a control.
    std::uint32_t ControlPortOf(int index) const {
        return static_cast<std::uint32_t>(NInChannels() + NOutChannels() + index);
    }
    int ParameterOfPort(std::uint32_t port) const;

    // The host's side of the UI binary's editor. [UI thread, before opening]
    struct UiLink {
        LV2UI_Write_Function write = nullptr;
        LV2UI_Controller controller = nullptr;
        const LV2UI_Touch* touch = nullptr;
    };
    void SetUiLink(const UiLink& link) { mUi = link; }
    // [UI thread] A control port's value from the host (port_event): the
    // parameter and its knob follow; nothing is synthesised in the UI binary.
    void SetParameterFromHost(int index, double value);

    // The editor's open window as the X11 window id the host embeds, or
    // null; the plug-in knows its editor's window class. [UI thread]
    virtual void* EditorWindowHandle() const { return nullptr; }

    // IPlugBase's host-facing operations. In the DSP binary there is no UI
    // link and they do nothing. [editor thread, no mutex taken]
    void BeginParameterGesture(int index) override;
    void EndParameterGesture(int index) override;
    // [editor thread, mutex held] The value in the parameter's own units,
    // written to its control port.
    void ReportParameterToHost(int index, double normalised) override;
    void GetTimeSignature(int* numerator, int* denominator) override;
    void GetTransportInfo(ITimeInfo* info) override;
    void EditorResized(int, int) override { OnEditorResized(); }
    bool SendMidiMessage(const MidiMessage&) override { return false; }
    // [editor thread] A knob moved: in the UI binary the value goes to the
    // host, which sends it to the DSP's port; the editor's own copy of the
    // engine is left alone.
    void SetParameterFromEditor(int index, double normalised) override;

    // The data of the host's feature `uri`, or null when it offers none.
    static const void* FindFeature(const LV2_Feature* const* features, const char* uri);

    // The descriptor the DSP binary's lv2_descriptor hands out.
    static const LV2_Descriptor* Descriptor();

  private:
    // The descriptor's callbacks. Each lets no exception reach the host.
    // [instantiation thread]
    static LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate,
                                  const char* bundlePath, const LV2_Feature* const* features);
    // [audio thread, or the instantiation thread while not running]
    static void ConnectPort(LV2_Handle instance, std::uint32_t port, void* data);
    // [instantiation thread]
    static void Activate(LV2_Handle instance);
    // [audio thread] Takes the plug-in mutex, treats subnormals as zero.
    static void Run(LV2_Handle instance, std::uint32_t frames);
    // [instantiation thread]
    static void Deactivate(LV2_Handle instance);
    // [instantiation thread] The worker has been stopped by then.
    static void Cleanup(LV2_Handle instance);
    // [any host thread]
    static const void* ExtensionData(const char* uri);
    // State extension. [instantiation thread, never during run]
    static LV2_State_Status StateSave(LV2_Handle instance, LV2_State_Store_Function store,
                                      LV2_State_Handle handle, std::uint32_t flags,
                                      const LV2_Feature* const* features);
    static LV2_State_Status StateRestore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                                         LV2_State_Handle handle, std::uint32_t flags,
                                         const LV2_Feature* const* features);
    // Loads a retrieved chunk. [instantiation thread, mutex held]
    LV2_State_Status RestoreChunk(const void* data, std::size_t size);
    // Why a state call cannot be served (no instance, no store or retrieve
    // function, no URID map); LV2_STATE_SUCCESS when it can.
    static LV2_State_Status StateRefusal(const IPlugLV2* plug, bool hostFunction);
    // Worker extension. [the host's worker thread]
    static LV2_Worker_Status Work(LV2_Handle instance, LV2_Worker_Respond_Function respond,
                                  LV2_Worker_Respond_Handle handle, std::uint32_t size,
                                  const void* data);
    // [audio thread, between two runs]
    static LV2_Worker_Status WorkResponse(LV2_Handle instance, std::uint32_t size,
                                          const void* body);

    void TakeHostFeatures(double rate, const LV2_Feature* const* features);
    // Reads every control port and applies what changed. [audio thread, mutex held]
    void ReadControlPorts();
    // The value a control port's reading `v` (not NaN) sets parameter `index` to.
    double PortTarget(int index, float v);
    // The state chunk (header and values) into mState, with values written
    // to the control ports but not yet run taken in. [any host thread, mutex held]
    bool SaveStateWithPendingPorts();
    // A parameter's new value: a costly one is prepared aside (IPlugAudio).
    void ApplyParameter(int index);
    // [audio thread, mutex held] Hands a costly change to the host's worker;
    // false without one or when its queue is full.
    bool ScheduleDeferredWork(const DeferredChange& change) override;
    struct WorkResult;

    std::vector<float*> mAudioIn, mAudioOut;
    std::vector<const float*> mControls;
    // The last value seen on each control port: a port is applied only when
    // it changes, so a value out of range is not clamped anew every run.
    std::vector<float> mSeen;
    LV2_URID_Map* mMap = nullptr;
    LV2_URID mChunkType = 0;
    LV2_URID mStateKey = 0;
    const LV2_Worker_Schedule* mSchedule = nullptr;
    // Whether run has come since the last activation. [audio thread]
    bool mHasRun = false;
    StateChunk mState;
    UiLink mUi;
};
