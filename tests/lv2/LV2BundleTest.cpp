// The bundle as LV2 hosts see it, through lilv's own tools: what lv2ls and
// lv2info report from a clean LV2_PATH, and lv2apply rendering a file, whose
// result is compared with the input and with the VST 2 module's render of
// the same file by brightfall-render.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "LV2TestHost.h"

namespace {

std::string Shell(const std::string& command, int* status = nullptr) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return out;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), pipe)) > 0)
        out.append(buf, n);
    const int rc = pclose(pipe);
    if (status)
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::string WithPath(const std::string& command) {
    return std::string(BRIGHTFALL_OUTSIDE_HOST_ENV) + " LV2_PATH='" + CleanLv2Path() + "' " +
           command;
}

struct Stereo {
    std::vector<float> frames;  // interleaved
    int rate = 0;
};

void WriteFloatWav(const std::string& path, const Stereo& s) {
    SF_INFO info{};
    info.samplerate = s.rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, s.frames.data(), static_cast<sf_count_t>(s.frames.size() / 2));
    sf_close(f);
}

Stereo ReadWav(const std::string& path) {
    SF_INFO info{};
    Stereo s;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f || info.channels != 2)
        return s;
    s.rate = info.samplerate;
    s.frames.resize(static_cast<std::size_t>(info.frames) * 2);
    sf_readf_float(f, s.frames.data(), info.frames);
    sf_close(f);
    return s;
}

// A decaying noise burst, different in each channel, then silence.
Stereo Burst(int rate, int frames) {
    Stereo s;
    s.rate = rate;
    s.frames.assign(static_cast<std::size_t>(frames) * 2, 0.0f);
    std::uint32_t x = 12345;
    for (int i = 0; i < frames / 3; ++i) {
        for (int c = 0; c < 2; ++c) {
            x = x * 1664525u + 1013904223u;
            const double v = (static_cast<double>(x >> 8) / 16777216.0 - 0.5) *
                             std::exp(-6.0 * i / (frames / 3.0));
            s.frames[static_cast<std::size_t>(i) * 2 + c] = static_cast<float>(v);
        }
    }
    return s;
}

std::string Scratch(const std::string& name) {
    std::filesystem::create_directories(LV2_TEST_SCRATCH);
    return std::string(LV2_TEST_SCRATCH) + "/" + name;
}

}  // namespace

