// The temporary file and its rename on POSIX systems: mkstemp, then
// rename(), which replaces the target in one step.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/audiofile/AtomicFile.h"

namespace {

// mkstemp creates files readable by the owner only; a finished output should
// get the permissions any other new file of this user gets.
mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

int AtomicFile::CreateTemporary(std::vector<char>& name) {
    const int fd = mkstemp(name.data());
    if (fd >= 0)
        fchmod(fd, NewFileMode());
    return fd;
}

bool AtomicFile::ReplaceTarget(const std::string& temp, const std::string& target,
                               std::string* why) {
    if (std::rename(temp.c_str(), target.c_str()) == 0)
        return true;
    *why = std::strerror(errno);
    return false;
}

long long AtomicFile::SeekTo(int fd, long long offset, int whence) {
    return static_cast<long long>(lseek(fd, static_cast<off_t>(offset), whence));
}

long long AtomicFile::WriteSome(int fd, const char* p, std::size_t size) {
    return ::write(fd, p, size);
}

int AtomicFile::CloseFd(int fd) {
    return ::close(fd);
}
