// Every name goes through the wide calls: the ANSI ones (fopen, stat, ...)
// read a UTF-8 name in the ANSI code page and find nothing.
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>

#include "tools/audiofile/FileSystem.h"
#include "tools/audiofile/Utf16.h"

// "C:name" is a name in the current folder of drive C:.
const char* const FileSystem::kSeparators = "/\\:";

// Ordinal, ignoring case by the system's own upper-case table, as NTFS
// compares names: "ФАЙЛ.wav" and "файл.wav" are one file, as are
// "IN.WAV" and "in.wav".
bool FileSystem::SameName(const std::string& a, const std::string& b) {
    const std::wstring wa = Utf16FromUtf8(a), wb = Utf16FromUtf8(b);
    return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

std::FILE* FileSystem::Open(const std::string& path, const char* mode) {
    return _wfopen(Utf16FromUtf8(path).c_str(), Utf16FromUtf8(mode).c_str());
}

bool FileSystem::Find(const std::string& path, bool* isFolder) {
    struct _stat64 st {};
    if (_wstat64(Utf16FromUtf8(path).c_str(), &st) != 0)
        return false;
    *isFolder = (st.st_mode & _S_IFMT) == _S_IFDIR;
    return true;
}

bool FileSystem::Remove(const std::string& path) {
    return _wremove(Utf16FromUtf8(path).c_str()) == 0;
}

bool FileSystem::Seek(std::FILE* f, long long offset) {
    return _fseeki64(f, offset, SEEK_SET) == 0;
}

long long FileSystem::Size(std::FILE* f) {
    if (_fseeki64(f, 0, SEEK_END) != 0)
        return -1;
    return _ftelli64(f);
}
