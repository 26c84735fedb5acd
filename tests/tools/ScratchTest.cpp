#include "ScratchTest.h"

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void ScratchTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    mDir = std::string(SCRATCH_ROOT) + "/" + info->test_suite_name() + "." + info->name() + "-" +
           std::to_string(getpid());
    fs::remove_all(mDir);
    fs::create_directories(mDir);
}

void ScratchTest::TearDown() {
    if (!HasFailure())
        fs::remove_all(mDir);
}

std::vector<std::string> ScratchTest::Entries(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::u8path(folder.empty() ? mDir : folder)))
        names.push_back(e.path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
}

// u8path: on Windows a plain std::string would name the file in the ANSI
// code page.
std::string ReadBytes(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(fs::u8path(path), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

bool Exists(const std::string& path) {
    return fs::exists(fs::u8path(path));
}
