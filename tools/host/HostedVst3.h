// A VST 3 plug-in as a HostedPlugin: a Vst3Instance of the module's audio
// processor class, whose component is its own edit controller, and the
// format's calls behind each operation: parameter infos and texts from the
// controller, the component's state through a memory stream, bus
// arrangements, process calls in the sample size set up. The host's bypass
// parameter is left out of the parameters: a render runs the effect. Owns
// the instance. Made by HostedModule; driven by one thread at a time.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/host/HostedPlugin.h"
#include "tools/host/Vst3Host.h"

class HostedVst3 final : public HostedPlugin {
  public:
    // Instantiates the module's audio processor class; null, with the
    // reason in *error (which names the module as `path`), when there is
    // none this host can drive.
    static std::unique_ptr<HostedVst3> Open(const Vst3Module& module, const std::string& path,
                                            std::string* error);
    ~HostedVst3() override;

    const PluginIdentity& Identity() const override { return mIdentity; }
    int Inputs() const override { return mInputs; }
    int Outputs() const override { return mOutputs; }
    bool CanDouble() const override;
    bool CanSingle() const override;
    long TailFrames() override;
    int Latency() override;

    int ParameterCount() const override { return static_cast<int>(mParams.size()); }
    std::string ParameterName(int index) override;
    std::string ParameterLabel(int index) override;
    std::string ParameterDisplay(int index) override;
    std::string FormatValue(int index, double normalised) override;
    bool SetFromText(int index, const std::string& text) override;
    double Normalised(int index) override;
    void SetNormalised(int index, double value) override;

    bool SavesState() const override { return true; }
    std::vector<unsigned char> State() override { return mInstance->State(); }
    bool SetState(const std::vector<unsigned char>& bytes) override;

    void SetupProcessing(double rate, int maxBlock, bool doublePrecision) override;
    bool SetChannels(int inputs, int outputs) override;
    bool SetActive(bool on) override;
    bool Process(double** in, double** out, int frames) override;
    bool Process(float** in, float** out, int frames) override;

  private:
    explicit HostedVst3(const Vst3Module& module);
    // The main bus's channels that way, from its info; 0 when it has none.
    int BusChannels(vst3::BusDirection direction) const;

    std::unique_ptr<Vst3Instance> mInstance;
    PluginIdentity mIdentity;
    int mInputs = 0, mOutputs = 0;
    // Channels of the arrangements in use, each way.
    int mInUse = 0, mOutUse = 0;
    std::vector<vst3::ParameterInfo> mParams;
    double mRate = 44100.0;
    int mMaxBlock = 1024;
    int mSampleSize = vst3::kSample64;
};
