// The temporary file and its rename on Windows: no mkstemp, and rename()
// refuses to replace an existing file, so MoveFileExW does. Names go through
// the wide calls, so they may be in any script.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "tools/audiofile/AtomicFile.h"
#include "tools/audiofile/Utf16.h"

namespace {

std::string SystemMessage(DWORD code) {
    std::string text = SystemMessageUtf8(code);
    while (!text.empty() && text.back() == '.')
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
        const int fd = _wopen(Utf16FromUtf8(name.data()).c_str(),
                              _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool AtomicFile::ReplaceTarget(const std::string& temp, const std::string& target,
                               std::string* why) {
    if (MoveFileExW(Utf16FromUtf8(temp).c_str(), Utf16FromUtf8(target).c_str(),
                    MOVEFILE_REPLACE_EXISTING))
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
