#include <sys/stat.h>
#include <sys/types.h>

#include "tools/audiofile/FileSystem.h"

const char* const FileSystem::kSeparators = "/";

bool FileSystem::SameName(const std::string& a, const std::string& b) {
    return a == b;
}

std::FILE* FileSystem::Open(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool FileSystem::Find(const std::string& path, bool* isFolder) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return false;
    *isFolder = S_ISDIR(st.st_mode);
    return true;
}

bool FileSystem::Remove(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

bool FileSystem::Seek(std::FILE* f, long long offset) {
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

long long FileSystem::Size(std::FILE* f) {
    if (fseeko(f, 0, SEEK_END) != 0)
        return -1;
    return static_cast<long long>(ftello(f));
}
