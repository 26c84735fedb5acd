#include "tools/render-cli/RenderCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "plugin/BrightfallFacts.h"
#include "tools/audiofile/AudioFileWriter.h"
#include "tools/audiofile/SameFile.h"
#include "tools/audiofile/ToolError.h"
#include "tools/demo/DemoSignal.h"
#include "tools/render-cli/ProgressBar.h"
#include "tools/render-cli/RenderPlatform.h"
#include "tools/snapshot/EditorSnapshot.h"

namespace {

constexpr double kDemoRate = 44100.0;
constexpr double kDemoSeconds = 7.0;

std::string Decibels(double linear) {
    const double db = ToDecibels(linear);
    if (!std::isfinite(db))
        return "-inf dBFS";
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.1f dBFS", db);
    return buf;
}

std::string Seconds(std::int64_t frames, int rate) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.2f s", static_cast<double>(frames) / rate);
    return buf;
}

std::string ChannelsText(int channels) {
    return channels == 1   ? "mono"
           : channels == 2 ? "stereo"
                           : std::to_string(channels) + " channels";
}

std::string ParameterSummary(const PluginSetup& setup) {
    std::string out;
    for (const ParameterInfo& p : setup.Parameters()) {
        if (!out.empty())
            out += ", ";
        out += p.name + " " + p.display + (p.label.empty() ? "" : " " + p.label);
    }
    return out.empty() ? "none" : out;
}

void ListParameters(const PluginSetup& setup, const std::string& modulePath) {
    std::printf("%s by %s (%s, %s)\n", setup.Identity().name.c_str(),
                setup.Identity().vendor.c_str(), setup.Identity().FormatName(), modulePath.c_str());
    for (const ParameterInfo& p : setup.Parameters()) {
        const std::string value = p.display + (p.label.empty() ? "" : " " + p.label);
        std::string range = "range not shown by the plug-in";
        if (p.rangeKnown) {
            char buf[96];
            std::snprintf(buf, sizeof(buf), "%g to %g", p.minimum, p.maximum);
            range = buf;
        }
        std::printf("  %-3d %-16s %-10s %s\n", p.index, p.name.c_str(), value.c_str(),
                    range.c_str());
    }
}

// --wet and --sustain name Brightfall's two parameters.
int FindNamed(const PluginSetup& setup, const std::string& name, const std::string& option) {
    const int index = setup.FindParameter(name);
    if (index < 0)
        throw UsageError(option + ": the plug-in has no parameter named \"" + name +
                         "\"; its parameters are " + setup.ParameterNames());
    return index;
}

struct Assignment {
    int index;
    std::string value;
    std::string option;
};

std::vector<Assignment> CollectAssignments(const PluginSetup& setup, const RenderOptions& o) {
    std::vector<Assignment> list;
    for (const std::string& p : o.params) {
        const std::string option = "--param " + p;
        const std::size_t eq = p.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError(option + ": write it as NAME=VALUE, for example --param Sustain=70");
        list.push_back({FindNamed(setup, p.substr(0, eq), option), p.substr(eq + 1), option});
    }
    if (!o.wet.empty())
        list.push_back({FindNamed(setup, "Wet/Dry", "--wet"), o.wet, "--wet " + o.wet});
    if (!o.sustain.empty())
        list.push_back(
            {FindNamed(setup, "Sustain", "--sustain"), o.sustain, "--sustain " + o.sustain});
    for (std::size_t i = 0; i < list.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (list[i].index == list[j].index)
                throw UsageError(setup.Parameters()[list[i].index].name + " is set twice (" +
                                 list[j].option + " and " + list[i].option + ")");
    return list;
}

// A file the tool writes must be neither a file it reads nor another of its
// results: refused before anything is read or written. `why` says what would
// be lost.
void RefuseOneFileTwice(const std::string& written, const char* writtenName,
                        const std::string& other, const char* otherName, const std::string& why) {
    if (!written.empty() && !other.empty() && NameSameFile(written, other))
        throw UsageError(std::string(writtenName) + " and " + otherName + " name the same file" +
                         why);
}

}  // namespace

