// Where the editor tests get the plug-in from: the built module, loaded by
// path as a host loads it, or (in the sanitizer build, where the editor
// itself must be instrumented) the plug-in code compiled into the test
// program. Also the editor's picture composed with no window at all, by the
// plug-in code linked into the program, to compare the screen with.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/PluginModule.h"

constexpr unsigned kEditorWidth = 404;
constexpr unsigned kEditorHeight = 250;

class PluginUnderTest {
  public:
    PluginUnderTest();
    ~PluginUnderTest();
    PluginUnderTest(const PluginUnderTest&) = delete;
    PluginUnderTest& operator=(const PluginUnderTest&) = delete;

    // Loads the module (nothing to load when the code is linked in); false
    // with the loader's reason.
    bool Load(std::string* error);
    // Unloads the module; every instance must be closed first.
    void Unload();
    PluginModule::EntryPoint Entry() const;

    // True when instances come from the built module.
    static bool FromModule();
    // A part of the module's path that names it in the process's mappings.
    static std::string ModuleFileName();

  private:
    struct Library;
    std::unique_ptr<Library> mLibrary;
};

// The editor at these normalised values, composed offscreen: 0xRRGGBB words,
// row by row, kEditorWidth x kEditorHeight.
std::vector<std::uint32_t> ExpectedPicture(float wet, float sustain);
