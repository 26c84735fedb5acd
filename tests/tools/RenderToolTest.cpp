// brightfall-render end to end: real files in, the built module (or the
// VST 3 bundle) in the middle, files out, as a person runs it.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ToolTestSupport.h"

namespace {

constexpr int kRate = 44100;
constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
constexpr int kFlac24 = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
// -120 dBFS, where the default tail counts the reverb as gone.
constexpr double kSilence = 1e-6;

using RenderTool = ScratchTest;

#define EXPECT_RAN(run) \
    ASSERT_EQ((run).status, 0) << "stdout:\n" << (run).out << "stderr:\n" << (run).err

// Byte for byte, without printing megabytes when they differ.
bool SameBytes(const std::string& a, const std::string& b) {
    return ReadBytes(a) == ReadBytes(b);
}

// The bundle built with the tool, or the copy BRIGHTFALL_TEST_VST3_BUNDLE
// names, as the VST 3 tests find it.
std::string Vst3Bundle() {
    const char* other = std::getenv("BRIGHTFALL_TEST_VST3_BUNDLE");
    return other && *other ? other : BRIGHTFALL_VST3_BUNDLE;
}

// The same channels and length, and no sample of `b` further from `a`'s
// than `tolerance` times `a`'s peak; says where they part.
::testing::AssertionResult SameWithin(const Audio& a, const Audio& b, double tolerance) {
    if (a.channels.size() != b.channels.size() || a.Frames() != b.Frames())
        return ::testing::AssertionFailure()
               << a.channels.size() << " channels of " << a.Frames() << " frames against "
               << b.channels.size() << " of " << b.Frames();
    const double peak = PeakIn(a, 0, a.Frames());
    if (peak <= 0.0)
        return ::testing::AssertionFailure() << "silence";
    for (std::size_t c = 0; c < a.channels.size(); ++c)
        for (long i = 0; i < a.Frames(); ++i)
            if (std::fabs(a.channels[c][i] - b.channels[c][i]) > tolerance * peak)
                return ::testing::AssertionFailure()
                       << "channel " << c << " frame " << i << ": " << a.channels[c][i]
                       << " against " << b.channels[c][i] << ", peak " << peak;
    return ::testing::AssertionSuccess();
}

bool NoPartialFiles(const std::vector<std::string>& names) {
    for (const auto& n : names)
        if (n.find(".partial-") != std::string::npos)
            return false;
    return true;
}

TEST_F(RenderTool, MonoWavBecomesAStereoReverbAtTheSameRateAndEncoding) {
    WriteAudio(Path("mono.wav"), Burst(22050, 1, 0.5, 0.05, 0.5, kWav16));
    const ToolRun run = RunTool({Path("mono.wav"), Path("out.wav")});
    EXPECT_RAN(run);
    EXPECT_EQ(run.err, "");  // no progress bar when stderr is not a terminal
    EXPECT_NE(run.out.find("Brightfall by Corvistone LLC"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Wet/Dry 50 %, Sustain 50"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(BRIGHTFALL_MODULE), std::string::npos) << "found beside the tool";
    EXPECT_NE(run.out.find("real time"), std::string::npos);

    const Audio out = ReadAudio(Path("out.wav"));
    EXPECT_EQ(out.rate, 22050);
    EXPECT_EQ(out.format, kWav16);
    ASSERT_EQ(out.channels.size(), 2u);
    // Mono in, stereo out: the same mono reverb on both sides.
    EXPECT_EQ(out.channels[0], out.channels[1]);
    // Sustain 50 rings 64000 samples past the input.
    EXPECT_GT(out.Frames(), 11025 + 64000 - 2205);
    EXPECT_GT(PeakIn(out, 22050, 11025 + 60000), 1e-3);
}

TEST_F(RenderTool, StereoFloatWavKeepsItsEncodingAndGetsTwoDifferentReverbs) {
    WriteAudio(Path("in.wav"), Burst(48000, 2, 0.5, 0.05, 0.5, kWavFloat));
    EXPECT_RAN(RunTool({Path("in.wav"), Path("out.wav"), "-q"}));
    const Audio out = ReadAudio(Path("out.wav"));
    EXPECT_EQ(out.rate, 48000);
    EXPECT_EQ(out.format, kWavFloat);
    ASSERT_EQ(out.channels.size(), 2u);
    EXPECT_NE(out.channels[0], out.channels[1]);  // each channel has its own response
    EXPECT_GT(PeakIn(out, 30000, 60000), 1e-3);
}

TEST_F(RenderTool, FlacStaysFlacAndOtherFormatsFollowTheOutputName) {
    WriteAudio(Path("in.flac"), Burst(kRate, 2, 0.3, 0.05, 0.5, kFlac24));
    EXPECT_RAN(RunTool({Path("in.flac"), Path("out.flac"), "-q"}));
    const Audio flac = ReadAudio(Path("out.flac"));
    EXPECT_EQ(flac.format, kFlac24);
    EXPECT_GT(flac.Frames(), 13230 + 60000);

    // Ogg holds no PCM: the encoding changes to Vorbis, with a note.
    const ToolRun ogg = RunTool({Path("in.flac"), Path("out.ogg"), "-q"});
    EXPECT_RAN(ogg);
    EXPECT_NE(ogg.err.find("Ogg cannot hold 24-bit PCM; writing Vorbis"), std::string::npos)
        << ogg.err;
    EXPECT_EQ(ReadAudio(Path("out.ogg")).format, SF_FORMAT_OGG | SF_FORMAT_VORBIS);

    EXPECT_RAN(RunTool({Path("in.flac"), Path("out.aiff"), "--subtype", "pcm16", "-q"}));
    EXPECT_EQ(ReadAudio(Path("out.aiff")).format, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
}

TEST_F(RenderTool, ParametersAreSetByNameInThePluginsOwnUnits) {
    const Audio in = Burst(kRate, 2, 0.5, 0.1, 0.5, kWavFloat);
    WriteAudio(Path("in.wav"), in);

    // Wet/Dry 0 is the dry signal exactly; Sustain 0 passes the input through.
    for (const std::vector<std::string>& setting :
         {std::vector<std::string>{"--wet", "0"}, std::vector<std::string>{"--sustain", "0"},
          std::vector<std::string>{"--param", "Wet/Dry=0%"}}) {
        std::vector<std::string> args{Path("in.wav"), Path("dry.wav"), "-q"};
        args.insert(args.end(), setting.begin(), setting.end());
        EXPECT_RAN(RunTool(args));
        const Audio out = ReadAudio(Path("dry.wav"));
        ASSERT_GE(out.Frames(), in.Frames()) << setting[0];
        for (int c = 0; c < 2; ++c)
            for (long i = 0; i < in.Frames(); ++i)
                ASSERT_EQ(out.channels[c][i], static_cast<float>(in.channels[c][i]))
                    << setting[0] << " channel " << c << " frame " << i;
        EXPECT_LE(PeakIn(out, in.Frames(), out.Frames()), 0.0) << "nothing after a dry input";
    }

    // The same values by option, by loose name, or with the unit: the same bytes.
    const ToolRun named =
        RunTool({Path("in.wav"), Path("a.wav"), "--wet", "30", "--sustain", "20"});
    EXPECT_RAN(named);
    EXPECT_NE(named.out.find("Wet/Dry 30 %, Sustain 20"), std::string::npos) << named.out;
    EXPECT_RAN(RunTool(
        {Path("in.wav"), Path("b.wav"), "-q", "-p", "sustain=20", "--param", "wetdry=30 %"}));
    EXPECT_TRUE(SameBytes(Path("a.wav"), Path("b.wav")));
    EXPECT_RAN(RunTool({Path("in.wav"), Path("c.wav"), "-q", "--sustain", "21"}));
    EXPECT_FALSE(SameBytes(Path("a.wav"), Path("c.wav")));

    const ToolRun list = RunTool({"--list-params"});
    EXPECT_RAN(list);
    EXPECT_NE(list.out.find("Wet/Dry          50 %       0 to 100"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Sustain          50         0 to 100"), std::string::npos) << list.out;
}

TEST_F(RenderTool, SavedStateReloadsAndRendersTheSameBytes) {
    WriteAudio(Path("in.wav"), Burst(kRate, 1, 0.4, 0.05, 0.5, SF_FORMAT_WAV | SF_FORMAT_PCM_24));
    const ToolRun first = RunTool({Path("in.wav"), Path("a.wav"), "--wet", "35", "--sustain", "70",
                                   "--save-state", Path("hall.state")});
    EXPECT_RAN(first);
    EXPECT_NE(first.out.find("saved to"), std::string::npos);
    const std::string state = ReadBytes(Path("hall.state"));
    ASSERT_EQ(state.size(), 24u);
    EXPECT_EQ(state.substr(0, 4), "tffp");

    EXPECT_RAN(RunTool({"--state", Path("hall.state"), Path("in.wav"), Path("b.wav"), "-q"}));
    EXPECT_TRUE(SameBytes(Path("a.wav"), Path("b.wav")));
    // However many times the settings were changed on the way: every change of
    // Sustain draws new noise, and only the final settings may count.
    EXPECT_RAN(RunTool({"--state", Path("hall.state"), "--sustain", "70", "--wet", "35",
                        Path("in.wav"), Path("c.wav"), "-q"}));
    EXPECT_TRUE(SameBytes(Path("a.wav"), Path("c.wav")));

    // A state saved without rendering, and parameters given after a state.
    EXPECT_RAN(
        RunTool({"--sustain", "70", "--wet", "35", "--save-state", Path("again.state"), "-q"}));
    EXPECT_EQ(ReadBytes(Path("again.state")), state);
    const ToolRun over = RunTool({"--state", Path("hall.state"), "--wet", "80", Path("in.wav"),
                                  Path("e.wav"), "--save-state", Path("over.state")});
    EXPECT_RAN(over);
    EXPECT_NE(over.out.find("Wet/Dry 80 %, Sustain 70"), std::string::npos) << over.out;
    EXPECT_NE(ReadBytes(Path("over.state")), state);

    // A file the plug-in takes but does not keep as it is gets a note.
    const ToolRun foreign =
        RunTool({"--state", Path("in.wav"), Path("in.wav"), Path("d.wav"), "-q"});
    EXPECT_RAN(foreign);
    EXPECT_NE(foreign.err.find("is it a saved state?"), std::string::npos) << foreign.err;
}

TEST_F(RenderTool, DefaultTailRunsUntilTheReverbHasDiedAway) {
    // The longest response: Sustain 100, 128000 samples.
    WriteAudio(Path("in.wav"), Burst(kRate, 2, 0.5, 0.05, 0.9, kWavFloat));
    EXPECT_RAN(
        RunTool({Path("in.wav"), Path("out.wav"), "--sustain", "100", "--wet", "100", "-q"}));
    const Audio out = ReadAudio(Path("out.wav"));
    ASSERT_GT(out.Frames(), 128000 + kRate);
    EXPECT_LT(PeakIn(out, out.Frames() - kRate, out.Frames()), kSilence) << "last second";
    EXPECT_GE(PeakIn(out, out.Frames() - kRate - 100, out.Frames() - kRate), kSilence)
        << "and no more silence than that second";
    EXPECT_GT(out.Frames(), 2205 + 128000 - 2000) << "the whole response is heard";

    // An explicit tail is kept whole.
    EXPECT_RAN(RunTool({Path("in.wav"), Path("short.wav"), "--tail", "0.25", "-q"}));
    EXPECT_EQ(ReadAudio(Path("short.wav")).Frames(), 22050 + 11025);

    // Trimming never cuts into the input, even where it is silent.
    WriteAudio(Path("quiet.wav"), Burst(kRate, 2, 3.0, 0.05, 0.5, kWavFloat));
    EXPECT_RAN(RunTool({Path("quiet.wav"), Path("quiet-out.wav"), "--sustain", "0", "-q"}));
    EXPECT_EQ(ReadAudio(Path("quiet-out.wav")).Frames(), 3 * kRate);
}

TEST_F(RenderTool, ACutShortFileIsRenderedAsFarAsItGoesWithAWarning) {
    WriteAudio(Path("in.wav"), Burst(kRate, 2, 1.0, 0.05, 0.5, kWav16));
    const std::string bytes = ReadBytes(Path("in.wav"));
    std::FILE* f = std::fopen(Path("cut.wav").c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size() / 2, f);
    std::fclose(f);
    const ToolRun run = RunTool({Path("cut.wav"), Path("out.wav"), "--tail", "0", "-q"});
    EXPECT_RAN(run);
    EXPECT_NE(run.err.find("holds less than its header announces"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Rendered the 0.50 s that are there"), std::string::npos) << run.err;
    const long frames = ReadAudio(Path("out.wav")).Frames();
    EXPECT_GT(frames, kRate / 2 - 10);
    EXPECT_LT(frames, kRate / 2 + 10);
}

TEST_F(RenderTool, BlockSizeAndPrecisionChangeNothingButRounding) {
    WriteAudio(Path("in.wav"), Burst(kRate, 2, 0.3, 0.05, 0.5, kWavFloat));
    const std::vector<std::string> common{"--sustain", "30",     "--tail", "0.5",
                                          "--subtype", "double", "-q"};
    auto render = [&](const std::string& name, std::vector<std::string> extra) -> Audio {
        std::vector<std::string> args{Path("in.wav"), Path(name)};
        args.insert(args.end(), common.begin(), common.end());
        args.insert(args.end(), extra.begin(), extra.end());
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return ReadAudio(Path(name));
    };
    const Audio ref = render("ref.wav", {});
    const Audio odd = render("odd.wav", {"--block", "37"});
    const Audio big = render("big.wav", {"--block", "65536"});
    const Audio single = render("single.wav", {"--precision", "single"});
    for (const Audio* other : {&odd, &big, &single}) {
        ASSERT_EQ(other->Frames(), ref.Frames());
        const double tolerance = other == &single ? 1e-6 : 1e-12;
        for (int c = 0; c < 2; ++c)
            for (long i = 0; i < ref.Frames(); ++i)
                ASSERT_NEAR(other->channels[c][i], ref.channels[c][i], tolerance)
                    << "channel " << c << " frame " << i;
    }
}

TEST_F(RenderTool, ClippingIsReportedAndClippedInIntegerFiles) {
    // Float files may hold samples beyond full scale; the dry path keeps them.
    WriteAudio(Path("hot.wav"), Burst(kRate, 2, 0.2, 0.1, 1.8, kWavFloat));
    const ToolRun run =
        RunTool({Path("hot.wav"), Path("hot16.wav"), "--wet", "0", "--subtype", "pcm16", "-q"});
    EXPECT_RAN(run);
    EXPECT_NE(run.err.find("warning: the output clips"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("clipped in the file"), std::string::npos) << run.err;
    const Audio out = ReadAudio(Path("hot16.wav"));
    EXPECT_LE(PeakIn(out, 0, out.Frames()), 1.0);
    EXPECT_GT(PeakIn(out, 0, 100), 0.99) << "clipped at full scale, not wrapped around";

    const ToolRun quiet =
        RunTool({Path("hot.wav"), Path("cool.wav"), "--wet", "0", "--param", "Sustain=0", "-q"});
    EXPECT_RAN(quiet);
    EXPECT_NE(quiet.err.find("kept in the float file"), std::string::npos) << quiet.err;
}

struct ErrorCase {
    const char* what;
    std::vector<std::string> args;  // {in} {out} {dir} replaced
    int status;
    const char* message;
};

TEST_F(RenderTool, ErrorsSayWhatIsWrongAndLeaveNothingBehind) {
    WriteAudio(Path("in.wav"), Burst(kRate, 2, 0.2, 0.05, 0.5, kWav16));
    WriteAudio(Path("six.wav"), Burst(kRate, 6, 0.1, 0.05, 0.5, kWav16));
    {
        std::FILE* f = std::fopen(Path("text.wav").c_str(), "w");
        std::fputs("not audio at all\n", f);
        std::fclose(f);
        f = std::fopen(Path("short.state").c_str(), "wb");
        std::fwrite("tffp\0\0\1\0", 1, 8, f);  // the header alone
        std::fclose(f);
    }
    Audio nan = Burst(kRate, 1, 0.1, 0.05, 0.5, kWavFloat);
    nan.channels[0][100] = std::nan("");
    WriteAudio(Path("nan.wav"), nan);

    const std::vector<ErrorCase> cases = {
        {"missing input",
         {"{dir}/nope.wav", "{out}"},
         1,
         "cannot open {dir}/nope.wav: No such file"},
        {"not audio", {"{dir}/text.wav", "{out}"}, 1, "is not an audio file that can be read"},
        {"six channels", {"{dir}/six.wav", "{out}"}, 1, "has 6 channels; only mono and stereo"},
        {"sample not a number", {"{dir}/nan.wav", "{out}"}, 1, "not a finite number at 0.002 s"},
        {"module missing",
         {"{in}", "{out}", "--plugin", "{dir}/none.so"},
         1,
         "cannot load {dir}/none.so: {dir}/none.so: cannot open shared object file"},
        {"module is not a library", {"{in}", "{out}", "--plugin", "{in}"}, 1, "cannot load"},
        {"no entry point of either format",
         {"{in}", "{out}", "--plugin", FAKE_NO_ENTRY},
         1,
         "is not a plug-in: it exports neither VSTPluginMain nor main (VST 2) nor "
         "GetPluginFactory (VST 3)"},
        {"a folder that is no bundle",
         {"{in}", "{out}", "--plugin", "{dir}"},
         1,
         "{dir} is a folder but not a VST 3 bundle"},
        {"state rejected through VST 3",
         {"{in}", "{out}", "--plugin", Vst3Bundle(), "--state", "{dir}/short.state"},
         1,
         "the plug-in rejected the state in {dir}/short.state"},
        {"out of range through VST 3",
         {"{in}", "{out}", "--plugin", Vst3Bundle(), "--sustain", "101"},
         2,
         "--sustain 101: 101 is out of range; Sustain takes values from 0 to 100"},
        {"not an effect record",
         {"{in}", "{out}", "--plugin", FAKE_BAD_MAGIC},
         1,
         "is not a VST 2 effect"},
        {"plug-in output not a number",
         {"{in}", "{out}", "--plugin", FAKE_NAN_OUTPUT},
         1,
         "the plug-in produced a sample that is not a finite number at 0.023 s"},
        {"unknown parameter",
         {"{in}", "{out}", "--param", "Decay=3"},
         2,
         "no parameter named \"Decay\"; its parameters are \"Wet/Dry\", \"Sustain\""},
        {"out of range",
         {"{in}", "{out}", "--sustain", "101"},
         2,
         "--sustain 101: 101 is out of range; Sustain takes values from 0 to 100"},
        {"negative", {"{in}", "{out}", "--wet", "-5"}, 2, "Wet/Dry takes values from 0 to 100"},
        {"not a number", {"{in}", "{out}", "--wet", "lots"}, 2, "\"lots\" is not a number"},
        {"set twice",
         {"{in}", "{out}", "--wet", "1", "-p", "Wet/Dry=2"},
         2,
         "Wet/Dry is set twice"},
        {"output folder missing",
         {"{in}", "{dir}/no/out.wav"},
         1,
         "the folder {dir}/no does not exist"},
        {"output is a folder", {"{in}", "{dir}"}, 1, "cannot write {dir}: it is a folder"},
        {"block size",
         {"{in}", "{out}", "--block", "0"},
         2,
         "--block: Value 0 not in range 1 to 65536"},
        {"tail", {"{in}", "{out}", "--tail", "-1"}, 2, "the tail is 0 to 3600 seconds"},
        {"encoding the format cannot hold",
         {"{in}", "{dir}/out.flac", "--subtype", "float"},
         2,
         "FLAC cannot hold 32-bit float; it takes pcm8, pcm16, pcm24"},
        {"unknown format", {"{in}", "{out}", "--format", "mp9"}, 2, "unknown format"},
        {"state missing",
         {"{in}", "{out}", "--state", "{dir}/none.state"},
         1,
         "cannot read state file {dir}/none.state: No such file"},
        {"state rejected",
         {"{in}", "{out}", "--state", "{dir}/short.state"},
         1,
         "the plug-in rejected the state in {dir}/short.state"},
        {"state without a render",
         {"--save-state", "{dir}/x.state", "--plugin", FAKE_NAN_OUTPUT},
         1,
         "does not save its state as a chunk"},
        {"no output", {"{in}"}, 2, "give an OUTPUT file"},
        {"empty value", {"{in}", "{out}", "--wet", ""}, 2, "--wet: needs a value"},
        {"state path unwritable",
         {"{in}", "{out}", "--save-state", "{dir}/no/x.state"},
         1,
         "cannot write {dir}/no/x.state: the folder {dir}/no does not exist"},
    };
    const std::vector<std::string> before = Entries();
    auto fill = [&](std::string s) {
        for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
                 {"{in}", Path("in.wav")}, {"{out}", Path("out.wav")}, {"{dir}", Dir()}}) {
            for (std::size_t at = s.find(key); at != std::string::npos; at = s.find(key))
                s.replace(at, key.size(), value);
        }
        return s;
    };
    for (const ErrorCase& c : cases) {
        std::vector<std::string> args;
        for (const auto& a : c.args)
            args.push_back(fill(a));
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.err;
        EXPECT_NE(run.err.find(fill(c.message)), std::string::npos) << c.what << "\n" << run.err;
        EXPECT_EQ(run.out, "") << c.what;
        EXPECT_EQ(Entries(), before) << c.what << ": something was left behind";
        EXPECT_TRUE(NoPartialFiles(Entries()));
    }

    // One file named two ways: relative to where the tool runs, and in full.
    for (const char* option : {"--save-state", "--editor-png"}) {
        const ToolRun run = RunTool({Path("in.wav"), Path("new.wav"), option, "new.wav"}, Dir());
        EXPECT_EQ(run.status, 2) << option << "\n" << run.err;
        EXPECT_NE(run.err.find(std::string(option) + " and OUTPUT name the same file"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(Entries(), before) << option;
    }

    // The state file it reads is not written over by the render or the
    // picture, and the picture and the saved state do not replace each other;
    // saving the state back over the one read is an update, and allowed.
    ASSERT_EQ(RunTool({"--sustain", "70", "--save-state", Path("read.state"), "-q"}).status, 0);
    const std::string state = ReadBytes(Path("read.state"));
    const std::vector<std::string> withState = Entries();
    struct Clash {
        std::vector<std::string> args;
        const char* message;
    };
    const Clash clashes[] = {
        {{Path("in.wav"), "read.state", "--state", Path("read.state")},
         "OUTPUT and --state name the same file"},
        {{"--state", "read.state", "--editor-png", "./read.state"},
         "--editor-png and --state name the same file"},
        {{"--save-state", Path("both"), "--editor-png", "both"},
         "--editor-png and --save-state name the same file"},
    };
    for (const Clash& c : clashes) {
        const ToolRun run = RunTool(c.args, Dir());
        EXPECT_EQ(run.status, 2) << c.message << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(ReadBytes(Path("read.state")) == state) << c.message;
        EXPECT_EQ(Entries(), withState) << c.message;
    }
    EXPECT_RAN(RunTool(
        {"--state", Path("read.state"), "--wet", "20", "--save-state", Path("read.state"), "-q"}));
    EXPECT_FALSE(ReadBytes(Path("read.state")) == state) << "the state was not saved back";
}

// However the input is named as a file to write, nothing is read or written;
// a file that only looks like the input (same name, same bytes) may be.
TEST_F(RenderTool, TheInputNamedAsAFileToWriteIsRefusedAndKept) {
    namespace fs = std::filesystem;
    WriteAudio(Path("in.wav"), Burst(kRate, 2, 0.1, 0.05, 0.5, kWav16));
    const std::string input = ReadBytes(Path("in.wav"));
    fs::create_directory(Path("sub"));
    fs::create_symlink(Path("in.wav"), Path("link.wav"));
    fs::create_hard_link(Path("in.wav"), Path("hard.wav"));
    const std::string folder = fs::path(Dir()).filename().string();

    struct Case {
        const char* what;
        std::vector<std::string> args;  // run in the test's folder
    };
    const std::vector<Case> cases = {
        {"the same path", {Path("in.wav"), Path("in.wav")}},
        {"relative and absolute", {"in.wav", Path("in.wav")}},
        {"./", {Path("in.wav"), "./in.wav"}},
        {"..", {"in.wav", "sub/../../" + folder + "/in.wav"}},
        {"symbolic link", {Path("in.wav"), Path("link.wav")}},
        {"read through a symbolic link", {"link.wav", "in.wav"}},
        {"hard link", {Path("in.wav"), "hard.wav"}},
        {"--save-state", {"in.wav", "out.wav", "--save-state", Path("hard.wav")}},
        {"--editor-png", {"in.wav", "out.wav", "--editor-png", "./link.wav"}},
    };
    const std::vector<std::string> before = Entries();
    for (const Case& c : cases) {
        const ToolRun run = RunTool(c.args, Dir());
        EXPECT_EQ(run.status, 2) << c.what << "\n" << run.err;
        EXPECT_NE(run.err.find("name the same file"), std::string::npos) << c.what << run.err;
        EXPECT_NE(run.err.find("the input would be overwritten"), std::string::npos) << run.err;
        EXPECT_TRUE(ReadBytes(Path("in.wav")) == input) << c.what << ": the input changed";
        EXPECT_TRUE(fs::is_symlink(Path("link.wav"))) << c.what;
        EXPECT_EQ(fs::hard_link_count(Path("in.wav")), 2u) << c.what;
        EXPECT_EQ(Entries(), before) << c.what << ": something was written";
    }

    fs::copy_file(Path("in.wav"), Path("sub/in.wav"));
    EXPECT_RAN(RunTool({"in.wav", "sub/in.wav", "--tail", "0", "-q"}, Dir()));
    EXPECT_FALSE(ReadBytes(Path("sub/in.wav")) == input) << "another file is written over";
}

TEST_F(RenderTool, DemoSignalIsWorthHearing) {
    const ToolRun run = RunTool({"--generate-demo", Path("dry.wav")});
    EXPECT_RAN(run);
    const Audio dry = ReadAudio(Path("dry.wav"));
    EXPECT_EQ(dry.rate, 44100);
    ASSERT_EQ(dry.channels.size(), 2u);
    EXPECT_EQ(dry.Frames(), 7 * 44100);
    const double peak = PeakIn(dry, 0, dry.Frames());
    EXPECT_GT(peak, 0.25);
    EXPECT_LT(peak, 1.0);
    // Something sounds in every second of the phrase, and it is stereo.
    for (long s = 0; s < 6; ++s)
        EXPECT_GT(PeakIn(dry, s * 44100, (s + 1) * 44100), 0.01) << s;
    EXPECT_NE(dry.channels[0], dry.channels[1]);
}

// The VST 3 bundle, by its folder or by the library inside, does what the
// VST 2 module does: the same parameters, the same renders, the same state.
TEST_F(RenderTool, TheVst3BundleRendersAsTheVst2ModuleDoes) {
    const std::string bundle = Vst3Bundle();
    const ToolRun list = RunTool({"--list-params", "--plugin", bundle});
    EXPECT_RAN(list);
    EXPECT_NE(list.out.find("Wet/Dry          50 %       0 to 100"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Sustain          50         0 to 100"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("Bypass"), std::string::npos) << "the host's switch, not a setting";

    ASSERT_EQ(RunTool({"--generate-demo", Path("dry.wav"), "-q"}).status, 0);
    auto render = [&](const std::string& name, std::vector<std::string> extra) -> Audio {
        std::vector<std::string> args{Path("dry.wav"), Path(name), "--subtype", "double", "-q"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.status, 0) << name << "\n" << run.err;
        return ReadAudio(Path(name));
    };
    const std::vector<std::string> full{"--wet", "100", "--sustain", "100"};
    const Audio vst2 = render("vst2.wav", full);
    std::vector<std::string> through3 = full;
    through3.insert(through3.end(), {"--plugin", bundle});
    // 64-bit samples all the way: single precision anywhere would part them.
    EXPECT_TRUE(SameWithin(vst2, render("vst3.wav", through3), 1e-9));
    const std::string library =
        bundle + "/Contents/x86_64-linux/" + std::filesystem::path(bundle).stem().string() + ".so";
    EXPECT_TRUE(SameWithin(
        render("vst2-single.wav", {"--precision", "single", "--block", "37"}),
        render("vst3-single.wav", {"--precision", "single", "--block", "37", "--plugin", library}),
        1e-6));

    // A state saved through either format is the same chunk, and renders
    // the same through the other.
    const std::vector<std::string> hall{"--wet", "35", "--sustain", "70", "-q", "--save-state"};
    std::vector<std::string> save2 = hall, save3 = hall;
    save2.push_back(Path("vst2.state"));
    save3.insert(save3.end(), {Path("vst3.state"), "--plugin", bundle});
    EXPECT_RAN(RunTool(save2));
    EXPECT_RAN(RunTool(save3));
    ASSERT_EQ(ReadBytes(Path("vst3.state")).size(), 24u);
    EXPECT_TRUE(ReadBytes(Path("vst2.state")) == ReadBytes(Path("vst3.state")));
    EXPECT_TRUE(SameWithin(render("hall2.wav", {"--state", Path("vst3.state")}),
                           render("hall3.wav", {"--state", Path("vst2.state"), "--plugin", bundle}),
                           1e-9));

    // Mono through a plug-in whose buses go as wide each way: mono in, mono
    // out, on both sides, as the VST 2 module's mono-in, stereo-out gives it.
    WriteAudio(Path("mono.wav"), Burst(kRate, 1, 0.5, 0.05, 0.5, kWavFloat));
    const std::vector<std::string> monoArgs{Path("mono.wav"), "--wet", "100", "--tail", "0.5",
                                            "--subtype",      "double"};
    std::vector<std::string> mono2 = monoArgs, mono3 = monoArgs;
    mono2.insert(mono2.begin() + 1, Path("mono2.wav"));
    mono3.insert(mono3.begin() + 1, Path("mono3.wav"));
    mono3.insert(mono3.end(), {"--plugin", bundle});
    EXPECT_RAN(RunTool(mono2));
    const ToolRun mono = RunTool(mono3);
    EXPECT_RAN(mono);
    EXPECT_NE(mono.out.find("VST 3"), std::string::npos) << mono.out;
    const Audio stereo = ReadAudio(Path("mono3.wav"));
    ASSERT_EQ(stereo.channels.size(), 2u);
    EXPECT_GT(PeakIn(stereo, 0, stereo.Frames()), 1e-2);
    EXPECT_TRUE(SameWithin(ReadAudio(Path("mono2.wav")), stereo, 1e-9));
}

}  // namespace

TEST_F(RenderTool, EditorPictureShowsTheSettingsAndRefusesOtherPlugins) {
    const std::string png = Path("editor.png");
    const ToolRun run = RunTool({"--wet", "0", "--sustain", "100", "--editor-png", png});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = ReadBytes(png);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    // IHDR: width and height, big-endian, at offsets 16 and 20.
    auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) |
               (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) |
               static_cast<unsigned char>(bytes[at + 3]);
    };
    EXPECT_EQ(be32(16), 404u);
    EXPECT_EQ(be32(20), 250u);

    // Different settings draw a different picture.
    const std::string other = Path("other.png");
    ASSERT_EQ(RunTool({"--wet", "100", "--sustain", "0", "--editor-png", other}).status, 0);
    EXPECT_NE(ReadBytes(other), bytes);

    const ToolRun foreign =
        RunTool({"--editor-png", Path("fake.png"), "--plugin", FAKE_NAN_OUTPUT});
    EXPECT_EQ(foreign.status, 1);
    EXPECT_NE(foreign.err.find("another plug-in"), std::string::npos) << foreign.err;
    EXPECT_FALSE(Exists(Path("fake.png")));
    const ToolRun unwritable = RunTool({"--editor-png", Path("no/such/dir/e.png")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos) << unwritable.err;
}
