// brightfall-render.exe end to end under Wine: it loads the Brightfall.dll
// beside it through its exported entry point and renders WAV files, as a
// person runs it. The checks read the files with a parser of their own.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "ScratchTest.h"
#include "tools/audiofile/Utf16.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    DWORD status = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// A Unix absolute path names a file on Wine's drive Z:.
std::string Native(const std::string& path) {
    return !path.empty() && path[0] == '/' ? "Z:" + path : path;
}

std::string Quoted(const std::string& arg) {
    std::string q = "\"";
    for (char c : arg)
        q += c == '"' ? std::string("\\\"") : std::string(1, c);
    return q + "\"";
}

HANDLE Inheritable(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Runs the tool with stdin empty and stdout and stderr captured in files
// beside the test's folder `dir`, so nothing of the tool's output is lost to
// a pipe; in the folder `cwd` when one is given. Arguments are UTF-8 and
// reach the tool as a UTF-16 command line, as a Windows shell passes them.
ToolRun RunTool(const std::string& dir, const std::vector<std::string>& args,
                const std::string& cwd = "") {
    const std::string exe = Native(BRIGHTFALL_RENDER);
    std::string command = Quoted(exe);
    for (const std::string& a : args)
        command += " " + Quoted(a);
    const std::string outPath = Native(dir + ".stdout"), errPath = Native(dir + ".stderr");
    HANDLE in = Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = Inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = Inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    ToolRun run;
    std::wstring line = Utf16FromUtf8(command);
    const std::wstring folder = Utf16FromUtf8(Native(cwd));
    if (CreateProcessW(Utf16FromUtf8(exe).c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &run.status);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << exe << ": error " << GetLastError();
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    run.out = ReadBytes(outPath);
    run.err = ReadBytes(errPath);
    DeleteFileA(outPath.c_str());
    DeleteFileA(errPath.c_str());
    return run;
}

#define EXPECT_RAN(run) \
    ASSERT_EQ((run).status, 0u) << "stdout:\n" << (run).out << "stderr:\n" << (run).err

// What the checks need of a WAV file, read without the tool's code.
struct Wav {
    unsigned tag = 0, channels = 0, rate = 0, bits = 0;
    std::string data;
    std::size_t Frames() const {
        return channels && bits ? data.size() / (channels * bits / 8) : 0;
    }
    // Sample i (interleaved) of 16 or 24-bit PCM or 32-bit float.
    double Sample(std::size_t i) const {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + i * (bits / 8);
        if (tag == 3) {
            float f;
            std::memcpy(&f, p, 4);
            return f;
        }
        if (bits == 16)
            return static_cast<std::int16_t>(p[0] | p[1] << 8) / 32768.0;
        const std::int32_t v =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0] << 8 | p[1] << 16) |
                                      static_cast<std::uint32_t>(p[2]) << 24);
        return v / 2147483648.0;
    }
};

std::uint32_t Le(const std::string& s, std::size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(s[at + i]);
    return v;
}

Wav ParseWav(const std::string& bytes) {
    Wav w;
    EXPECT_GE(bytes.size(), 12u);
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") || bytes.compare(8, 4, "WAVE")) {
        ADD_FAILURE() << "not a RIFF/WAVE file";
        return w;
    }
    for (std::size_t pos = 12; pos + 8 <= bytes.size();) {
        const std::uint32_t size = Le(bytes, pos + 4, 4);
        if (!bytes.compare(pos, 4, "fmt ")) {
            w.tag = Le(bytes, pos + 8, 2);
            w.channels = Le(bytes, pos + 10, 2);
            w.rate = Le(bytes, pos + 12, 4);
            w.bits = Le(bytes, pos + 22, 2);
        } else if (!bytes.compare(pos, 4, "data")) {
            w.data = bytes.substr(pos + 8, size);
            EXPECT_EQ(w.data.size(), size) << "the data chunk is whole";
        }
        pos += 8 + size + (size & 1);
    }
    return w;
}

