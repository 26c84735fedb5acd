#include "tools/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/ToolError.h"

namespace {

#if defined(_WIN32)
// "C:name" is a name in the current folder of drive C:.
constexpr const char* kSeparators = "/\\:";
#else
constexpr const char* kSeparators = "/";
#endif

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of(kSeparators);
    if (slash == std::string::npos)
        return ".";
    if (slash == 0 || path[slash] == ':')
        return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

#if defined(_WIN32)

std::string SystemMessage(DWORD code) {
    char buf[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buf, sizeof(buf), nullptr);
    std::string text(buf);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return text + " (error " + std::to_string(code) + ")";
}

// Windows has no mkstemp: try fresh names until one does not exist yet.
// Binary mode, or every 0x0A byte written would gain a 0x0D before it.
int CreateTemporary(std::vector<char>& name) {
    static unsigned long counter = 0;
    unsigned long state = GetCurrentProcessId() * 2654435761ul + GetTickCount() + ++counter;
    const char* digits = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = name.size() - 7; i < name.size() - 1; ++i) {
            state = state * 1664525ul + 1013904223ul;
            name[i] = digits[(state >> 16) % 36];
        }
        const int fd =
            _open(name.data(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool ReplaceTarget(const std::string& temp, const std::string& target, std::string* why) {
    if (MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    *why = SystemMessage(GetLastError());
    return false;
}

long long SeekTo(int fd, long long offset, int whence) {
    return _lseeki64(fd, offset, whence);
}

int WriteSome(int fd, const char* p, std::size_t size) {
    return _write(fd, p, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 20)));
}

int CloseFd(int fd) {
    return _close(fd);
}

#else

// mkstemp creates files readable by the owner only; a finished output should
// get the permissions any other new file of this user gets.
mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

int CreateTemporary(std::vector<char>& name) {
    const int fd = mkstemp(name.data());
    if (fd >= 0)
        fchmod(fd, NewFileMode());
    return fd;
}

bool ReplaceTarget(const std::string& temp, const std::string& target, std::string* why) {
    if (std::rename(temp.c_str(), target.c_str()) == 0)
        return true;
    *why = std::strerror(errno);
    return false;
}

long long SeekTo(int fd, long long offset, int whence) {
    return static_cast<long long>(lseek(fd, static_cast<off_t>(offset), whence));
}

ssize_t WriteSome(int fd, const char* p, std::size_t size) {
    return ::write(fd, p, size);
}

int CloseFd(int fd) {
    return ::close(fd);
}

#endif

}  // namespace

AtomicFile::AtomicFile(std::string target) : mTarget(std::move(target)) {
    if (mTarget.empty())
        throw UsageError("an output path is empty");
    struct stat st {};
    if (stat(mTarget.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw ToolError("cannot write " + mTarget + ": it is a folder");

    const std::size_t cut = mTarget.find_last_of(kSeparators) + 1;  // 0 when there is none
    const std::string pattern =
        mTarget.substr(0, cut) + "." + mTarget.substr(cut) + ".partial-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    mFd = CreateTemporary(name);
    if (mFd < 0) {
        const int err = errno;
        std::string why = std::strerror(err);
        if (err == ENOENT)
            why = "the folder " + FolderOf(mTarget) + " does not exist";
        throw ToolError("cannot write " + mTarget + ": " + why);
    }
    mTemp = name.data();
}

AtomicFile::~AtomicFile() {
    if (!mCommitted)
        Discard();
}

void AtomicFile::Write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const auto n = WriteSome(mFd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw ToolError("cannot write " + mTarget + ": " + std::strerror(errno));
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void AtomicFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    const long long here = SeekTo(mFd, 0, SEEK_CUR);
    if (here < 0 || SeekTo(mFd, static_cast<long long>(offset), SEEK_SET) < 0)
        throw ToolError("cannot write " + mTarget + ": " + std::strerror(errno));
    Write(data, size);
    if (SeekTo(mFd, here, SEEK_SET) < 0)
        throw ToolError("cannot write " + mTarget + ": " + std::strerror(errno));
}

void AtomicFile::Commit() {
    if (mCommitted)
        return;
    const int fd = mFd;
    mFd = -1;
    if (CloseFd(fd) != 0) {
        const std::string why = std::strerror(errno);
        Discard();
        throw ToolError("cannot write " + mTarget + ": " + why);
    }
    std::string why;
    if (!ReplaceTarget(mTemp, mTarget, &why)) {
        Discard();
        throw ToolError("cannot write " + mTarget + ": " + why);
    }
    mCommitted = true;
}

void AtomicFile::Discard() {
    if (mFd >= 0)
        CloseFd(mFd);
    mFd = -1;
    if (!mTemp.empty())
        std::remove(mTemp.c_str());
    mTemp.clear();
}
