#include "tools/render-cli/RenderJob.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <thread>
#include <vector>

#include "tools/audiofile/ToolError.h"
#include "tools/host/OfflineRenderer.h"

namespace {

std::string TimeText(std::int64_t frame, int rate) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.3f s", static_cast<double>(frame) / rate);
    return buf;
}

}  // namespace

RenderResult RenderJob::Run(const HostedModule& module, const HostIdentity& identity,
                            const PluginSettings& settings, AudioFileReader& reader,
                            AudioFileWriter& writer, const RenderRequest& request) {
    RenderResult result;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            result = RunHere(module, identity, settings, reader, writer, request);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    return result;
}

RenderResult RenderJob::RunHere(const HostedModule& module, const HostIdentity& identity,
                                const PluginSettings& settings, AudioFileReader& reader,
                                AudioFileWriter& writer, const RenderRequest& request) {
    const auto start = std::chrono::steady_clock::now();
    RenderResult result;
    const int rate = reader.SampleRate();

    std::string error;
    const std::unique_ptr<HostedPlugin> plugin = module.Instantiate(identity, &error);
    if (!plugin)
        throw ToolError("the plug-in could not be instantiated a second time for rendering: " +
                        error);

    RenderSettings rs;
    rs.sampleRate = rate;
    rs.blockSize = request.blockSize;
    rs.doublePrecision = request.doublePrecision;
    rs.inputChannels = reader.Channels();
    OfflineRenderer renderer(*plugin, rs);
    if (!renderer.Started())
        throw ToolError("the plug-in refused to process at " + std::to_string(rate) +
                        " Hz in blocks of " + std::to_string(request.blockSize) + " in " +
                        (request.doublePrecision ? "double" : "single") + " precision");
    // The settings come once the rate and block size are set, as a host
    // restoring a session gives them: the response they synthesise is then
    // the one an LV2 host's instance of the same settings draws.
    if (!settings.ApplyTo(*plugin))
        throw ToolError("the plug-in refused the settings it reported a moment earlier");

    const int block = std::max(1, request.blockSize);
    const int inCh = reader.Channels();
    const int outCh = renderer.OutputChannels();
    // Latency is compensated by dropping that many frames from the start and
    // rendering as many more at the end; an absurd report is not believed.
    const std::int64_t latency = std::clamp<std::int64_t>(plugin->Latency(), 0, 60LL * rate);
    result.latency = static_cast<int>(latency);
    const std::int64_t tail = std::max<std::int64_t>(0, request.tailFrames);

    std::vector<double> inInterleaved(static_cast<std::size_t>(block) * inCh);
    std::vector<double> outInterleaved(static_cast<std::size_t>(block) * outCh);
    std::vector<std::vector<double>> inPlanar(inCh, std::vector<double>(block));
    std::vector<std::vector<double>> outPlanar(outCh, std::vector<double>(block));
    std::vector<const double*> inPtrs;
    std::vector<double*> outPtrs;
    for (auto& c : inPlanar)
        inPtrs.push_back(c.data());
    for (auto& c : outPlanar)
        outPtrs.push_back(c.data());
    // The tail waits here until we know where it has died away.
    std::vector<double> tailBuffer(request.trimTail ? static_cast<std::size_t>(tail) * outCh : 0);

    std::int64_t inputFrames = 0;
    bool inputDone = false;
    std::int64_t processed = 0;
    std::int64_t lastAudible = -1;  // output frame index
    const std::int64_t announced = std::max<std::int64_t>(0, reader.Frames());

    for (;;) {
        if (request.stop && request.stop->load())
            throw ToolError("interrupted", kExitInterrupted);
        int got = 0;
        if (!inputDone) {
            got = static_cast<int>(reader.Read(inInterleaved.data(), block));
            result.input.Add(inInterleaved.data(), static_cast<long>(got) * inCh);
            inputFrames += got;
            if (got < block)
                inputDone = true;
        }
        int n = block;
        if (inputDone) {
            const std::int64_t end = inputFrames + tail + latency;
            n = static_cast<int>(std::min<std::int64_t>(block, end - processed));
            if (n <= 0)
                break;
        }
        for (int c = 0; c < inCh; ++c) {
            for (int i = 0; i < got; ++i)
                inPlanar[c][i] = inInterleaved[i * inCh + c];
            std::fill(inPlanar[c].begin() + got, inPlanar[c].end(), 0.0);
        }

        if (!renderer.Process(inPtrs.data(), outPtrs.data(), n))
            throw ToolError("the plug-in refused to process the audio at " +
                            TimeText(std::max<std::int64_t>(processed - latency, 0), rate) +
                            "; nothing was written");

        long direct = 0;
        for (int i = 0; i < n; ++i) {
            const std::int64_t at = processed + i - latency;
            if (at < 0)
                continue;
            bool audible = false;
            for (int c = 0; c < outCh; ++c) {
                const double v = outPlanar[c][i];
                if (!std::isfinite(v))
                    throw ToolError(
                        "the plug-in produced a sample that is not a finite number at " +
                        TimeText(at, rate) + "; nothing was written");
                audible = audible || std::fabs(v) >= request.decayThreshold;
            }
            if (audible)
                lastAudible = at;
            // Until the input has ended, `at` is below the frames read so far.
            if (!request.trimTail || at < inputFrames) {
                for (int c = 0; c < outCh; ++c)
                    outInterleaved[direct * outCh + c] = outPlanar[c][i];
                ++direct;
            } else {
                const std::size_t t = static_cast<std::size_t>(at - inputFrames) * outCh;
                for (int c = 0; c < outCh; ++c)
                    tailBuffer[t + c] = outPlanar[c][i];
            }
        }
        writer.Write(outInterleaved.data(), direct);
        result.output.Add(outInterleaved.data(), direct * outCh);
        processed += n;
        if (request.progress) {
            const std::int64_t total =
                (inputDone ? inputFrames : std::max(announced, inputFrames)) + tail + latency;
            request.progress->Update(processed, total, rate);
        }
    }

    if (request.trimTail) {
        std::int64_t keep = 0;
        if (lastAudible >= 0) {
            const std::int64_t end = lastAudible + 1 + request.keepAfterDecay;
            keep = std::clamp<std::int64_t>(end - inputFrames, 0, tail);
            result.tailStillAudible = end > inputFrames + tail;
        }
        writer.Write(tailBuffer.data(), static_cast<long>(keep));
        result.output.Add(tailBuffer.data(), static_cast<long>(keep * outCh));
    }
    if (request.progress)
        request.progress->Finish();
    result.inputFrames = inputFrames;
    result.outputFrames = writer.FramesWritten();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}