// Writes a mono 16-bit WAV: a decaying click train.
void WriteMono16(const std::string& path, int rate, int frames) {
    std::string data;
    for (int i = 0; i < frames; ++i) {
        const double v = (i % 4000 < 50 ? 0.5 : 0.0) * std::exp(-i / 20000.0);
        const auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(v * 32767));
        data += static_cast<char>(s & 0xFF);
        data += static_cast<char>(s >> 8);
    }
    auto u32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                           static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
    };
    const std::string fmt =
        std::string("\x01\x00\x01\x00", 4) + u32(static_cast<std::uint32_t>(rate)) +
        u32(static_cast<std::uint32_t>(rate * 2)) + std::string("\x02\x00\x10\x00", 4);
    WriteBytes(path, "RIFF" + u32(static_cast<std::uint32_t>(36 + data.size())) + "WAVEfmt " +
                         u32(16) + fmt + "data" + u32(static_cast<std::uint32_t>(data.size())) +
                         data);
}

bool NoPartialFiles(const std::vector<std::string>& names) {
    for (const auto& n : names)
        if (n.find(".partial-") != std::string::npos)
            return false;
    return true;
}

using RenderToolWin = ScratchTest;

TEST_F(RenderToolWin, DemoRendersThroughBrightfallDllAndReloadsItsState) {
    EXPECT_RAN(RunTool(Dir(), {"--generate-demo", Path("dry.wav")}));
    const std::string dryBytes = ReadBytes(Path("dry.wav"));
    const Wav dry = ParseWav(dryBytes);
    EXPECT_EQ(dry.channels, 2u);
    EXPECT_EQ(dry.rate, 44100u);
    EXPECT_EQ(dry.bits, 24u);
    ASSERT_EQ(dry.Frames(), 7u * 44100);

    const ToolRun wet = RunTool(
        Dir(), {Path("dry.wav"), Path("wet.wav"), "--wet", "40", "--sustain", "60", "--subtype",
                "float", "--save-state", Path("hall.state"), "--editor-png", Path("editor.png")});
    EXPECT_RAN(wet);
    EXPECT_NE(wet.out.find("Brightfall.dll"), std::string::npos) << "found beside the .exe";
    EXPECT_NE(wet.out.find("Brightfall by Corvistone LLC"), std::string::npos) << wet.out;
    EXPECT_NE(wet.out.find("Wet/Dry 40 %, Sustain 60"), std::string::npos) << wet.out;
    EXPECT_EQ(wet.err, "");
    const std::string wetBytes = ReadBytes(Path("wet.wav"));
    const Wav out = ParseWav(wetBytes);
    EXPECT_EQ(out.tag, 3u);
    EXPECT_EQ(out.channels, 2u);
    EXPECT_EQ(out.rate, 44100u);
    ASSERT_GT(out.Frames(), dry.Frames() + 44100) << "the tail follows the input";
    double diff = 0.0, tail = 0.0;
    for (std::size_t i = 0; i < out.Frames() * 2; ++i) {
        const double v = out.Sample(i);
        ASSERT_TRUE(std::isfinite(v)) << i;
        if (i < dry.Frames() * 2)
            diff = std::max(diff, std::fabs(v - dry.Sample(i)));
        else
            tail = std::max(tail, std::fabs(v));
    }
    EXPECT_GT(diff, 0.01) << "the reverb changes the signal";
    EXPECT_GT(tail, 0.001) << "and rings on after it";

    // The editor picture comes from the images linked into the .exe.
    const std::string png = ReadBytes(Path("editor.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(Le(png, 16, 4), 0x94010000u) << "404 wide, big-endian";

    // The saved state renders the same bytes, replacing a file already there.
    WriteBytes(Path("again.wav"), "an older file");
    EXPECT_RAN(RunTool(Dir(), {"--state", Path("hall.state"), Path("dry.wav"), Path("again.wav"),
                               "--subtype", "float", "-q"}));
    EXPECT_TRUE(ReadBytes(Path("again.wav")) == wetBytes);

    // Wet/Dry 0 with no tail is the input, sample for sample, in its encoding.
    EXPECT_RAN(
        RunTool(Dir(), {Path("dry.wav"), Path("same.wav"), "--wet", "0", "--tail", "0", "-q"}));
    const Wav same = ParseWav(ReadBytes(Path("same.wav")));
    EXPECT_EQ(same.bits, 24u);
    EXPECT_TRUE(same.data == dry.data);
    EXPECT_TRUE(NoPartialFiles(Entries()));
}

TEST_F(RenderToolWin, MonoInputGivesStereoOutput) {
    WriteMono16(Path("mono.wav"), 22050, 11025);
    EXPECT_RAN(RunTool(Dir(), {Path("mono.wav"), Path("out.wav"), "--tail", "1", "-q"}));
    const Wav out = ParseWav(ReadBytes(Path("out.wav")));
    EXPECT_EQ(out.channels, 2u);
    EXPECT_EQ(out.bits, 16u);
    EXPECT_EQ(out.rate, 22050u);
    ASSERT_EQ(out.Frames(), 11025u + 22050);
    double peak = 0.0;
    for (std::size_t i = 0; i < out.Frames(); ++i) {
        ASSERT_EQ(out.Sample(2 * i), out.Sample(2 * i + 1)) << "the same reverb on both sides";
        if (i > 11025)
            peak = std::max(peak, std::fabs(out.Sample(2 * i)));
    }
    EXPECT_GT(peak, 1e-3);
}

TEST_F(RenderToolWin, ErrorsSayWhatIsWrongAndLeaveNothingBehind) {
    WriteMono16(Path("in.wav"), 8000, 800);
    WriteBytes(Path("text.wav"), "not audio at all\n");
    struct Case {
        std::vector<std::string> args;
        DWORD status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{Path("nope.wav"), Path("out.wav")},
         1,
         "cannot open " + Path("nope.wav") + ": No such file"},
        {{Path("text.wav"), Path("out.wav")}, 1, "is not a WAV file"},
        {{Path("in.wav"), Path("out.wav"), "--plugin", Path("text.wav")},
         1,
         "cannot load " + Path("text.wav") + ": "},
        {{Path("in.wav"), Path("out.flac")},
         2,
         "names a FLAC file, but this build writes wav only"},
        {{Path("in.wav"), Path("out.wav"), "--format", "ogg"}, 2, "this build writes wav only"},
        {{Path("in.wav"), Path("no/out.wav")}, 1, "the folder " + Path("no") + " does not exist"},
    };
    const std::vector<std::string> before = Entries();
    for (const Case& c : cases) {
        const ToolRun run = RunTool(Dir(), c.args);
        EXPECT_EQ(run.status, c.status) << c.message << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("%1"), std::string::npos) << "a placeholder left unfilled";
        EXPECT_EQ(run.out, "") << c.message;
        EXPECT_EQ(Entries(), before) << c.message << ": something was left behind";
    }

    // One file named two ways: relative to where the tool runs, and in full
    // with the other case.
    const ToolRun same =
        RunTool(Dir(), {Path("in.wav"), Path("NEW.wav"), "--save-state", "new.wav"}, Dir());
    EXPECT_EQ(same.status, 2u) << same.err;
    EXPECT_NE(same.err.find("--save-state and OUTPUT name the same file"), std::string::npos)
        << same.err;
    EXPECT_EQ(Entries(), before);

    // The input named as a file to write, through any name: refused, and the
    // input kept byte for byte. A symbolic link needs a privilege Windows
    // may not grant, and Wine reports one made that is not there; where none
    // appears that case is left out.
    const std::string input = ReadBytes(Path("in.wav"));
    const std::string folder = Dir().substr(Dir().find_last_of('/') + 1);
    CreateDirectoryA(Native(Path("sub")).c_str(), nullptr);
    ASSERT_TRUE(
        CreateHardLinkA(Native(Path("hard.wav")).c_str(), Native(Path("in.wav")).c_str(), nullptr))
        << "error " << GetLastError();
    std::vector<std::vector<std::string>> named = {
        {Path("in.wav"), Path("in.wav")},
        {"in.wav", Path("in.wav")},
        {Path("in.wav"), ".\\IN.WAV"},
        {"in.wav", "sub\\..\\..\\" + folder + "\\in.wav"},
        {Path("in.wav"), "hard.wav"},
        {"in.wav", Path("out.wav"), "--save-state", "hard.wav"},
        {"in.wav", Path("out.wav"), "--editor-png", "./in.wav"},
    };
    if (CreateSymbolicLinkA(Native(Path("link.wav")).c_str(), Native(Path("in.wav")).c_str(), 0) &&
        GetFileAttributesA(Native(Path("link.wav")).c_str()) != INVALID_FILE_ATTRIBUTES)
        named.push_back({Path("in.wav"), "link.wav"});
    const std::vector<std::string> withLinks = Entries();
    for (const auto& args : named) {
        const ToolRun run = RunTool(Dir(), args, Dir());
        EXPECT_EQ(run.status, 2u) << args[1] << "\n" << run.err;
        EXPECT_NE(run.err.find("the input would be overwritten"), std::string::npos) << run.err;
        EXPECT_TRUE(ReadBytes(Path("in.wav")) == input) << args[1] << ": the input changed";
        EXPECT_EQ(Entries(), withLinks) << args[1] << ": something was written";
    }
}

