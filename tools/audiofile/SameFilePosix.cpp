// Files compared by device and inode: what every name of a file, a hard link
// or the target of a symbolic one (stat follows it), has in common.
#include <sys/stat.h>

#include "tools/audiofile/SameFile.h"

bool SameExistingFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
