// The command-line tool's first look at a plug-in module of either format:
// one instance, opened on the main thread, that says what the module is
// (names, pins, parameters with their ranges and display texts), takes the
// settings a person asked for (a saved state, parameters by name in the
// plug-in's own units), checks them, and hands back the final settings for
// the instance that renders. Owns that first instance.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/audiofile/AtomicFile.h"
#include "tools/host/HostedModule.h"

struct ParameterInfo {
    int index = 0;
    std::string name;
    std::string label;    // unit shown after the value, e.g. "%"
    std::string display;  // the current value as the plug-in shows it
    // The range in the plug-in's own units, read from the display texts at
    // the two ends of the normalised range; unknown when those are not numbers.
    bool rangeKnown = false;
    double minimum = 0.0;
    double maximum = 0.0;
};

// What the rendering instance needs to reproduce the settings: the state
// chunk when the plug-in saves one, otherwise every parameter's normalised
// value.
struct PluginSettings {
    bool useChunk = false;
    std::vector<unsigned char> chunk;
    std::vector<float> normalised;

    // Applies them to a freshly opened instance; false when it refuses.
    bool ApplyTo(HostedPlugin& plugin) const;
};

class PluginSetup {
  public:
    // Instantiates and opens the plug-in; throws ToolError when the module
    // gives no audio effect.
    PluginSetup(const HostedModule& module, const HostIdentity& identity);
    ~PluginSetup();
    PluginSetup(const PluginSetup&) = delete;
    PluginSetup& operator=(const PluginSetup&) = delete;

    const PluginIdentity& Identity() const { return mPlugin->Identity(); }
    int Inputs() const { return mPlugin->Inputs(); }
    int Outputs() const { return mPlugin->Outputs(); }
    bool CanDouble() const { return mPlugin->CanDouble(); }
    bool CanSingle() const { return mPlugin->CanSingle(); }
    bool SavesChunks() const { return mPlugin->SavesState(); }
    // The tail the plug-in reports, in frames; 0 if none.
    long ReportedTail() const { return mPlugin->TailFrames(); }

    const std::vector<ParameterInfo>& Parameters() const { return mParams; }
    // Finds a parameter by name: exact, ignoring case, or ignoring case and
    // everything but letters and digits ("wetdry" for "Wet/Dry"). -1 if none.
    int FindParameter(const std::string& name) const;
    // The parameter names, quoted and comma-separated, for messages.
    std::string ParameterNames() const;

    // Restores a state file written by SaveState; throws ToolError when the
    // file cannot be read or the plug-in rejects it. Returns false when the
    // plug-in took the file but its state now differs from it (values it
    // adjusted, bytes it ignored): worth a note, since a foreign file can
    // pass for a state with plug-ins that check little.
    bool LoadState(const std::string& path);
    // Sets a parameter from a value in its own units; `option` is what the
    // person typed, for messages. Throws ToolError (usage) for a value that
    // is not a number or is outside the parameter's range.
    void SetParameter(int index, const std::string& value, const std::string& option);
    // Writes the plug-in's state chunk into `file` and gives the file its
    // name; throws ToolError.
    void SaveState(AtomicFile& file);

    PluginSettings Settings();

  private:
    std::vector<unsigned char> GetChunk();
    void RefreshDisplays();
    void ProbeRange(ParameterInfo& info);

    std::string mModulePath;
    std::unique_ptr<HostedPlugin> mPlugin;
    std::vector<ParameterInfo> mParams;
};
