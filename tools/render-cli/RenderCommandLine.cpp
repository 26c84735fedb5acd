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

int RenderCommandLine::Parse(int argc, char** argv, RenderOptions* o) {
    CLI::App app{
        "Runs an audio file through a VST 2 plug-in module, loaded through its exported entry\n"
        "point as a DAW loads it: by default the " +
            std::string(RenderPlatform::kModuleFile) +
            " built beside this program.\n"
            "Mono input uses the plug-in's mono-in, stereo-out configuration. The output keeps\n"
            "the input's sample rate and format unless told otherwise, and carries the tail.\n",
        kRenderProgram};
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
    app.set_version_flag("--version", std::string(kRenderProgram) + " 1.0.0");

    app.add_option("INPUT", o->input,
                   "Audio file to process (" + std::string(RenderPlatform::kInputKinds) + ")")
        ->type_name("")
        ->check(notEmpty);
    app.add_option("OUTPUT", o->output, "File to write; it appears only when all went well")
        ->type_name("")
        ->check(notEmpty);
    app.add_option(
           "--plugin", o->plugin,
           "Module to load (default: " + std::string(RenderPlatform::kModuleFile) + " beside me)")
        ->type_name("PATH")
        ->check(notEmpty);
    app.add_option("--wet", o->wet, "Wet/Dry mix in percent (default 50)")
        ->type_name("0..100")
        ->check(notEmpty);
    app.add_option("--sustain", o->sustain, "Sustain: length and level of the tail (default 50)")
        ->type_name("0..100")
        ->check(notEmpty);
    app.add_option("-p,--param", o->params, "Any parameter by name, in its own units; repeatable")
        ->type_name("NAME=VALUE")
        ->check(notEmpty)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--list-params", o->listParams, "Print the parameters, values and ranges");
    app.add_option("--state", o->state, "Load a state saved by --save-state, then the above")
        ->type_name("FILE")
        ->check(notEmpty);
    app.add_option("--save-state", o->saveState, "Save the resulting state (INPUT may be left out)")
        ->type_name("FILE")
        ->check(notEmpty);
    app.add_option("--block", o->block, "Frames per process call, 1 to 65536 (default 512)")
        ->type_name("N")
        ->check(CLI::Range(1, 65536).description(""));
    app.add_option("--precision", o->precision, "Process callback (default: double if offered)")
        ->type_name("double|single")
        ->check(CLI::IsMember({"double", "single"}).description(""));
    app.add_option("--tail", o->tail, "Tail after the input, kept whole (default: see below)")
        ->type_name("SECONDS")
        ->check(CLI::Validator(CheckTail, "", "tail"));
    app.add_option("--format", o->format, Alternatives(MajorFormatNames(), " or "))
        ->type_name("NAME")
        ->check(notEmpty);
    app.add_option("--subtype", o->subtype, Alternatives(SubtypeNames(), ", "))
        ->type_name("NAME")
        ->check(notEmpty);
    app.add_option("--generate-demo", o->demo, "Write the demo's dry signal (WAV) and stop")
        ->type_name("FILE")
        ->check(notEmpty);
    app.add_option("--editor-png", o->editorPng,
                   "Draw Brightfall's editor at the resulting settings as a PNG")
        ->type_name("FILE")
        ->check(notEmpty);
    app.add_flag("-q,--quiet", o->quiet, "No summary, no progress bar");
    AddFooter(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0)
            return app.exit(e);
        std::fprintf(stderr, "%s: %s\nRun %s --help for the options.\n", kRenderProgram, e.what(),
                     kRenderProgram);
        return kExitUsage;
    }
    return kContinue;
}
