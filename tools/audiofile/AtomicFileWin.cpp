// The temporary file and its rename on Windows: no mkstemp, and rename()
// refuses to replace an existing file, so MoveFileExA does.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "tools/audiofile/AtomicFile.h"

namespace {

std::string SystemMessage(DWORD code) {
    char buf[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   buf, sizeof(buf), nullptr);
    std::string text(buf);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.'))
        text.pop_back();
    return text + " (error " + std::to_string(code) + ")";
}

}  // namespace

// Windows has no mkstemp: try fresh names until one does not exist yet.
// Binary mode, or every 0x0A byte written would gain a 0x0D before it.
int AtomicFile::CreateTemporary(std::vector<char>& name) {
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

bool AtomicFile::ReplaceTarget(const std::string& temp, const std::string& target,
                               std::string* why) {
    if (MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    *why = SystemMessage(GetLastError());
    return false;
}

long long AtomicFile::SeekTo(int fd, long long offset, int whence) {
    return _lseeki64(fd, offset, whence);
}

long long AtomicFile::WriteSome(int fd, const char* p, std::size_t size) {
    return _write(fd, p, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 20)));
}

int AtomicFile::CloseFd(int fd) {
    return _close(fd);
}
