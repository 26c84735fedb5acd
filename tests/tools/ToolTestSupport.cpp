#include "ToolTestSupport.h"

#include <fcntl.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace fs = std::filesystem;

ToolRun RunTool(const std::vector<std::string>& args, const std::string& cwd) {
    const std::string outPath = fs::temp_directory_path() / ("bf-out-" + std::to_string(getpid()));
    const std::string errPath = fs::temp_directory_path() / ("bf-err-" + std::to_string(getpid()));
    std::vector<std::string> argv0{BRIGHTFALL_RENDER};
    argv0.insert(argv0.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv0)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    pid_t pid = 0;
    ToolRun run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadBytes(outPath);
    run.err = ReadBytes(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return run;
}

void WriteAudio(const std::string& path, const Audio& audio) {
    SF_INFO info{};
    info.samplerate = audio.rate;
    info.channels = static_cast<int>(audio.channels.size());
    info.format = audio.format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
    std::vector<double> inter(static_cast<std::size_t>(audio.Frames()) * info.channels);
    for (long i = 0; i < audio.Frames(); ++i)
        for (int c = 0; c < info.channels; ++c)
            inter[i * info.channels + c] = audio.channels[c][i];
    sf_writef_double(f, inter.data(), audio.Frames());
    sf_close(f);
}

Audio ReadAudio(const std::string& path) {
    Audio a;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
    if (!f)
        return a;
    a.rate = info.samplerate;
    a.format = info.format;
    std::vector<double> inter(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t n = sf_readf_double(f, inter.data(), info.frames);
    sf_close(f);
    a.channels.assign(info.channels, std::vector<double>(static_cast<std::size_t>(n)));
    for (sf_count_t i = 0; i < n; ++i)
        for (int c = 0; c < info.channels; ++c)
            a.channels[c][i] = inter[i * info.channels + c];
    return a;
}

Audio Burst(int rate, int channels, double seconds, double burstSeconds, double peak, int format) {
    Audio a;
    a.rate = rate;
    a.format = format;
    const long frames = static_cast<long>(seconds * rate);
    const long burst = static_cast<long>(burstSeconds * rate);
    a.channels.assign(channels, std::vector<double>(static_cast<std::size_t>(frames), 0.0));
    std::uint32_t state = 12345;
    for (long i = 0; i < std::min(frames, burst); ++i) {
        const double env = peak * std::exp(-5.0 * static_cast<double>(i) /
                                           static_cast<double>(std::max(1L, burst)));
        for (int c = 0; c < channels; ++c) {
            state = state * 1664525u + 1013904223u;
            a.channels[c][i] = env * (static_cast<double>(state >> 8) / 8388608.0 - 1.0);
        }
    }
    return a;
}

double PeakIn(const Audio& a, long from, long to) {
    double peak = 0.0;
    for (const auto& ch : a.channels)
        for (long i = std::max(0L, from); i < std::min(to, static_cast<long>(ch.size())); ++i)
            peak = std::max(peak, std::fabs(ch[i]));
    return peak;
}
