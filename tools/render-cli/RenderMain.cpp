// brightfall-render: runs audio files through a VST 2 plug-in module loaded
// by path through its exported entry point, exactly as a DAW loads it, with
// the plug-in's parameters set by name in its own units. Also writes the
// project's demo signal for `make demo`.
#include <atomic>
#include <cstdio>
#include <exception>
#include <new>

#include "tools/audiofile/ToolError.h"
#include "tools/render-cli/RenderCommand.h"
#include "tools/render-cli/RenderCommandLine.h"
#include "tools/render-cli/RenderPlatform.h"

namespace {

std::atomic<bool> gStop{false};

void OnSignal(int) {
    gStop.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    RenderPlatform::PrintUtf8();
    RenderOptions options;
    const int parsed = RenderCommandLine::Parse(RenderPlatform::Arguments(argc, argv), &options);
    if (parsed != RenderCommandLine::kContinue)
        return parsed;

    RenderPlatform::CatchStopSignals(OnSignal);
    try {
        return RenderCommand(options, &gStop).Run();
    } catch (const ToolError& e) {
        std::fprintf(stderr, "%s: %s\n", kRenderProgram, e.what());
        return e.Status();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory\n", kRenderProgram);
        return kExitFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kRenderProgram, e.what());
        return kExitFailure;
    }
}
