// What the audio-file code needs of the platform's file system beyond
// standard C++: how paths separate folders, when two names are one, files
// opened, looked at and removed by UTF-8 names (Windows takes names in any
// script only through its wide calls), and 64-bit positions in a stdio file
// (a WAV file may run to 4 GiB, on the 32-bit build too). One file per
// platform: FileSystemPosix.cpp, FileSystemWin.cpp. Pure functions; any
// thread.
#pragma once

#include <cstdio>
#include <string>

struct FileSystem {
    // The characters that end a folder's part of a path.
    static const char* const kSeparators;

    // Whether two absolute paths name one file by their text alone: byte for
    // byte on POSIX, on Windows regardless of case, in any script, as its
    // file systems compare names.
    static bool SameName(const std::string& a, const std::string& b);

    // std::fopen of a UTF-8 path; null with errno set on failure.
    static std::FILE* Open(const std::string& path, const char* mode);
    // Whether something is at `path`, and whether that is a folder; false
    // with errno set when nothing can be found there.
    static bool Find(const std::string& path, bool* isFolder);
    // std::remove of a UTF-8 path; false on failure.
    static bool Remove(const std::string& path);

    // Moves to `offset` from the start; false on failure.
    static bool Seek(std::FILE* f, long long offset);
    // The file's size, leaving the position at its end; -1 on failure.
    static long long Size(std::FILE* f);
};
