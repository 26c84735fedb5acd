#include "tools/render-cli/PluginSetup.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "tools/audiofile/AtomicFile.h"
#include "tools/audiofile/FileSystem.h"
#include "tools/audiofile/ToolError.h"

namespace {

// A saved state larger than this is not something this tool wrote.
constexpr long long kMaxStateBytes = 64 << 20;

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Alnum(const std::string& s) {
    std::string out;
    for (char c : s)
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The whole text is one finite decimal number.
bool ParseNumber(const std::string& text, double* out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

// The number a display text starts with ("100", "-12 dB").
bool LeadingNumber(const std::string& text, double* out) {
    const char* s = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end == s || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

std::string FormatNumber(double v) {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%g", v);
    return buf;
}

}  // namespace

bool PluginSettings::ApplyTo(HostedPlugin& plugin) const {
    if (useChunk)
        return plugin.SetState(chunk);
    for (std::size_t i = 0; i < normalised.size(); ++i)
        plugin.SetNormalised(static_cast<int>(i), normalised[i]);
    return true;
}

PluginSetup::PluginSetup(const HostedModule& module, const HostIdentity& identity)
    : mModulePath(module.Path()) {
    std::string error;
    mPlugin = module.Instantiate(identity, &error);
    if (!mPlugin)
        throw ToolError(error);
    for (int i = 0; i < mPlugin->ParameterCount(); ++i) {
        ParameterInfo info;
        info.index = i;
        info.name = mPlugin->ParameterName(i);
        ProbeRange(info);
        mParams.push_back(info);
    }
    RefreshDisplays();
}

PluginSetup::~PluginSetup() = default;

void PluginSetup::ProbeRange(ParameterInfo& info) {
    double a = 0.0, b = 0.0;
    if (LeadingNumber(TrimmedText(mPlugin->FormatValue(info.index, 0.0)), &a) &&
        LeadingNumber(TrimmedText(mPlugin->FormatValue(info.index, 1.0)), &b)) {
        info.rangeKnown = true;
        info.minimum = std::min(a, b);
        info.maximum = std::max(a, b);
    }
}

void PluginSetup::RefreshDisplays() {
    for (ParameterInfo& p : mParams) {
        p.display = TrimmedText(mPlugin->ParameterDisplay(p.index));
        p.label = TrimmedText(mPlugin->ParameterLabel(p.index));
    }
}

int PluginSetup::FindParameter(const std::string& name) const {
    const std::string wanted = Lower(TrimmedText(name));
    for (const ParameterInfo& p : mParams)
        if (Lower(p.name) == wanted)
            return p.index;
    const std::string loose = Alnum(wanted);
    int found = -1;
    for (const ParameterInfo& p : mParams) {
        if (loose.empty() || Alnum(p.name) != loose)
            continue;
        if (found >= 0)
            return -1;  // ambiguous
        found = p.index;
    }
    return found;
}

std::string PluginSetup::ParameterNames() const {
    std::string names;
    for (const ParameterInfo& p : mParams)
        names += (names.empty() ? "\"" : ", \"") + p.name + "\"";
    return names.empty() ? "none" : names;
}

void PluginSetup::SetParameter(int index, const std::string& value, const std::string& option) {
    ParameterInfo& p = mParams.at(static_cast<std::size_t>(index));
    std::string text = TrimmedText(value);
    // "30%" for a parameter labelled "%": the unit is allowed after the number.
    if (!p.label.empty() && text.size() > p.label.size() &&
        Lower(text.substr(text.size() - p.label.size())) == Lower(p.label))
        text = TrimmedText(text.substr(0, text.size() - p.label.size()));
    double v = 0.0;
    if (!ParseNumber(text, &v))
        throw UsageError(option + ": \"" + value + "\" is not a number; " + p.name + " takes " +
                         (p.rangeKnown ? "values from " + FormatNumber(p.minimum) + " to " +
                                             FormatNumber(p.maximum)
                                       : std::string("a number")));
    const double slack = 1e-9 * std::max(1.0, p.maximum - p.minimum);
    if (p.rangeKnown && (v < p.minimum - slack || v > p.maximum + slack))
        throw UsageError(option + ": " + value + " is out of range; " + p.name +
                         " takes values from " + FormatNumber(p.minimum) + " to " +
                         FormatNumber(p.maximum));
    char exact[64];
    std::snprintf(exact, sizeof(exact), "%.17g", v);
    if (!mPlugin->SetFromText(index, exact))
        throw ToolError(option + ": the plug-in does not take a value for " + p.name + " as text");
    RefreshDisplays();
}

bool PluginSetup::LoadState(const std::string& path) {
    bool isFolder = false;
    if (!FileSystem::Find(path, &isFolder))
        throw ToolError("cannot read state file " + path + ": " + std::strerror(errno));
    if (isFolder)
        throw ToolError("cannot read state file " + path + ": it is a folder");
    std::FILE* in = FileSystem::Open(path, "rb");
    if (!in)
        throw ToolError("cannot read state file " + path + ": " + std::strerror(errno));
    const long long size = FileSystem::Size(in);
    if (size > kMaxStateBytes) {
        std::fclose(in);
        throw ToolError(path + " is too large (" + std::to_string(size) +
                        " bytes) to be a saved plug-in state");
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(std::max(size, 0LL)));
    const bool read = size >= 0 && FileSystem::Seek(in, 0) &&
                      std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size();
    std::fclose(in);
    if (!read)
        throw ToolError("cannot read state file " + path);
    if (bytes.empty())
        throw ToolError(path + " is empty; it holds no saved plug-in state");
    if (!SavesChunks())
        throw ToolError("the plug-in in " + mModulePath +
                        " does not save its state as a chunk, so --state cannot be used with it");
    PluginSettings state;
    state.useChunk = true;
    state.chunk = std::move(bytes);
    if (!state.ApplyTo(*mPlugin))
        throw ToolError("the plug-in rejected the state in " + path +
                        ": it is not a state this plug-in saved, or it is cut short");
    for (const ParameterInfo& p : mParams) {
        if (!std::isfinite(mPlugin->Normalised(p.index)))
            throw ToolError("the state in " + path + " leaves " + p.name +
                            " at a value that is not a number");
    }
    RefreshDisplays();
    return GetChunk() == state.chunk;
}

std::vector<unsigned char> PluginSetup::GetChunk() {
    std::vector<unsigned char> chunk = mPlugin->State();
    if (chunk.empty())
        throw ToolError("the plug-in gave no state to save");
    return chunk;
}

void PluginSetup::SaveState(AtomicFile& file) {
    if (!SavesChunks())
        throw ToolError("the plug-in in " + mModulePath +
                        " does not save its state as a chunk, so --save-state cannot be used");
    const std::vector<unsigned char> chunk = GetChunk();
    file.Write(chunk.data(), chunk.size());
    file.Commit();
}

PluginSettings PluginSetup::Settings() {
    PluginSettings s;
    s.useChunk = SavesChunks();
    if (s.useChunk) {
        s.chunk = GetChunk();
    } else {
        for (const ParameterInfo& p : mParams)
            s.normalised.push_back(static_cast<float>(mPlugin->Normalised(p.index)));
    }
    return s;
}
