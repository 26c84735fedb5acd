#include "tools/audiofile/SameFile.h"

#include <filesystem>
#include <system_error>

#include "tools/audiofile/FileSystem.h"

namespace {

// The file a path names, as far as it can be told before it exists.
// weakly_canonical leaves a relative path relative when its first part does
// not exist ("out.wav" before the render), so it is made absolute first.
// Paths are UTF-8 in and out: a std::string alone would be read, and
// written back, in Windows' ANSI code page.
std::string Resolved(const std::string& path, std::error_code& ec) {
    const std::filesystem::path absolute =
        std::filesystem::absolute(std::filesystem::u8path(path), ec);
    if (ec)
        return std::string();
    return std::filesystem::weakly_canonical(absolute, ec).u8string();
}

bool SamePath(const std::string& a, const std::string& b) {
    std::error_code ec1, ec2;
    const std::string pa = Resolved(a, ec1);
    const std::string pb = Resolved(b, ec2);
    return !ec1 && !ec2 && FileSystem::SameName(pa, pb);
}

}  // namespace

bool NameSameFile(const std::string& a, const std::string& b) {
    return SameExistingFile(a, b) || SamePath(a, b);
}
