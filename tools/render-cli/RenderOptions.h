// What a person asked brightfall-render for, as read from the command line
// (RenderCommandLine) and carried out by RenderCommand. Plain data.
#pragma once

#include <string>
#include <vector>

struct RenderOptions {
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
    double tail = -1.0;  // seconds; below 0 the default tail
    std::string format;
    std::string subtype;
    bool quiet = false;
    std::string demo;
};

// The program's name in every message.
constexpr const char* kRenderProgram = "brightfall-render";
// The longest tail --tail accepts, in seconds.
constexpr double kMaxTailSeconds = 3600.0;
