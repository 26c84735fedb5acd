// Brightfall, the reverb plug-in: declares "Wet/Dry" and "Sustain", turns
// them into reverb settings and hands each audio block to the reverb engine,
// which it owns. One object per instance, built by the entry point
// and destroyed by effClose (VST 2), cleanup (LV2) or its last release
// (VST 3). Each module build picks the format adapter it derives from; the
// rest is the same code.
#pragma once

#include <memory>

#include "dsp/ReverbEngine.h"
#if defined(BRIGHTFALL_LV2)
#include "lv2/IPlugLV2.h"
using BrightfallFormat = IPlugLV2;
#elif defined(BRIGHTFALL_VST3)
#include "vst3/IPlugVST3.h"
using BrightfallFormat = IPlugVST3;
#else
#include "vst2/IPlugVST.h"
using BrightfallFormat = IPlugVST;
#endif

class Brightfall : public BrightfallFormat {
  public:
    enum Param { kWetDry = 0, kSustain = 1, kNumParams };

#if defined(BRIGHTFALL_LV2)
    // Without the engine: the LV2 UI binary's object, which only carries
    // the parameters and the editor (nothing synthesised, nothing processed).
    explicit Brightfall(bool withEngine = true);
#elif defined(BRIGHTFALL_VST3)
    Brightfall();
#else
    explicit Brightfall(audioMasterCallback host);
#endif
    ~Brightfall() override = default;

    static IPlugConfig Config();

    // [any host thread] Prepares the reverb anew and re-applies both
    // parameters, which synthesises fresh responses. Takes the mutex.
    void OnReset() override;
    // [any thread] Mix or sustain from the parameter's new value. Takes the
    // mutex; a "Sustain" change re-synthesises (a few milliseconds), aside
    // where the spare engine exists.
    void OnParameterChanged(int index) override;
    // [audio thread, mutex held]
    void ProcessBlock(double** inputs, double** outputs, int frames) override;
    bool ProcessSilence(int frames) override;
    // [any host thread, mutex held] The length of the response in use.
    int TailSamples() override;

    // A new Sustain is synthesised into a spare engine and swapped in by
    // pointer between two process calls (see IPlugAudio): on the thread that
    // set it, on the host's worker, or in slices on the audio thread.
    // [host thread before processing] Allocates the spare engine and reserves
    // both engines for any Sustain.
    bool EnableDeferredChanges() override;
    // [mutex held] Notes whether the engine in use is laid out and, for a
    // change on the audio thread, takes that thread's noise for it.
    bool DeferParameterChange(DeferredChange& change) override;
    // [the spare's holder, no mutex] Synthesises into the spare engine only.
    bool PrepareDeferredChange(const DeferredChange& change) override;
    // [audio thread, mutex held] The same in slices, allocating nothing.
    bool BeginSlicedChange(const DeferredChange& change) override;
    bool ContinueSlicedChange(int frames) override;
    // [mutex held] Swaps the engines by pointer.
    void CommitDeferredChange(const DeferredChange& change) override;
    // [the changing thread, mutex held] Draws the noise a superseded
    // synthesis would have drawn on this thread.
    void SupersedeDeferredChange(int index, double value) override;
    // [mutex held] Synthesises into the engine in use.
    void ApplyParameterInPlace(int index) override;

    // The editor's geometry: fixed size, knob positions derived from it.
    void OnEditorResized() override {}

#if defined(BRIGHTFALL_LV2)
    // [UI thread] The editor's child window, for the LV2 host to embed.
    void* EditorWindowHandle() const override;
#endif

    // The engine in use, for tests: objects with an engine only.
    const ReverbEngine& Engine() const {
        return *current;
    }

    static constexpr int kKnobStripId = 101;
    static constexpr int kBackgroundId = 102;
    static constexpr const char* kKnobStripName = "resources/img/knob_64x64px_31frames.png";
    static constexpr const char* kBackgroundName = "resources/img/duskmere_back_404x250px.png";
    static constexpr int kKnobFrames = 31;

  private:
    // Background and the two knobs, handed to the base with AttachEditor.
    void BuildEditor();

    // The engine the audio runs through is `current`; `spare` exists once
    // changes are prepared aside, and takes turns with `engine` as `aside`.
    // All are null in the LV2 UI's object.
    std::unique_ptr<ReverbEngine> engine;
    std::unique_ptr<ReverbEngine> spare;
    ReverbEngine* current = nullptr;
    ReverbEngine* aside = nullptr;
    int editorWidth = 404;
    int editorHeight = 250;
    int knob1X = 0, knob1Y = 0;
    int knob2X = 0, knob2Y = 0;
};
