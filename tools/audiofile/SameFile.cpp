#include "tools/audiofile/SameFile.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "tools/audiofile/FileSystem.h"

namespace {

// The file a path names, as far as it can be told before it exists.
// weakly_canonical leaves a relative path relative when its first part does
// not exist ("out.wav" before the render), so it is made absolute first.
std::string Resolved(const std::string& path, std::error_code& ec) {
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec)
        return std::string();
    std::string text = std::filesystem::weakly_canonical(absolute, ec).string();
    if (FileSystem::kNamesIgnoreCase) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

bool SamePath(const std::string& a, const std::string& b) {
    std::error_code ec1, ec2;
    const std::string pa = Resolved(a, ec1);
    const std::string pb = Resolved(b, ec2);
    return !ec1 && !ec2 && pa == pb;
}

}  // namespace

bool NameSameFile(const std::string& a, const std::string& b) {
    return SameExistingFile(a, b) || SamePath(a, b);
}
