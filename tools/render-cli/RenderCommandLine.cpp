#include "tools/render-cli/RenderCommandLine.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wconversion"
#include <CLI/CLI.hpp>
#pragma GCC diagnostic pop

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "plugin/BrightfallFacts.h"
#include "plugin/BrightfallVersion.h"
#include "tools/audiofile/AudioFormat.h"
#include "tools/audiofile/ToolError.h"
#include "tools/render-cli/RenderPlatform.h"

namespace {

// "a, b or c" for the help.
std::string Alternatives(const std::vector<std::string>& names, const char* last) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? last : ", ") + names[i];
    return out;
}

// An empty path or value is a mistake, not a request for the default.
CLI::Validator NotEmpty() {
    return CLI::Validator(
        [](std::string& text) {
            return text.empty() ? std::string("needs a value, not an empty text") : std::string();
        },
        "", "not empty");
}

// An option that takes a text (a path, a name, a number read later), shown
// in the help as `typeName`, never empty.
void AddText(CLI::App& app, const std::string& name, std::string& variable, const std::string& help,
             const std::string& typeName) {
    app.add_option(name, variable, help)->type_name(typeName)->check(NotEmpty());
}

// The tail in seconds, 0 to kMaxTailSeconds.
std::string CheckTail(std::string& text) {
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
}

void AddFooter(CLI::App& app) {
    app.footer(
        "The output format follows --format, else OUTPUT's extension, else the input; the\n"
        "encoding follows --subtype, else the input's where the format can hold it.\n"
        "The default tail runs until Brightfall's longest response (" +
        std::to_string(brightfall::kLongestResponse) +
        " samples) has\n"
        "died away, and the file ends one second after the output falls below -120 dBFS;\n"
        "it is never shorter than the input.\n"
        "\n"
        "Examples:\n"
        "  brightfall-render voice.wav voice-hall.wav --wet 40 --sustain 100\n"
        "  brightfall-render --param Sustain=20 --save-state room.state\n"
        "  brightfall-render --state room.state " +
        std::string(RenderPlatform::kExampleFiles) +
        "\n"
        "\n"
        "Exit status: 0 done; 1 a file, the module or the render failed; 2 the command line\n"
        "is wrong; 130 interrupted. On failure nothing is left at OUTPUT.");
}

}  // namespace

int RenderCommandLine::Parse(const std::vector<std::string>& args, RenderOptions* o) {
    CLI::App app{
        "Runs an audio file through a VST 2 plug-in module or a VST 3 bundle, loaded through\n"
        "its exported entry points as a DAW loads it: by default the " +
            std::string(RenderPlatform::kModuleFile) +
            "\nbuilt beside this program.\n"
            "Mono input uses the plug-in's mono-in, stereo-out configuration, or both inputs\n"
            "where it has none. The output keeps the input's sample rate and format unless\n"
            "told otherwise, and carries the tail.\n",
        kRenderProgram};
    app.get_formatter()->column_width(26);
    // CLI11 would take a Unix path such as /tmp/in.wav for a Windows-style
    // option under Wine.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string(kRenderProgram) + " " + brightfall::kVersionText);

    AddText(app, "INPUT", o->input,
            "Audio file to process (" + std::string(RenderPlatform::kInputKinds) + ")", "");
    AddText(app, "OUTPUT", o->output, "File to write; it appears only when all went well", "");
    AddText(app, "--plugin", o->plugin,
            "VST 2 or VST 3 plug-in (default: " + std::string(RenderPlatform::kModuleFile) +
                " beside me)",
            "PATH");
    AddText(app, "--wet", o->wet, "Wet/Dry mix in percent (default 50)", "0..100");
    AddText(app, "--sustain", o->sustain, "Sustain: length and level of the tail (default 50)",
            "0..100");
    app.add_option("-p,--param", o->params, "Any parameter by name, in its own units; repeatable")
        ->type_name("NAME=VALUE")
        ->check(NotEmpty())
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--list-params", o->listParams, "Print the parameters, values and ranges");
    AddText(app, "--state", o->state, "Load a state saved by --save-state, then the above", "FILE");
    AddText(app, "--save-state", o->saveState, "Save the resulting state (INPUT may be left out)",
            "FILE");
    app.add_option("--block", o->block, "Frames per process call, 1 to 65536 (default 512)")
        ->type_name("N")
        ->check(CLI::Range(1, 65536).description(""));
    app.add_option("--precision", o->precision, "Process callback (default: double if offered)")
        ->type_name("double|single")
        ->check(CLI::IsMember({"double", "single"}).description(""));
    app.add_option("--tail", o->tail, "Tail after the input, kept whole (default: see below)")
        ->type_name("SECONDS")
        ->check(CLI::Validator(CheckTail, "", "tail"));
    AddText(app, "--format", o->format, Alternatives(MajorFormatNames(), " or "), "NAME");
    AddText(app, "--subtype", o->subtype, Alternatives(SubtypeNames(), ", "), "NAME");
    AddText(app, "--generate-demo", o->demo, "Write the demo's dry signal (WAV) and stop", "FILE");
    AddText(app, "--editor-png", o->editorPng,
            "Draw Brightfall's editor at the resulting settings as a PNG", "FILE");
    app.add_flag("-q,--quiet", o->quiet, "No summary, no progress bar");
    AddFooter(app);

    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e);
        std::fprintf(stderr, "%s: %s\nRun %s --help for the options.\n", kRenderProgram, e.what(),
                     kRenderProgram);
        return kExitUsage;
    }
    return kContinue;
}
