#include "tools/audiofile/FileSystem.h"

// "C:name" is a name in the current folder of drive C:.
const char* const FileSystem::kSeparators = "/\\:";
const bool FileSystem::kNamesIgnoreCase = true;

bool FileSystem::Seek(std::FILE* f, long long offset) {
    return _fseeki64(f, offset, SEEK_SET) == 0;
}

long long FileSystem::Size(std::FILE* f) {
    if (_fseeki64(f, 0, SEEK_END) != 0)
        return -1;
    return _ftelli64(f);
}
