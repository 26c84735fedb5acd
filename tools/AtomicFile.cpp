#include "tools/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/ToolError.h"

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// mkstemp creates files readable by the owner only; a finished output should
// get the permissions any other new file of this user gets.
mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

AtomicFile::AtomicFile(std::string target) : mTarget(std::move(target)) {
    if (mTarget.empty())
        throw UsageError("an output path is empty");
    struct stat st {};
    if (stat(mTarget.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw ToolError("cannot write " + mTarget + ": it is a folder");

    const std::string folder = FolderOf(mTarget);
    std::string pattern = folder + "/." + NameOf(mTarget) + ".partial-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    mFd = mkstemp(name.data());
    if (mFd < 0) {
        const int err = errno;
        std::string why = std::strerror(err);
        if (err == ENOENT)
            why = "the folder " + folder + " does not exist";
        throw ToolError("cannot write " + mTarget + ": " + why);
    }
    mTemp = name.data();
    fchmod(mFd, NewFileMode());
}

AtomicFile::~AtomicFile() {
    if (!mCommitted)
        Discard();
}

void AtomicFile::Write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(mFd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw ToolError("cannot write " + mTarget + ": " + std::strerror(errno));
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void AtomicFile::Commit() {
    if (mCommitted)
        return;
    const int fd = mFd;
    mFd = -1;
    if (::close(fd) != 0) {
        const std::string why = std::strerror(errno);
        Discard();
        throw ToolError("cannot write " + mTarget + ": " + why);
    }
    if (std::rename(mTemp.c_str(), mTarget.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        Discard();
        throw ToolError("cannot write " + mTarget + ": " + why);
    }
    mCommitted = true;
}

void AtomicFile::Discard() {
    if (mFd >= 0)
        ::close(mFd);
    mFd = -1;
    if (!mTemp.empty())
        ::unlink(mTemp.c_str());
    mTemp.clear();
}
