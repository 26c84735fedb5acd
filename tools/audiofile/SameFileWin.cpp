// Files compared by volume serial number and file index, Windows' identity
// of a file whatever name reaches it: a hard link, or a symbolic link, which
// CreateFileW follows.
#include <windows.h>

#include "tools/audiofile/SameFile.h"
#include "tools/audiofile/Utf16.h"

namespace {

struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
};

bool IdentityOf(const std::string& path, FileIdentity* id) {
    // No access is asked for, only the file's information, so a file another
    // program holds open is still compared; backup semantics let a folder open.
    const HANDLE h = CreateFileW(Utf16FromUtf8(path).c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (ok) {
        id->volume = info.dwVolumeSerialNumber;
        id->indexHigh = info.nFileIndexHigh;
        id->indexLow = info.nFileIndexLow;
    }
    return ok;
}

}  // namespace

bool SameExistingFile(const std::string& a, const std::string& b) {
    FileIdentity ia, ib;
    return IdentityOf(a, &ia) && IdentityOf(b, &ib) && ia.volume == ib.volume &&
           ia.indexHigh == ib.indexHigh && ia.indexLow == ib.indexLow;
}
