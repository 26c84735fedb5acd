#include <sys/types.h>

#include "tools/audiofile/FileSystem.h"

const char* const FileSystem::kSeparators = "/";
const bool FileSystem::kNamesIgnoreCase = false;

bool FileSystem::Seek(std::FILE* f, long long offset) {
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
}

long long FileSystem::Size(std::FILE* f) {
    if (fseeko(f, 0, SEEK_END) != 0)
        return -1;
    return static_cast<long long>(ftello(f));
}
