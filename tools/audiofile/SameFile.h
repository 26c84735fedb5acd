// Whether two paths given to brightfall-render name one file, so that the
// tool can refuse to write a result over its own input, or one result over
// another, before it reads or writes anything. Pure queries of the file
// system. The comparison of files that exist is the build's: device and
// inode on POSIX (SameFilePosix.cpp), volume serial number and file index on
// Windows (SameFileWin.cpp).
#pragma once

#include <string>

// True when a and b name one file: when both exist, the files themselves are
// compared, which sees through symbolic and hard links; otherwise the paths,
// made absolute with ".", ".." and links in their existing part resolved
// (ignoring case on Windows), which is all that can be told of a file not
// written yet.
bool NameSameFile(const std::string& a, const std::string& b);

// True only when both paths open as existing files and those are one file.
bool SameExistingFile(const std::string& a, const std::string& b);
