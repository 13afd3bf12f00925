#pragma once

#include "foundation/ByteBuffer.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Runs one external program to completion: absolute path, verbatim argument vector, no shell and
// no search path. Standard output and standard error share one pipe.
namespace Shell {

// A child ended by a signal reports minus the signal number (SIGKILL → -9), which no exit status
// (0…255) can be confused with. The bytes are held once: the decoded text is a view of them.
struct Result {
    std::int32_t terminationStatus = 0;
    ByteBuffer data;    // the merged bytes, undecoded
    bool isUtf8 = true; // whether `data` is valid UTF-8

    // The merged bytes decoded as UTF-8; "" when they are not valid UTF-8. Valid while the result
    // lives.
    std::string_view output() const { return isUtf8 ? data.view() : std::string_view(); }
};

// The program could not be started (missing, not executable, …); carries the system's reason.
class LaunchError : public std::runtime_error {
public:
    LaunchError(int errorNumber, const std::string& what)
        : std::runtime_error(what), errorNumber_(errorNumber) {}
    int errorNumber() const { return errorNumber_; }

private:
    int errorNumber_;
};

// Blocks until the child has exited and all its output has been read. `stdinData`, when given, is
// fed to the child's standard input (concurrently with reading its output); otherwise the child
// inherits ours. Throws LaunchError when the program cannot be started.
Result run(const std::string& path, const std::vector<std::string>& args,
           const std::optional<std::string>& stdinData = std::nullopt);

// The same, for the many callers that treat "could not start" as "did nothing": none then.
std::optional<Result>
runIgnoringLaunchFailure(const std::string& path, const std::vector<std::string>& args,
                         const std::optional<std::string>& stdinData = std::nullopt);

} // namespace Shell
