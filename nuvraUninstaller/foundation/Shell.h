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
    ByteBuffer data;        // the merged bytes, undecoded
    bool isUtf8 = true;     // whether `data` is valid UTF-8
    bool timedOut = false;  // stopped at its deadline (then terminationStatus is -9)
    bool cancelled = false; // stopped because the caller cancelled the wait
    bool cut = false;       // printed more than the caller keeps; `data` holds the beginning

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

// Lets another thread end a wait: the child is then stopped with everything it started.
class Cancellation {
public:
    Cancellation();
    ~Cancellation();
    Cancellation(const Cancellation&) = delete;
    Cancellation& operator=(const Cancellation&) = delete;

    void cancel(); // may be called from any thread, any number of times
    bool isCancelled() const;
    int descriptor() const { return readEnd_; } // readable once cancelled

private:
    int readEnd_ = -1;
    int writeEnd_ = -1;
};

// How long a tool may take (Deadlines.h); a person at a dialog may take as long as they need.
enum class Wait { tool, longTool, person };

struct Options {
    std::optional<std::string> stdinData; // fed to standard input; otherwise it is /dev/null
    Wait wait = Wait::tool;
    std::size_t keepAtMost = SIZE_MAX; // bytes of output kept; the rest is read and dropped
    const Cancellation* cancellation = nullptr;
    std::string shownName; // the tool as a sentence names it; its file name when empty
    // "NAME=value" entries the child gets instead of this process's environment.
    std::optional<std::vector<std::string>> environment;
};

// Blocks until the child has exited and all its output has been read, or its deadline has passed:
// then the child's process group is killed, the result says so, the session log gets a line and
// takeMissedDeadlines() a sentence. Throws LaunchError when the program cannot be started.
Result run(const std::string& path, const std::vector<std::string>& args, const Options& options);
Result run(const std::string& path, const std::vector<std::string>& args,
           const std::optional<std::string>& stdinData = std::nullopt);

// The same, for the many callers that treat "could not start" as "did nothing": none then.
std::optional<Result> runIgnoringLaunchFailure(const std::string& path,
                                               const std::vector<std::string>& args,
                                               const Options& options);
std::optional<Result>
runIgnoringLaunchFailure(const std::string& path, const std::vector<std::string>& args,
                         const std::optional<std::string>& stdinData = std::nullopt);

// One sentence per tool stopped at its deadline since the last call, oldest first, e.g.
// "security did not answer within 180 s and was stopped." A run's step reports them as its own.
std::vector<std::string> takeMissedDeadlines();

} // namespace Shell
