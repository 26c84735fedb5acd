// A VST 2 plug-in as a HostedPlugin: its VstHost, the instance opened
// (effOpen) once its record has been checked, and the format's calls behind
// each operation: dispatcher opcodes, the parameter callbacks and the
// replacing process callbacks. Owns the VstHost and the last state handed
// to the plug-in. Made by HostedModule; driven by one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/host/HostedPlugin.h"
#include "tools/host/VstHost.h"

class HostedVst2 final : public HostedPlugin {
  public:
    // Calls the module's entry point and opens the instance; null, with
    // the reason in *error, when it gives no usable audio effect.
    static std::unique_ptr<HostedVst2> Open(const PluginModule& module,
                                            const HostIdentity& identity, std::string* error);
    ~HostedVst2() override;

    const PluginIdentity& Identity() const override { return mIdentity; }
    int Inputs() const override { return mEffect->numInputs; }
    int Outputs() const override { return mEffect->numOutputs; }
    bool CanDouble() const override;
    bool CanSingle() const override;
    long TailFrames() override;
    int Latency() override { return mEffect->initialDelay; }

    int ParameterCount() const override { return mEffect->numParams; }
    std::string ParameterName(int index) override { return Text(effGetParamName, index); }
    std::string ParameterLabel(int index) override { return Text(effGetParamLabel, index); }
    std::string ParameterDisplay(int index) override { return Text(effGetParamDisplay, index); }
    std::string FormatValue(int index, double normalised) override;
    bool SetFromText(int index, const std::string& text) override;
    double Normalised(int index) override;
    void SetNormalised(int index, double value) override;

    bool SavesState() const override { return (mEffect->flags & effFlagsProgramChunks) != 0; }
    std::vector<unsigned char> State() override;
    bool SetState(const std::vector<unsigned char>& bytes) override;

    void SetupProcessing(double rate, int maxBlock, bool doublePrecision) override;
    bool SetChannels(int inputs, int outputs) override;
    bool SetActive(bool on) override;
    bool Process(double** in, double** out, int frames) override;
    bool Process(float** in, float** out, int frames) override;

  private:
    explicit HostedVst2(std::unique_ptr<VstHost> host);
    // A text the dispatcher writes for parameter `index`, trimmed.
    std::string Text(VstInt32 opcode, int index, float opt = 0.0f);

    std::unique_ptr<VstHost> mHost;
    AEffect* mEffect;
    PluginIdentity mIdentity;
    bool mActive = false;
    // The last state handed to the plug-in, which it may go on reading.
    std::vector<unsigned char> mLoadedState;
};