RenderCommand::RenderCommand(const RenderOptions& options, std::atomic<bool>* stop)
    : mOptions(options), mStop(stop) {
    mIdentity.product = kRenderProgram;
    mIdentity.vendorVersion = 10000;
}

RenderCommand::~RenderCommand() = default;

int RenderCommand::GenerateDemo() {
    const auto signal = MakeDemoSignal(kDemoRate, kDemoSeconds);
    const int rate = static_cast<int>(kDemoRate);
    AudioFileWriter writer(mOptions.demo, AudioFormat{kMajorWav, kSubtypePcm24}, 2, rate);
    std::vector<double> interleaved(signal[0].size() * 2);
    for (std::size_t i = 0; i < signal[0].size(); ++i) {
        interleaved[2 * i] = signal[0][i];
        interleaved[2 * i + 1] = signal[1][i];
    }
    writer.Write(interleaved.data(), static_cast<long>(signal[0].size()));
    writer.Commit();
    if (!mOptions.quiet)
        std::printf("%s: wrote %s, %.1f s of drums, plucked strings and a chord, stereo, %d Hz\n",
                    kRenderProgram, mOptions.demo.c_str(), kDemoSeconds, rate);
    return kExitOk;
}

int RenderCommand::Run() {
    const RenderOptions& o = mOptions;
    if (!o.demo.empty()) {
        if (!o.input.empty())
            throw UsageError("--generate-demo writes a file of its own; give it no INPUT");
        return GenerateDemo();
    }
    const bool render = !o.input.empty();
    CheckFiles(render);
    if (render)
        mReader = std::make_unique<AudioFileReader>(o.input);
    LoadPlugin();
    if (o.listParams && !render) {
        ListParameters(*mSetup, mModulePath);
        return kExitOk;
    }
    ApplySettings();
    if (o.listParams)
        ListParameters(*mSetup, mModulePath);

    // Made now, so an unwritable state path fails before the render.
    if (!o.saveState.empty())
        mStateFile = std::make_unique<AtomicFile>(o.saveState);
    if (!o.editorPng.empty())
        DrawEditor();
    if (!render) {
        if (mStateFile) {
            mSetup->SaveState(*mStateFile);
            if (!o.quiet)
                std::printf("%s: saved the plug-in's state to %s\n", kRenderProgram,
                            o.saveState.c_str());
        }
        return kExitOk;
    }
    Render();
    return kExitOk;
}

void RenderCommand::CheckFiles(bool render) const {
    const RenderOptions& o = mOptions;
    if (!render && !o.listParams && o.saveState.empty() && o.editorPng.empty())
        throw UsageError(
            "give an INPUT and an OUTPUT file (or --list-params, --save-state, --editor-png or "
            "--generate-demo)");
    if (render && o.output.empty())
        throw UsageError("give an OUTPUT file after " + o.input);
    // The state read with --state may be saved back over itself with
    // --save-state (read first, replaced whole), but not overwritten by a
    // picture or a render; the picture and the saved state must not replace
    // each other either.
    const std::string stateLost = " (" + o.state + "): the state it reads would be overwritten";
    RefuseOneFileTwice(o.editorPng, "--editor-png", o.state, "--state", stateLost);
    RefuseOneFileTwice(o.editorPng, "--editor-png", o.saveState, "--save-state", "");
    if (!render)
        return;
    RefuseOneFileTwice(o.output, "OUTPUT", o.state, "--state", stateLost + " by the render");
    // Through another path or a link too: the input would be gone, and the
    // render read from a file it is replacing.
    const std::string lost = " (" + o.input + "): the input would be overwritten";
    RefuseOneFileTwice(o.output, "OUTPUT", o.input, "INPUT",
                       lost + " by the render; write it to another file");
    RefuseOneFileTwice(o.saveState, "--save-state", o.input, "INPUT", lost);
    RefuseOneFileTwice(o.editorPng, "--editor-png", o.input, "INPUT", lost);
    RefuseOneFileTwice(o.saveState, "--save-state", o.output, "OUTPUT", "");
    RefuseOneFileTwice(o.editorPng, "--editor-png", o.output, "OUTPUT", "");
}

