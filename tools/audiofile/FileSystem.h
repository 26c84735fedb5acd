// What the audio-file code needs of the platform's file system beyond
// standard C++: how paths separate folders, whether names ignore case, and
// 64-bit positions in a stdio file (a WAV file may run to 4 GiB, on the
// 32-bit build too). One file per platform: FileSystemPosix.cpp,
// FileSystemWin.cpp. Pure functions; any thread.
#pragma once

#include <cstdio>

struct FileSystem {
    // The characters that end a folder's part of a path.
    static const char* const kSeparators;
    // Whether two names differing only in case name one file.
    static const bool kNamesIgnoreCase;

    // Moves to `offset` from the start; false on failure.
    static bool Seek(std::FILE* f, long long offset);
    // The file's size, leaving the position at its end; -1 on failure.
    static long long Size(std::FILE* f);
};
