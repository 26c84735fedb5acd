// The one kind of failure brightfall-render reports to a person: a message
// that says what went wrong in their terms, and the exit status the program
// ends with. Thrown by the tool's own code, caught in main; never thrown
// across the plug-in boundary (the host callback does not throw).
#pragma once

#include <stdexcept>
#include <string>

// Exit statuses, also listed in --help.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1,  // a file, the module or the render failed
    kExitUsage = 2,    // the command line asks for something impossible
    kExitInterrupted = 130,
};

class ToolError : public std::runtime_error {
  public:
    explicit ToolError(const std::string& message, int status = kExitFailure)
        : std::runtime_error(message), mStatus(status) {}
    int Status() const { return mStatus; }

  private:
    int mStatus;
};

// A command-line mistake: exit status 2.
inline ToolError UsageError(const std::string& message) {
    return ToolError(message, kExitUsage);
}