void RenderCommand::LoadPlugin() {
    mModulePath = mOptions.plugin.empty() ? RenderPlatform::DefaultModulePath() : mOptions.plugin;
    std::string loadError;
    mModule = HostedModule::Load(mModulePath, &loadError);
    if (!mModule)
        throw ToolError(loadError);
    mSetup = std::make_unique<PluginSetup>(*mModule, mIdentity);
}

void RenderCommand::ApplySettings() {
    const RenderOptions& o = mOptions;
    const std::vector<Assignment> assignments = CollectAssignments(*mSetup, o);
    if (!o.state.empty() && !mSetup->LoadState(o.state))
        std::fprintf(stderr,
                     "%s: note: the plug-in read %s, but its state now differs from the file "
                     "(values out of range, or bytes it does not use); is it a saved state?\n",
                     kRenderProgram, o.state.c_str());
    for (const Assignment& a : assignments)
        mSetup->SetParameter(a.index, a.value, a.option);
    if (!o.saveState.empty() && !mSetup->SavesChunks())
        throw ToolError("the plug-in in " + mModulePath +
                        " does not save its state as a chunk, so --save-state cannot be used");
}

void RenderCommand::DrawEditor() const {
    // The picture is drawn by Brightfall's editor code built into this tool,
    // from the settings the loaded module ended up with.
    const PluginIdentity& id = mSetup->Identity();
    if (!id.Is(brightfall::kUniqueId, brightfall::kVst3ClassId))
        throw ToolError("--editor-png draws Brightfall's editor, but " + mModulePath +
                        " is another plug-in (id " + id.id + ")");
    const PluginSettings settings = mSetup->Settings();
    std::string error;
    if (!WriteEditorSnapshot(settings.useChunk ? settings.chunk : std::vector<unsigned char>(),
                             settings.normalised, mOptions.editorPng, &error))
        throw ToolError(error);
    if (!mOptions.quiet)
        std::printf("%s: drew the editor to %s\n", kRenderProgram, mOptions.editorPng.c_str());
}

RenderRequest RenderCommand::MakeRequest() const {
    const RenderOptions& o = mOptions;
    RenderRequest request;
    request.blockSize = o.block;
    if (o.precision.empty()) {
        request.doublePrecision = mSetup->CanDouble();
    } else {
        request.doublePrecision = o.precision == "double";
        if (request.doublePrecision && !mSetup->CanDouble())
            throw UsageError("--precision double: the plug-in has no double-precision callback");
        if (!request.doublePrecision && !mSetup->CanSingle())
            throw UsageError("--precision single: the plug-in has no single-precision callback");
    }
    if (mReader->Channels() > mSetup->Inputs())
        throw ToolError(o.input + " is stereo but the plug-in takes one input channel");

    const int rate = mReader->SampleRate();
    if (o.tail >= 0.0) {
        request.tailFrames = std::llround(o.tail * rate);
    } else {
        const std::int64_t reported = std::min<std::int64_t>(mSetup->ReportedTail(), 60LL * rate);
        request.tailFrames = std::max<std::int64_t>(brightfall::kLongestResponse, reported) + rate;
        request.trimTail = true;
        request.keepAfterDecay = rate;  // end one second after the reverb has died away
    }
    return request;
}

void RenderCommand::Render() {
    const RenderOptions& o = mOptions;
    RenderRequest request = MakeRequest();
    const int rate = mReader->SampleRate();
    const int outChannels = std::min(mSetup->Outputs(), 2);
    std::string note;
    const AudioFormat outFormat = ChooseOutputFormat(mReader->Format(), o.output, o.format,
                                                     o.subtype, outChannels, rate, &note);
    AudioFileWriter writer(o.output, outFormat, outChannels, rate);
    const PluginSettings settings = mSetup->Settings();

    ProgressBar progress(!o.quiet && ProgressBar::StderrIsTerminal());
    request.stop = mStop;
    request.progress = &progress;
    const RenderResult r = RenderJob::Run(*mModule, mIdentity, settings, *mReader, writer, request);
    if (mStop->load())
        throw ToolError("interrupted", kExitInterrupted);
    writer.Commit();
    if (mStateFile)
        mSetup->SaveState(*mStateFile);

    if (!o.quiet)
        Report(r, request, outFormat, outChannels);
    if (!note.empty())
        std::fprintf(stderr, "%s: note: %s\n", kRenderProgram, note.c_str());
    Warn(r, outFormat);
}

