// Brightfall, the reverb plug-in: declares "Wet/Dry" and "Sustain", turns
// them into reverb settings and hands each audio block to the reverb engine,
// which it owns by value. One object per instance, built by the entry point
// and destroyed by effClose.
#pragma once

#include "dsp/ReverbEngine.h"
#include "vst2/IPlugVST.h"

class Brightfall : public IPlugVST {
  public:
    enum Param { kWetDry = 0, kSustain = 1, kNumParams };

    explicit Brightfall(audioMasterCallback host);
    ~Brightfall() override = default;

    static IPlugConfig Config();

    // [any host thread] Prepares the reverb anew and re-applies both
    // parameters, which synthesises fresh responses. Takes the mutex.
    void OnReset() override;
    // [any thread] Mix or sustain from the parameter's new value. Takes the
    // mutex; a "Sustain" change re-synthesises (a few milliseconds).
    void OnParameterChanged(int index) override;
    // [audio thread, mutex held]
    void ProcessBlock(double** inputs, double** outputs, int frames) override;

    // The editor's geometry: fixed size, knob positions derived from it.
    void OnEditorResized() override {}

    const ReverbEngine& Engine() const { return engine; }

    static constexpr int kKnobStripId = 101;
    static constexpr int kBackgroundId = 102;
    static constexpr const char* kKnobStripName = "resources/img/knob_64x64px_31frames.png";
    static constexpr const char* kBackgroundName = "resources/img/duskmere_back_404x250px.png";
    static constexpr int kKnobFrames = 31;

  private:
    // Background and the two knobs, handed to the base with AttachEditor.
    void BuildEditor();

    ReverbEngine engine;
    int editorWidth = 404;
    int editorHeight = 250;
    int knob1X = 0, knob1Y = 0;
    int knob2X = 0, knob2Y = 0;
};
