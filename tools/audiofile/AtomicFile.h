// A file that appears at its final path only when it is complete: the data
// goes to a temporary file in the same folder, and Commit() renames it over
// the target. Owns the temporary file and removes it if the object goes away
// uncommitted (an error, an interruption), so a failed run leaves nothing
// half-written behind. On Windows, Commit() replaces an existing target
// with MoveFileExW, since rename() there refuses to. Paths are UTF-8. Main
// thread of the command-line tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class AtomicFile {
  public:
    // Creates the temporary file beside `target`; throws ToolError when the
    // target is a folder or its folder cannot take a new file.
    explicit AtomicFile(std::string target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Open descriptor of the temporary file, for writers that take one.
    int Descriptor() const { return mFd; }
    const std::string& Target() const { return mTarget; }

    // Writes all of `size` bytes at the current position; throws ToolError.
    void Write(const void* data, std::size_t size);
    // Overwrites bytes already written at `offset` (a header whose sizes are
    // known at the end) and leaves the position where it was; throws ToolError.
    void WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    // Closes the temporary file and renames it to the target; throws ToolError.
    void Commit();

  private:
    void Discard();

    // The file system's side, one file per platform (AtomicFilePosix.cpp,
    // AtomicFileWin.cpp): what separates folders in a path, a new temporary
    // file from a name ending in XXXXXX (filled in), the rename over the
    // target, and the descriptor calls.
    static const char* const kSeparators;
    static int CreateTemporary(std::vector<char>& name);
    static bool ReplaceTarget(const std::string& temp, const std::string& target, std::string* why);
    static long long SeekTo(int fd, long long offset, int whence);
    static long long WriteSome(int fd, const char* p, std::size_t size);
    static int CloseFd(int fd);

    std::string mTarget;
    std::string mTemp;
    int mFd = -1;
    bool mCommitted = false;
};
