#include "tools/audiofile/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/audiofile/FileSystem.h"
#include "tools/audiofile/ToolError.h"

namespace {

std::string FolderOf(const std::string& path, const char* separators) {
    const std::size_t slash = path.find_last_of(separators);
    if (slash == std::string::npos)
        return ".";
    if (slash == 0 || path[slash] == ':')
        return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

}  // namespace

AtomicFile::AtomicFile(std::string target) : mTarget(std::move(target)) {
    if (mTarget.empty())
        throw UsageError("an output path is empty");
    bool isFolder = false;
    if (FileSystem::Find(mTarget, &isFolder) && isFolder)
        throw ToolError("cannot write " + mTarget + ": it is a folder");

    const std::size_t cut =
        mTarget.find_last_of(FileSystem::kSeparators) + 1;  // 0 when there is none
    const std::string pattern =
        mTarget.substr(0, cut) + "." + mTarget.substr(cut) + ".partial-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    mFd = CreateTemporary(name);
    if (mFd < 0) {
        const int err = errno;
        std::string why = std::strerror(err);
        if (err == ENOENT)
            why = "the folder " + FolderOf(mTarget, FileSystem::kSeparators) + " does not exist";
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
        FileSystem::Remove(mTemp);
    mTemp.clear();
}