void RenderCommand::Report(const RenderResult& r, const RenderRequest& request,
                           const AudioFormat& outFormat, int outChannels) const {
    const RenderOptions& o = mOptions;
    const int rate = mReader->SampleRate();
    const std::int64_t tail = r.outputFrames - r.inputFrames;
    std::printf("%s: %s -> %s\n", kRenderProgram, o.input.c_str(), o.output.c_str());
    std::printf("  module      %s\n", mModulePath.c_str());
    const PluginIdentity& id = mSetup->Identity();
    std::printf("  plug-in     %s by %s, %s, version %s, id %s, %d in / %d out\n", id.name.c_str(),
                id.vendor.c_str(), id.FormatName(), id.version.c_str(), id.id.c_str(),
                mSetup->Inputs(), mSetup->Outputs());
    std::printf("  parameters  %s\n", ParameterSummary(*mSetup).c_str());
    std::printf("  input       %s, %s, %d Hz, %s; peak %s, RMS %s\n",
                Describe(mReader->Format()).c_str(), ChannelsText(mReader->Channels()).c_str(),
                rate, Seconds(r.inputFrames, rate).c_str(), Decibels(r.input.Peak()).c_str(),
                Decibels(r.input.Rms()).c_str());
    std::printf("  output      %s, %s, %d Hz, %s with %s of tail; peak %s, RMS %s\n",
                Describe(outFormat).c_str(), ChannelsText(outChannels).c_str(), rate,
                Seconds(r.outputFrames, rate).c_str(), Seconds(tail, rate).c_str(),
                Decibels(r.output.Peak()).c_str(), Decibels(r.output.Rms()).c_str());
    const double audio = static_cast<double>(r.outputFrames) / rate;
    std::printf("  render      %s precision, blocks of %d, %.2f s: %.1fx real time\n",
                request.doublePrecision ? "double" : "single", o.block, r.seconds,
                r.seconds > 0.0 ? audio / r.seconds : 0.0);
    if (!o.saveState.empty())
        std::printf("  state       saved to %s\n", o.saveState.c_str());
}

void RenderCommand::Warn(const RenderResult& r, const AudioFormat& outFormat) const {
    const RenderOptions& o = mOptions;
    const int rate = mReader->SampleRate();
    if (!mReader->HeaderMismatch().empty() || r.inputFrames < mReader->Frames())
        std::fprintf(
            stderr,
            "%s: warning: %s holds less than its header announces (%s); is it cut "
            "short? Rendered the %s that are there\n",
            kRenderProgram, o.input.c_str(),
            mReader->HeaderMismatch().empty() ? "fewer frames" : mReader->HeaderMismatch().c_str(),
            Seconds(r.inputFrames, rate).c_str());
    if (r.output.OverFullScale() > 0)
        std::fprintf(stderr,
                     "%s: warning: the output clips: %lld samples beyond full scale, peak %s%s; "
                     "lower --wet or the input level\n",
                     kRenderProgram, static_cast<long long>(r.output.OverFullScale()),
                     Decibels(r.output.Peak()).c_str(),
                     IsFloatSubtype(outFormat.subtype)
                         ? " (kept in the float file, but a player will clip them)"
                         : " (clipped in the file)");
    if (r.tailStillAudible)
        std::fprintf(stderr,
                     "%s: warning: the output was still above -120 dBFS at the end of the tail; "
                     "--tail SECONDS renders a longer one\n",
                     kRenderProgram);
}
