// One opened plug-in instance as the tools see it, whatever its format: what
// it is, its pins, its parameters in its own units, its saved state, and
// processing in blocks. HostedVst2 implements it over VstHost, HostedVst3
// over Vst3Instance; HostedModule makes them. The command-line renderer and
// OfflineRenderer drive an instance through this alone. One thread at a
// time drives an instance: the thread that opened it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class PluginFormat { kVst2, kVst3 };

// What the plug-in says of itself.
struct PluginIdentity {
    PluginFormat format = PluginFormat::kVst2;
    std::string name;
    std::string vendor;
    std::string version;
    // The class as the format names it: a VST 2 unique id as its four
    // characters in quotes (or in hex), a VST 3 class id in 32 hex digits.
    std::string id;

    // "VST 2" or "VST 3", for messages.
    const char* FormatName() const;
    // Whether this is the plug-in known by these ids, in its own format.
    bool Is(std::int32_t vst2UniqueId, const std::string& vst3ClassId) const;
    // A VST 2 unique id as `id` shows it: 'hd46', or 0x... when it is not text.
    static std::string Vst2IdText(std::int32_t uniqueId);
};

// A text a plug-in gave (a name, a display), without the spaces around it.
std::string TrimmedText(const std::string& text);

class HostedPlugin {
  public:
    virtual ~HostedPlugin() = default;
    HostedPlugin(const HostedPlugin&) = delete;
    HostedPlugin& operator=(const HostedPlugin&) = delete;

    virtual const PluginIdentity& Identity() const = 0;
    // Channels of the main input and output, as the plug-in offers them.
    virtual int Inputs() const = 0;
    virtual int Outputs() const = 0;
    virtual bool CanDouble() const = 0;
    virtual bool CanSingle() const = 0;
    // The tail after the input stops, in frames, as the plug-in reports it
    // for its current settings; 0 when it reports none.
    virtual long TailFrames() = 0;
    // Frames the output lags the input by.
    virtual int Latency() = 0;

    // --- Parameters, by index from 0: the ones a person sets. --------------
    virtual int ParameterCount() const = 0;
    virtual std::string ParameterName(int index) = 0;
    // The unit shown after the value ("%"), or empty.
    virtual std::string ParameterLabel(int index) = 0;
    // The current value as the plug-in shows it.
    virtual std::string ParameterDisplay(int index) = 0;
    // The text the plug-in shows for `normalised`, without the parameter
    // keeping that value; empty when it cannot say.
    virtual std::string FormatValue(int index, double normalised) = 0;
    // Sets the parameter from a text in its own units; false when the
    // plug-in does not take the text.
    virtual bool SetFromText(int index, const std::string& text) = 0;
    virtual double Normalised(int index) = 0;
    virtual void SetNormalised(int index, double value) = 0;

    // --- State: the plug-in's own bytes. -------------------------------------
    // Whether the plug-in saves its state as bytes of its own.
    virtual bool SavesState() const = 0;
    // The state; empty when the plug-in gave none.
    virtual std::vector<unsigned char> State() = 0;
    // Hands `bytes` to the plug-in; false when it refuses them. The
    // instance keeps its own copy for plug-ins that hold on to the host's.
    virtual bool SetState(const std::vector<unsigned char>& bytes) = 0;

    // --- Processing, in this order: setup, channels, active, blocks. --------
    // [inactive] The rate, the largest block and the sample size to come.
    virtual void SetupProcessing(double rate, int maxBlock, bool doublePrecision) = 0;
    // [inactive] The channels in use each way (1 or 2); false when the
    // plug-in refuses that arrangement.
    virtual bool SetChannels(int inputs, int outputs) = 0;
    // Processing on or off; false when the plug-in refused to start.
    virtual bool SetActive(bool on) = 0;
    // One block in the precision set up: `in` holds at least Inputs() and
    // the channels set, `out` at least Outputs(), each `frames` long. False
    // when the plug-in refused the call.
    virtual bool Process(double** in, double** out, int frames) = 0;
    virtual bool Process(float** in, float** out, int frames) = 0;

  protected:
    HostedPlugin() = default;
};