TEST(LV2Bundle, LilvListsThePluginAndReportsPortsRangesUnitsAndTheUi) {
    int status = -1;
    const std::string listed = Shell(WithPath("lv2ls"), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(listed, "urn:brightfall:reverb\n");

    const std::string info = Shell(WithPath("lv2info urn:brightfall:reverb"), &status);
    EXPECT_EQ(status, 0) << info;
    // Errors from lilv while reading the descriptions show up here.
    EXPECT_EQ(info.find("error"), std::string::npos) << info;
    for (const char* expected :
         {"Name:              Brightfall", "Has latency:       no",
          "http://lv2plug.in/ns/lv2core#hardRTCapable", "http://lv2plug.in/ns/ext/worker#schedule",
          "http://lv2plug.in/ns/ext/state#interface", "http://lv2plug.in/ns/ext/worker#interface",
          "urn:brightfall:reverb#ui", "http://lv2plug.in/ns/extensions/ui#X11UI",
          "brightfall.lv2/brightfall_ui.so", "brightfall.lv2/brightfall_dsp.so"}) {
        EXPECT_NE(info.find(expected), std::string::npos) << expected << "\n" << info;
    }
    // Every port in order: its symbol, and for the controls range, default
    // and name; Wet/Dry in percent.
    const std::size_t p0 = info.find("Port 0:"), p4 = info.find("Port 4:"),
                      p5 = info.find("Port 5:");
    ASSERT_NE(p0, std::string::npos);
    ASSERT_NE(p4, std::string::npos);
    ASSERT_NE(p5, std::string::npos);
    EXPECT_EQ(info.find("Port 6:"), std::string::npos);
    const std::string ports = info.substr(p0, p4 - p0);
    for (const char* symbol :
         {"Symbol:      in_l", "Symbol:      in_r", "Symbol:      out_l", "Symbol:      out_r"})
        EXPECT_NE(ports.find(symbol), std::string::npos) << symbol;
    const std::string wet = info.substr(p4, p5 - p4), sustain = info.substr(p5);
    for (const std::string* port : {&wet, &sustain}) {
        EXPECT_NE(port->find("ControlPort"), std::string::npos) << *port;
        EXPECT_NE(port->find("InputPort"), std::string::npos) << *port;
        EXPECT_NE(port->find("Minimum:     0.000000"), std::string::npos) << *port;
        EXPECT_NE(port->find("Maximum:     100.000000"), std::string::npos) << *port;
        EXPECT_NE(port->find("Default:     50.000000"), std::string::npos) << *port;
    }
    EXPECT_NE(wet.find("Symbol:      wet_dry"), std::string::npos) << wet;
    EXPECT_NE(wet.find("Name:        Wet/Dry"), std::string::npos) << wet;
    EXPECT_NE(sustain.find("Symbol:      sustain"), std::string::npos) << sustain;
    EXPECT_NE(sustain.find("Name:        Sustain"), std::string::npos) << sustain;

    // lv2info does not print units: lilv's own reading of them.
    LilvWorld* world = lilv_world_new();
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, BRIGHTFALL_LV2_BUNDLE "/");
    lilv_world_load_bundle(world, bundle);
    LilvNode* uri = lilv_new_uri(world, "urn:brightfall:reverb");
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    ASSERT_NE(plugin, nullptr);
    LilvNode* unit = lilv_new_uri(world, "http://lv2plug.in/ns/extensions/units#unit");
    LilvNode* sym = lilv_new_string(world, "wet_dry");
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, sym);
    ASSERT_NE(port, nullptr);
    LilvNodes* units = lilv_port_get_value(plugin, port, unit);
    ASSERT_EQ(lilv_nodes_size(units), 1u);
    EXPECT_STREQ(lilv_node_as_uri(lilv_nodes_get_first(units)),
                 "http://lv2plug.in/ns/extensions/units#pc");
    lilv_nodes_free(units);
    lilv_node_free(sym);
    lilv_node_free(unit);
    lilv_node_free(uri);
    lilv_node_free(bundle);
    lilv_world_free(world);
}

TEST(LV2Bundle, Lv2applyGivesTheDrySignalAtNoWetAndTheVst2RenderAtFullReverb) {
    const int rate = 44100;
    const std::string in = Scratch("in.wav"), dry = Scratch("dry.wav"), lv2 = Scratch("lv2.wav"),
                      vst = Scratch("vst.wav");
    WriteFloatWav(in, Burst(rate, rate));
    int status = -1;
    std::string out = Shell(
        WithPath("lv2apply -i '" + in + "' -o '" + dry + "' -c wet_dry 0 urn:brightfall:reverb"),
        &status);
    ASSERT_EQ(status, 0) << out;
    const Stereo input = ReadWav(in), dryOut = ReadWav(dry);
    ASSERT_EQ(dryOut.frames.size(), input.frames.size());
    EXPECT_EQ(dryOut.frames, input.frames);

    out = Shell(WithPath("lv2apply -i '" + in + "' -o '" + lv2 +
                         "' -c wet_dry 100 -c sustain 100 urn:brightfall:reverb"),
                &status);
    ASSERT_EQ(status, 0) << out;
    // The VST 2 module in single precision (LV2 ports are single precision),
    // as long as the input, at the same settings.
    out = Shell(std::string("'") + BRIGHTFALL_RENDER + "' '" + in + "' '" + vst +
                    "' --wet 100 --sustain 100 --precision single --tail 0 --subtype float -q",
                &status);
    ASSERT_EQ(status, 0) << out;
    const Stereo a = ReadWav(lv2), b = ReadWav(vst);
    ASSERT_EQ(a.frames.size(), input.frames.size());
    ASSERT_EQ(b.frames.size(), a.frames.size());
    double peak = 0.0, worst = 0.0;
    for (std::size_t i = 0; i < a.frames.size(); ++i) {
        peak = std::max(peak, std::fabs(static_cast<double>(b.frames[i])));
        worst = std::max(worst, std::fabs(static_cast<double>(a.frames[i]) - b.frames[i]));
    }
    ASSERT_GT(peak, 1e-3);
    EXPECT_LE(worst, 1e-9 * peak) << "peak " << peak;
    // Not the dry signal: the reverb was heard.
    EXPECT_NE(a.frames, input.frames);
}
