// brightfall-render: runs audio files through a VST 2 plug-in module loaded
// by path through its exported entry point, exactly as a DAW loads it, with
// the plug-in's parameters set by name in its own units. Also writes the
// project's demo signal for `make demo`.
#include <signal.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <limits.h>
#include <unistd.h>
#endif

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wconversion"
#include <CLI/CLI.hpp>
#pragma GCC diagnostic pop

#include <atomic>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/AudioFileReader.h"
#include "tools/AudioFileWriter.h"
#include "tools/DemoSignal.h"
#include "tools/EditorSnapshot.h"
#include "tools/PluginSetup.h"
#include "tools/ProgressBar.h"
#include "tools/RenderJob.h"
#include "tools/SameFile.h"
#include "tools/ToolError.h"

namespace {

constexpr const char* kProgram = "brightfall-render";
// Brightfall's longest impulse response, in frames at any rate. The module
// reports no tail of its own, so the host has to know.
constexpr std::int64_t kLongestResponse = 128000;
constexpr double kMaxTailSeconds = 3600.0;
constexpr double kDemoRate = 44100.0;
constexpr double kDemoSeconds = 7.0;

// What this build loads by default, and how its help speaks of files.
#if defined(_WIN32)
constexpr const char* kModuleFile = "Brightfall.dll";
constexpr const char* kInputKinds = "WAV";
constexpr const char* kExampleInput = "drums.wav drums-room.wav";
#else
constexpr const char* kModuleFile = "brightfall.so";
constexpr const char* kInputKinds = "WAV, FLAC, AIFF, Ogg, ...";
constexpr const char* kExampleInput = "drums.flac drums-room.flac";
#endif

std::atomic<bool> gStop{false};

void OnSignal(int) {
    gStop.store(true);
}

#if defined(_WIN32)
// Ctrl+C and Ctrl+Break arrive on a thread of their own; the handler only
// sets the flag the render polls.
void CatchSignals() {
    for (int sig : {SIGINT, SIGTERM, SIGBREAK})
        signal(sig, OnSignal);
}
#else
void CatchSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
}
#endif

struct Options {
    std::string input;
    std::string output;
    std::string plugin;
    std::string wet;
    std::string sustain;
    std::vector<std::string> params;
    std::string state;
    std::string saveState;
    std::string editorPng;
    bool listParams = false;
    int block = 512;
    std::string precision;
    double tail = -1.0;
    std::string format;
    std::string subtype;
    bool quiet = false;
    std::string demo;
};

#if defined(_WIN32)
// The module beside this program's .exe.
std::string DefaultModulePath() {
    std::string exe(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, &exe[0], static_cast<DWORD>(exe.size()));
        if (n == 0)
            return kModuleFile;
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);  // the path was cut to fit
    }
    const std::size_t slash = exe.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : exe.substr(0, slash + 1)) + kModuleFile;
}
#else
// The module built beside this program, or installed beside it
// (<prefix>/bin and <prefix>/lib/vst).
std::string DefaultModulePath() {
    char exe[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n <= 0)
        return "brightfall.so";
    std::string path(exe, static_cast<std::size_t>(n));
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string beside = dir + "/brightfall.so";
    const std::string installed = dir + "/../lib/vst/brightfall.so";
    if (access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0)
        return installed;
    return beside;
}
#endif

// "a, b or c" for the help.
std::string Alternatives(const std::vector<std::string>& names, const char* last) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? last : ", ") + names[i];
    return out;
}

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

// Brightfall's unique id: the one module whose editor this tool can draw.
constexpr VstInt32 kBrightfallId = 0x68643436;

std::string FourCC(VstInt32 id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(id) >> shift) & 0xFF);
        if (c < 32 || c > 126) {
            char hex[16];
            std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(id));
            return hex;
        }
        s += c;
    }
    return "'" + s + "'";
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
    std::printf("%s by %s (%s)\n", setup.EffectName().c_str(), setup.Vendor().c_str(),
                modulePath.c_str());
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

