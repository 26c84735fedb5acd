// One run of brightfall-render, in the order a person would check it: the
// files named, the module loaded, the state and parameters applied, what is
// written beside the render (state, editor picture), the render, the report.
// Owns the module, its first instance and the input while it runs. Main
// thread; the render itself runs on a thread of RenderJob's.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "tools/audiofile/AtomicFile.h"
#include "tools/audiofile/AudioFileReader.h"
#include "tools/audiofile/AudioFormat.h"
#include "tools/host/HostedModule.h"
#include "tools/render-cli/PluginSetup.h"
#include "tools/render-cli/RenderJob.h"
#include "tools/render-cli/RenderOptions.h"

class RenderCommand {
  public:
    // `stop` is set from a signal handler to interrupt the render.
    RenderCommand(const RenderOptions& options, std::atomic<bool>* stop);
    ~RenderCommand();
    RenderCommand(const RenderCommand&) = delete;
    RenderCommand& operator=(const RenderCommand&) = delete;

    // Does what the options ask; returns the exit status, throws ToolError.
    int Run();

  private:
    int GenerateDemo();
    // Refuses, before anything is read or written, a command line that
    // cannot work or would write over one of its own files.
    void CheckFiles(bool render) const;
    void LoadPlugin();
    void ApplySettings();
    void DrawEditor() const;
    RenderRequest MakeRequest() const;
    void Render();
    void Report(const RenderResult& r, const RenderRequest& request, const AudioFormat& outFormat,
                int outChannels) const;
    // What a person should know about the result: a short input, clipping,
    // a tail cut while still audible.
    void Warn(const RenderResult& r, const AudioFormat& outFormat) const;

    const RenderOptions& mOptions;
    std::atomic<bool>* mStop;
    HostIdentity mIdentity;
    std::string mModulePath;
    std::unique_ptr<HostedModule> mModule;
    std::unique_ptr<PluginSetup> mSetup;
    std::unique_ptr<AudioFileReader> mReader;
    std::unique_ptr<AtomicFile> mStateFile;
};