// Names no ANSI code page spells whole: Cyrillic, CJK, and emoji beyond the
// Basic Multilingual Plane (two UTF-16 units each).
TEST_F(RenderToolWin, NamesInAnyScriptAreReadWrittenComparedAndPrinted) {
    const std::string folder = Path(u8"Запись 録音 🎙");
    ASSERT_TRUE(fs::create_directory(fs::u8path(folder)));
    const std::string in = u8"вход 入力 🎵.wav";
    const std::string out = folder + u8"/выход 出力 🎶.wav";
    const std::string state = folder + u8"/зал ホール 🏛.state";
    const std::string png = folder + u8"/редактор 編集 🎛.png";
    WriteMono16(folder + "/" + in, 22050, 11025);

    const ToolRun run = RunTool(Dir(), {folder + "/" + in, out, "--wet", "40", "--tail", "1",
                                        "--save-state", state, "--editor-png", png});
    EXPECT_RAN(run);
    EXPECT_EQ(run.err, "");
    for (const std::string& name : {in, out, state, png})
        EXPECT_NE(run.out.find(name), std::string::npos) << "printed as UTF-8:\n" << run.out;
    const std::string rendered = ReadBytes(out);
    EXPECT_EQ(ParseWav(rendered).Frames(), 11025u + 22050);
    EXPECT_EQ(ReadBytes(state).size(), 24u);
    EXPECT_EQ(ReadBytes(png).substr(1, 3), "PNG");

    // The state read back by its name renders the same bytes, over a file
    // already there.
    EXPECT_RAN(RunTool(Dir(), {"--state", state, in, out, "--tail", "1", "-q"}, folder));
    EXPECT_TRUE(ReadBytes(out) == rendered);
    EXPECT_TRUE(NoPartialFiles(Entries(folder)));

    const ToolRun missing = RunTool(Dir(), {u8"нет 无 🚫.wav", "x.wav"}, folder);
    EXPECT_EQ(missing.status, 1u);
    EXPECT_NE(missing.err.find(u8"cannot open нет 无 🚫.wav: No such file"), std::string::npos)
        << missing.err;

    // The input through another spelling, and two files not written yet
    // whose names differ in the case of Cyrillic letters alone.
    const std::vector<std::string> files = Entries(folder);
    const std::string input = ReadBytes(folder + "/" + in);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{in, u8"ВХОД 入力 🎵.WAV"}, "the input would be overwritten"},
        {{in, u8".\\вход 入力 🎵.wav"}, "the input would be overwritten"},
        {{in, "x.wav", "--save-state", u8"..\\Запись 録音 🎙\\ВХОД 入力 🎵.wav"},
         "the input would be overwritten"},
        {{in, u8"новый 新 🆕.wav", "--editor-png", u8"НОВЫЙ 新 🆕.wav"},
         "--editor-png and OUTPUT name the same file"},
    };
    for (const Case& c : cases) {
        const ToolRun refused = RunTool(Dir(), c.args, folder);
        EXPECT_EQ(refused.status, 2u) << c.args.back() << "\n" << refused.err;
        EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
        EXPECT_TRUE(ReadBytes(folder + "/" + in) == input) << c.args.back();
        EXPECT_EQ(Entries(folder), files) << c.args.back() << ": something was written";
    }
}

}  // namespace
