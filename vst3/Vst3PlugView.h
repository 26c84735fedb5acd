// The VST 3 view of the plug-in's own editor: opens the editor's window
// inside the host's X11 window (an HWND on Windows), and where the host's
// frame offers a run loop, drives the editor and delivers its edits from
// that loop's timer.
// Made by IPlugVST3::createView, holds a reference to the plug-in, released
// by the host. The host calls every method on its UI thread.
#pragma once

#include <atomic>

#include "vst3/Vst3ViewAbi.h"

class IPlugVST3;

class Vst3PlugView final : public vst3::IPlugView, public vst3::linux_ui::ITimerHandler {
  public:
    // The editor's repaint period, and the timer's.
    static constexpr vst3::uint64 kTimerMs = 40;

    explicit Vst3PlugView(IPlugVST3& plug);
    Vst3PlugView(const Vst3PlugView&) = delete;
    Vst3PlugView& operator=(const Vst3PlugView&) = delete;

    vst3::tresult PLUGIN_API queryInterface(const vst3::TUID id, void** obj) override;
    vst3::uint32 PLUGIN_API addRef() override;
    // The last release removes a view still attached.
    vst3::uint32 PLUGIN_API release() override;

    // X11EmbedWindowID on Linux, HWND on Windows.
    vst3::tresult PLUGIN_API isPlatformTypeSupported(vst3::FIDString type) override;
    // Opens the editor in `parent` (an X11 window id or an HWND); registers the timer
    // with the frame's run loop when there is one.
    vst3::tresult PLUGIN_API attached(void* parent, vst3::FIDString type) override;
    // Closes the editor (a press in progress ends its gesture) and
    // unregisters the timer.
    vst3::tresult PLUGIN_API removed() override;
    vst3::tresult PLUGIN_API onWheel(float) override { return vst3::kResultFalse; }
    vst3::tresult PLUGIN_API onKeyDown(vst3::char16, vst3::int16, vst3::int16) override {
        return vst3::kResultFalse;
    }
    vst3::tresult PLUGIN_API onKeyUp(vst3::char16, vst3::int16, vst3::int16) override {
        return vst3::kResultFalse;
    }
    // The editor's fixed size, 404 x 250.
    vst3::tresult PLUGIN_API getSize(vst3::ViewRect* size) override;
    vst3::tresult PLUGIN_API onSize(vst3::ViewRect* newSize) override;
    vst3::tresult PLUGIN_API onFocus(vst3::TBool) override { return vst3::kResultOk; }
    // Not owned: the host's frame outlives the view's attachment.
    vst3::tresult PLUGIN_API setFrame(vst3::IPlugFrame* frame) override;
    vst3::tresult PLUGIN_API canResize() override { return vst3::kResultFalse; }
    vst3::tresult PLUGIN_API checkSizeConstraint(vst3::ViewRect* rect) override;

    // [UI thread, from the host's run loop] The editor's periodic work
    // (events, repaint), then the edits it made on its own thread.
    void PLUGIN_API onTimer() override;

  private:
    ~Vst3PlugView();
    vst3::ViewRect EditorRect() const;

    IPlugVST3& mPlug;
    std::atomic<vst3::uint32> mRefs{1};
    vst3::IPlugFrame* mFrame = nullptr;
    vst3::linux_ui::IRunLoop* mRunLoop = nullptr;  // one reference held while attached
    bool mAttached = false;
};