std::vector<Assignment> CollectAssignments(const PluginSetup& setup, const Options& o) {
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

int GenerateDemo(const Options& o) {
    const auto signal = MakeDemoSignal(kDemoRate, kDemoSeconds);
    const int rate = static_cast<int>(kDemoRate);
    AudioFileWriter writer(o.demo, AudioFormat{kMajorWav, kSubtypePcm24}, 2, rate);
    std::vector<double> interleaved(signal[0].size() * 2);
    for (std::size_t i = 0; i < signal[0].size(); ++i) {
        interleaved[2 * i] = signal[0][i];
        interleaved[2 * i + 1] = signal[1][i];
    }
    writer.Write(interleaved.data(), static_cast<long>(signal[0].size()));
    writer.Commit();
    if (!o.quiet)
        std::printf("%s: wrote %s, %.1f s of drums, plucked strings and a chord, stereo, %d Hz\n",
                    kProgram, o.demo.c_str(), kDemoSeconds, rate);
    return kExitOk;
}

int Run(const Options& o) {
    if (!o.demo.empty()) {
        if (!o.input.empty())
            throw UsageError("--generate-demo writes a file of its own; give it no INPUT");
        return GenerateDemo(o);
    }

    const bool render = !o.input.empty();
    if (!render && !o.listParams && o.saveState.empty() && o.editorPng.empty())
        throw UsageError(
            "give an INPUT and an OUTPUT file (or --list-params, --save-state, --editor-png or "
            "--generate-demo)");
    if (render && o.output.empty())
        throw UsageError("give an OUTPUT file after " + o.input);
    if (render) {
        // Through another path or a link too: the input would be gone, and
        // the render read from a file it is replacing.
        const std::string lost = " (" + o.input + "): the input would be overwritten";
        RefuseOneFileTwice(o.output, "OUTPUT", o.input, "INPUT",
                           lost + " by the render; write it to another file");
        RefuseOneFileTwice(o.saveState, "--save-state", o.input, "INPUT", lost);
        RefuseOneFileTwice(o.editorPng, "--editor-png", o.input, "INPUT", lost);
        RefuseOneFileTwice(o.saveState, "--save-state", o.output, "OUTPUT", "");
        RefuseOneFileTwice(o.editorPng, "--editor-png", o.output, "OUTPUT", "");
    }

    std::unique_ptr<AudioFileReader> reader;
    if (render)
        reader = std::make_unique<AudioFileReader>(o.input);

    const std::string modulePath = o.plugin.empty() ? DefaultModulePath() : o.plugin;
    std::string loadError;
    auto module = PluginModule::Load(modulePath, &loadError);
    if (!module)
        throw ToolError(loadError);
    HostIdentity identity;
    identity.product = kProgram;
    identity.vendorVersion = 10000;

    PluginSetup setup(*module, identity);
    if (o.listParams && !render) {
        ListParameters(setup, modulePath);
        return kExitOk;
    }
    const std::vector<Assignment> assignments = CollectAssignments(setup, o);
    if (!o.state.empty() && !setup.LoadState(o.state))
        std::fprintf(stderr,
                     "%s: note: the plug-in read %s, but its state now differs from the file "
                     "(values out of range, or bytes it does not use); is it a saved state?\n",
                     kProgram, o.state.c_str());
    for (const Assignment& a : assignments)
        setup.SetParameter(a.index, a.value, a.option);
    if (!o.saveState.empty() && !setup.SavesChunks())
        throw ToolError("the plug-in in " + modulePath +
                        " does not save its state as a chunk, so --save-state cannot be used");
    if (o.listParams)
        ListParameters(setup, modulePath);

    // Made now, so an unwritable state path fails before the render.
    std::unique_ptr<AtomicFile> stateFile;
    if (!o.saveState.empty())
        stateFile = std::make_unique<AtomicFile>(o.saveState);
    if (!o.editorPng.empty()) {
        // The picture is drawn by Brightfall's editor code built into this
        // tool, from the settings the loaded module ended up with.
        if (setup.UniqueId() != kBrightfallId)
            throw ToolError("--editor-png draws Brightfall's editor, but " + modulePath +
                            " is another plug-in (id " + FourCC(setup.UniqueId()) + ")");
        const PluginSettings settings = setup.Settings();
        std::string error;
        if (!WriteEditorSnapshot(settings.useChunk ? settings.chunk : std::vector<unsigned char>(),
                                 settings.normalised, o.editorPng, &error))
            throw ToolError(error);
        if (!o.quiet)
            std::printf("%s: drew the editor to %s\n", kProgram, o.editorPng.c_str());
    }
    if (!render) {
        if (stateFile) {
            setup.SaveState(*stateFile);
            if (!o.quiet)
                std::printf("%s: saved the plug-in's state to %s\n", kProgram, o.saveState.c_str());
        }
        return kExitOk;
    }

    RenderRequest request;
    request.blockSize = o.block;
    if (o.precision.empty()) {
        request.doublePrecision = setup.CanDouble();
    } else {
        request.doublePrecision = o.precision == "double";
        if (request.doublePrecision && !setup.CanDouble())
            throw UsageError("--precision double: the plug-in has no double-precision callback");
        if (!request.doublePrecision && !setup.CanSingle())
            throw UsageError("--precision single: the plug-in has no single-precision callback");
    }
    if (reader->Channels() > setup.Inputs())
        throw ToolError(o.input + " is stereo but the plug-in takes one input channel");

    const int rate = reader->SampleRate();
    if (o.tail >= 0.0) {
        request.tailFrames = std::llround(o.tail * rate);
    } else {
        const std::int64_t reported = std::min<std::int64_t>(setup.ReportedTail(), 60LL * rate);
        request.tailFrames = std::max(kLongestResponse, reported) + rate;
        request.trimTail = true;
        request.keepAfterDecay = rate;  // end one second after the reverb has died away
    }

    const int outChannels = std::min(setup.Outputs(), 2);
    std::string note;
    const AudioFormat outFormat = ChooseOutputFormat(reader->Format(), o.output, o.format,
                                                     o.subtype, outChannels, rate, &note);
    AudioFileWriter writer(o.output, outFormat, outChannels, rate);
    const PluginSettings settings = setup.Settings();

    ProgressBar progress(!o.quiet && ProgressBar::StderrIsTerminal());
    request.stop = &gStop;
    request.progress = &progress;
    const RenderResult r = RenderJob::Run(*module, identity, settings, *reader, writer, request);
    if (gStop.load())
        throw ToolError("interrupted", kExitInterrupted);
    writer.Commit();
    if (stateFile)
        setup.SaveState(*stateFile);

    if (!o.quiet) {
        const std::int64_t tail = r.outputFrames - r.inputFrames;
        std::printf("%s: %s -> %s\n", kProgram, o.input.c_str(), o.output.c_str());
        std::printf("  module      %s\n", modulePath.c_str());
        std::printf("  plug-in     %s by %s, version %d, id %s, %d in / %d out\n",
                    setup.EffectName().c_str(), setup.Vendor().c_str(), setup.Version(),
                    FourCC(setup.UniqueId()).c_str(), setup.Inputs(), setup.Outputs());
        std::printf("  parameters  %s\n", ParameterSummary(setup).c_str());
        std::printf("  input       %s, %s, %d Hz, %s; peak %s, RMS %s\n",
                    Describe(reader->Format()).c_str(), ChannelsText(reader->Channels()).c_str(),
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
    if (!note.empty())
        std::fprintf(stderr, "%s: note: %s\n", kProgram, note.c_str());
    if (!reader->HeaderMismatch().empty() || r.inputFrames < reader->Frames())
        std::fprintf(
            stderr,
            "%s: warning: %s holds less than its header announces (%s); is it cut "
            "short? Rendered the %s that are there\n",
            kProgram, o.input.c_str(),
            reader->HeaderMismatch().empty() ? "fewer frames" : reader->HeaderMismatch().c_str(),
            Seconds(r.inputFrames, rate).c_str());
    if (r.output.OverFullScale() > 0)
        std::fprintf(stderr,
                     "%s: warning: the output clips: %lld samples beyond full scale, peak %s%s; "
                     "lower --wet or the input level\n",
                     kProgram, static_cast<long long>(r.output.OverFullScale()),
                     Decibels(r.output.Peak()).c_str(),
                     IsFloatSubtype(outFormat.subtype)
                         ? " (kept in the float file, but a player will clip them)"
                         : " (clipped in the file)");
    if (r.tailStillAudible)
        std::fprintf(stderr,
                     "%s: warning: the output was still above -120 dBFS at the end of the tail; "
                     "--tail SECONDS renders a longer one\n",
                     kProgram);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    CLI::App app{
        "Runs an audio file through a VST 2 plug-in module, loaded through its exported entry\n"
        "point as a DAW loads it: by default the " +
            std::string(kModuleFile) +
            " built beside this program.\n"
            "Mono input uses the plug-in's mono-in, stereo-out configuration. The output keeps\n"
            "the input's sample rate and format unless told otherwise, and carries the tail.\n",
        kProgram};
    app.get_formatter()->column_width(26);
    // CLI11 would take a Unix path such as /tmp/in.wav for a Windows-style
    // option under Wine.
    app.allow_windows_style_options(false);
    // An empty path or value is a mistake, not a request for the default.
    const CLI::Validator notEmpty(
        [](std::string& text) {
            return text.empty() ? std::string("needs a value, not an empty text") : std::string();
        },
        "", "not empty");
    app.set_version_flag("--version", std::string(kProgram) + " 1.0.0");

    app.add_option("INPUT", o.input, "Audio file to process (" + std::string(kInputKinds) + ")")
        ->type_name("")
        ->check(notEmpty);
    app.add_option("OUTPUT", o.output, "File to write; it appears only when all went well")
        ->type_name("")
        ->check(notEmpty);
    app.add_option("--plugin", o.plugin,
                   "Module to load (default: " + std::string(kModuleFile) + " beside me)")
        ->type_name("PATH")
        ->check(notEmpty);
    app.add_option("--wet", o.wet, "Wet/Dry mix in percent (default 50)")
        ->type_name("0..100")
        ->check(notEmpty);
    app.add_option("--sustain", o.sustain, "Sustain: length and level of the tail (default 50)")
        ->type_name("0..100")
        ->check(notEmpty);
    app.add_option("-p,--param", o.params, "Any parameter by name, in its own units; repeatable")
        ->type_name("NAME=VALUE")
        ->check(notEmpty)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--list-params", o.listParams, "Print the parameters, values and ranges");
    app.add_option("--state", o.state, "Load a state saved by --save-state, then the above")
        ->type_name("FILE")
        ->check(notEmpty);
    app.add_option("--save-state", o.saveState, "Save the resulting state (INPUT may be left out)")
        ->type_name("FILE")
        ->check(notEmpty);
    app.add_option("--block", o.block, "Frames per process call, 1 to 65536 (default 512)")
        ->type_name("N")
        ->check(CLI::Range(1, 65536).description(""));
    app.add_option("--precision", o.precision, "Process callback (default: double if offered)")
        ->type_name("double|single")
        ->check(CLI::IsMember({"double", "single"}).description(""));
    app.add_option("--tail", o.tail, "Tail after the input, kept whole (default: see below)")
        ->type_name("SECONDS")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                double v = 0.0;
                try {
                    std::size_t used = 0;
                    v = std::stod(text, &used);
                    if (used != text.size())
                        return "not a number: " + text;
                } catch (const std::exception&) {
                    return "not a number: " + text;
                }
                if (!std::isfinite(v) || v < 0.0 || v > kMaxTailSeconds)
                    return "the tail is 0 to 3600 seconds, not " + text;
                return std::string();
            },
            "", "tail"));
    app.add_option("--format", o.format, Alternatives(MajorFormatNames(), " or "))
        ->type_name("NAME")
        ->check(notEmpty);
    app.add_option("--subtype", o.subtype, Alternatives(SubtypeNames(), ", "))
        ->type_name("NAME")
        ->check(notEmpty);
    app.add_option("--generate-demo", o.demo, "Write the demo's dry signal (WAV) and stop")
        ->type_name("FILE")
        ->check(notEmpty);
    app.add_option("--editor-png", o.editorPng,
                   "Draw Brightfall's editor at the resulting settings as a PNG")
        ->type_name("FILE")
        ->check(notEmpty);
    app.add_flag("-q,--quiet", o.quiet, "No summary, no progress bar");
    app.footer(
        "The output format follows --format, else OUTPUT's extension, else the input; the\n"
        "encoding follows --subtype, else the input's where the format can hold it.\n"
        "The default tail runs until Brightfall's longest response (128000 samples) has\n"
        "died away, and the file ends one second after the output falls below -120 dBFS;\n"
        "it is never shorter than the input.\n"
        "\n"
        "Examples:\n"
        "  brightfall-render voice.wav voice-hall.wav --wet 40 --sustain 100\n"
        "  brightfall-render --param Sustain=20 --save-state room.state\n"
        "  brightfall-render --state room.state " +
        std::string(kExampleInput) +
        "\n"
        "\n"
        "Exit status: 0 done; 1 a file, the module or the render failed; 2 the command line\n"
        "is wrong; 130 interrupted. On failure nothing is left at OUTPUT.");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e);
        std::fprintf(stderr, "%s: %s\nRun %s --help for the options.\n", kProgram, e.what(),
                     kProgram);
        return kExitUsage;
    }

    CatchSignals();
    try {
        return Run(o);
    } catch (const ToolError& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return e.Status();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory\n", kProgram);
        return kExitFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return kExitFailure;
    }
}
