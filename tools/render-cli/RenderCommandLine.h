// brightfall-render's command line: its options, their checks and its help
// text. Main thread, once, before anything else runs.
#pragma once

#include <string>
#include <vector>

#include "tools/render-cli/RenderOptions.h"

struct RenderCommandLine {
    // Parse's result when the program is to go on and run.
    static constexpr int kContinue = -1;
    // Reads the arguments (UTF-8, the program's name first) into *o.
    // Returns kContinue, or the exit status when the program ends here: 0
    // after --help or --version, 2 for a mistake (already reported on
    // standard error).
    static int Parse(const std::vector<std::string>& args, RenderOptions* o);
};
