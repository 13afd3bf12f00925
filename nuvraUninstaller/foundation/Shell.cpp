#include "foundation/Shell.h"

#include "ProcessSpawning.h"
#include "Utf8.h"
#include "foundation/ChildProcess.h"
#include "foundation/Deadlines.h"
#include "foundation/UninstallerLog.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace Shell {
namespace {

// Room kept free for the next read: the output's first block, and the most one read may take.
constexpr std::size_t readChunk = std::size_t{1} << 20;

[[noreturn]] void throwLaunchError(const std::string& path, int errorNumber) {
    throw LaunchError(errorNumber, path + ": " + std::system_category().message(errorNumber));
}

using ChildProcess::Descriptor;
using ChildProcess::Pipe;

Pipe makePipe(const std::string& path) {
    Pipe pipe;
    if (!ChildProcess::makePipe(pipe)) {
        throwLaunchError(path, errno);
    }
    return pipe;
}

void prepareChildDescriptors(posix_spawn_file_actions_t& actions, int outputWriteEnd,
                             int inputReadEnd) {
    // Never our own input: a child in a process group of its own that reads a terminal would be
    // stopped by it.
    if (inputReadEnd >= 0) {
        ::posix_spawn_file_actions_adddup2(&actions, inputReadEnd, STDIN_FILENO);
    } else {
        ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    ::posix_spawn_file_actions_adddup2(&actions, outputWriteEnd, STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, outputWriteEnd, STDERR_FILENO);
}

// While we feed the child's standard input, a child that exits without reading it makes our write
// raise SIGPIPE, which would end the whole application. The signal is blocked for this thread
// only (it is thread-directed) and a SIGPIPE we caused is consumed before the mask is restored.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigemptyset(&sigpipe_);
        sigaddset(&sigpipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
        ::pthread_sigmask(SIG_BLOCK, &sigpipe_, &previousMask_);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;
    ~SigpipeGuard() {
        if (raised_ && !alreadyPending_) {
            // Only while it is still pending: a system may discard a SIGPIPE the process ignores.
            sigset_t pending;
            sigpending(&pending);
            int consumed = 0;
            if (sigismember(&pending, SIGPIPE) == 1) {
                ::sigwait(&sigpipe_, &consumed);
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    }
    void noteBrokenPipe() { raised_ = true; }

private:
    sigset_t sigpipe_;
    sigset_t previousMask_;
    bool alreadyPending_ = false;
    bool raised_ = false;
};

// Feeds `input` through a non-blocking descriptor while the output is drained, so neither side
// can fill its pipe and wait for the other.
class InputFeeder {
public:
    InputFeeder(Descriptor end, const std::string& input) : end_(std::move(end)), input_(input) {
        ::fcntl(end_.get(), F_SETFL, ::fcntl(end_.get(), F_GETFL) | O_NONBLOCK);
        closeIfDone();
    }
    bool active() const { return end_.isOpen(); }
    int fd() const { return end_.get(); }

    void feed(SigpipeGuard& guard) {
        while (end_.isOpen()) {
            ssize_t written = ::write(end_.get(), input_.data() + offset_, input_.size() - offset_);
            if (written >= 0) {
                offset_ += static_cast<std::size_t>(written);
                closeIfDone();
            } else if (errno == EINTR) {
                continue;
            } else if (errno == EAGAIN) {
                return;
            } else {
                // EPIPE: the child stopped reading; the rest of the input is simply not needed.
                if (errno == EPIPE) {
                    guard.noteBrokenPipe();
                }
                end_.reset();
            }
        }
    }

private:
    // Closing the write end is how the child sees end of input.
    void closeIfDone() {
        if (offset_ == input_.size()) {
            end_.reset();
        }
    }

    Descriptor end_;
    const std::string& input_;
    std::size_t offset_ = 0;
};

// Checks the output for UTF-8 as it arrives, while its bytes are still in the cache and while the
// child writes the next ones, instead of in one more pass over all of it at the end.
class Utf8Check {
public:
    void advance(std::string_view bytes) {
        if (invalid_) {
            return;
        }
        const utf8::Prefix prefix = utf8::validPrefix(bytes.substr(checked_));
        checked_ += prefix.length;
        invalid_ = prefix.invalid;
    }
    // Valid when every byte ended up in a whole, valid sequence.
    bool isValid(std::size_t size) const { return !invalid_ && checked_ == size; }

private:
    std::size_t checked_ = 0;
    bool invalid_ = false;
};

// What is read of the output: kept up to the caller's limit, the rest only counted as cut.
struct Capture {
    ByteBuffer buffer;
    Utf8Check check;
    std::size_t keepAtMost = SIZE_MAX;
    bool cut = false;
};

// Reads what is available without waiting; false once the child side has closed the pipe.
bool drainOutput(int fd, Capture& capture) {
    for (;;) {
        const std::size_t room = capture.keepAtMost - capture.buffer.size();
        ssize_t count = 0;
        if (room == 0) {
            char discarded[65536];
            count = ::read(fd, discarded, sizeof discarded);
            capture.cut = capture.cut || count > 0;
        } else {
            char* tail = capture.buffer.reserveTail(std::min(room, readChunk));
            count = ::read(fd, tail, std::min({capture.buffer.freeTail(), readChunk, room}));
            if (count > 0) {
                capture.buffer.commit(static_cast<std::size_t>(count));
                capture.check.advance(capture.buffer.view());
            }
        }
        if (count > 0) {
            continue;
        }
        if (count == 0) {
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

enum class Ending { finished, timedOut, cancelled };

// Feeds the input and drains the output until the child closes its output, the deadline passes
// or the caller cancels. Only poll() waits, so nothing here can outlast the deadline.
Ending pump(Descriptor output, InputFeeder* input, Capture& capture, SigpipeGuard* guard,
            ChildProcess::Clock::time_point until, const Cancellation* cancellation) {
    ::fcntl(output.get(), F_SETFL, ::fcntl(output.get(), F_GETFL) | O_NONBLOCK);
    const int cancelFd = cancellation != nullptr ? cancellation->descriptor() : -1;
    bool outputOpen = true;
    while (outputOpen || (input != nullptr && input->active())) {
        pollfd fds[3];
        nfds_t count = 0;
        if (outputOpen) {
            fds[count++] = {output.get(), POLLIN, 0};
        }
        const bool feeding = input != nullptr && input->active();
        if (feeding) {
            fds[count++] = {input->fd(), POLLOUT, 0};
        }
        if (cancelFd >= 0) {
            fds[count++] = {cancelFd, POLLIN, 0};
        }
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - ChildProcess::Clock::now());
        const int timeout = until == ChildProcess::Clock::time_point::max()
                                ? -1
                                : static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
        const int ready = ::poll(fds, count, timeout);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (ready == 0) {
            if (ChildProcess::Clock::now() >= until) {
                return Ending::timedOut;
            }
            continue;
        }
        nfds_t index = 0;
        if (outputOpen) {
            if (fds[index].revents != 0) {
                outputOpen = drainOutput(output.get(), capture);
            }
            ++index;
        }
        if (feeding) {
            if (fds[index].revents != 0) {
                input->feed(*guard);
            }
            ++index;
        }
        if (cancelFd >= 0 && fds[index].revents != 0) {
            return Ending::cancelled;
        }
    }
    return Ending::finished;
}

std::int32_t statusOf(int waitStatus) {
    if (WIFSIGNALED(waitStatus)) {
        return -WTERMSIG(waitStatus);
    }
    return WEXITSTATUS(waitStatus);
}

ChildProcess::Clock::time_point deadlineFor(Wait wait) {
    const auto& deadlines = Deadlines::current();
    switch (wait) {
    case Wait::tool:
        return ChildProcess::Clock::now() + deadlines.tool;
    case Wait::longTool:
        return ChildProcess::Clock::now() + deadlines.longTool;
    case Wait::person:
        break;
    }
    return ChildProcess::Clock::time_point::max();
}

std::mutex missedLock;
std::vector<std::string>& missed() {
    static std::vector<std::string> sentences;
    return sentences;
}

void noteMissedDeadline(const std::string& path, const Options& options) {
    const std::string name =
        options.shownName.empty() ? path.substr(path.find_last_of('/') + 1) : options.shownName;
    const Deadlines::Duration allowed =
        options.wait == Wait::longTool ? Deadlines::current().longTool : Deadlines::current().tool;
    std::string sentence =
        name + " did not answer within " + Deadlines::spoken(allowed) + " and was stopped.";
    UninstallerLog::file("  " + sentence);
    std::lock_guard lock(missedLock);
    missed().push_back(std::move(sentence));
}

void validate(const std::string& path, const std::vector<std::string>& args) {
    // A relative path would run whatever lies in the current folder under that name.
    if (path.empty() || path.front() != '/') {
        throw LaunchError(EINVAL, path + ": not an absolute path");
    }
    // An embedded NUL would silently cut an argument short and change what the child is told.
    auto hasNul = [](const std::string& s) { return s.find('\0') != std::string::npos; };
    if (hasNul(path) || std::any_of(args.begin(), args.end(), hasNul)) {
        throw LaunchError(EINVAL, path + ": an argument contains a NUL byte");
    }
}

} // namespace

Result run(const std::string& path, const std::vector<std::string>& args, const Options& options) {
    validate(path, args);

    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

    const std::optional<std::string>& stdinData = options.stdinData;
    Pipe output = makePipe(path);
    Pipe input;
    if (stdinData) {
        input = makePipe(path);
    }

    ChildProcess::SpawnSetup setup;
    ChildProcess::prepareChildSignals(setup.attributes_);
    prepareChildDescriptors(setup.actions_, output.writeEnd.get(),
                            stdinData ? input.readEnd.get() : -1);
    ProcessSpawning::inheritOnlyStandardStreams(setup.actions_, setup.attributes_);

    // Blocked before the child exists, so no write of ours can ever deliver SIGPIPE.
    std::optional<SigpipeGuard> guard;
    if (stdinData) {
        guard.emplace();
    }

    pid_t pid = 0;
    // glibc's posix_spawn waits for the exec, so a missing or non-executable program is reported
    // here, synchronously, with the exec's errno.
    std::vector<char*> envp;
    if (options.environment) {
        for (const std::string& entry : *options.environment) {
            envp.push_back(const_cast<char*>(entry.c_str()));
        }
        envp.push_back(nullptr);
    }
    int spawnError = ::posix_spawn(&pid, path.c_str(), &setup.actions_, &setup.attributes_,
                                   argv.data(), options.environment ? envp.data() : environ);
    if (spawnError != 0) {
        throwLaunchError(path, spawnError);
    }
    // Killed and reaped however this call ends, an exception included.
    ChildProcess::RunningChild child(pid);
    const auto until = deadlineFor(options.wait);

    // Our copies of the child's ends must go, or we would never see end of file.
    output.writeEnd.reset();
    input.readEnd.reset();

    Capture capture;
    capture.keepAtMost = options.keepAtMost;
    std::optional<InputFeeder> feeder;
    if (stdinData) {
        feeder.emplace(std::move(input.writeEnd), *stdinData);
    }
    Ending ending = pump(std::move(output.readEnd), feeder ? &*feeder : nullptr, capture,
                         guard ? &*guard : nullptr, until, options.cancellation);
    feeder.reset();
    // A child that closed its output may still be running: it gets what is left of its time.
    if (ending == Ending::finished && !child.waitForExit(until)) {
        ending = Ending::timedOut;
    }

    Result result;
    if (ending != Ending::finished) {
        child.kill();
        result.timedOut = ending == Ending::timedOut;
        result.cancelled = ending == Ending::cancelled;
        result.terminationStatus = -SIGKILL;
        if (result.timedOut) {
            noteMissedDeadline(path, options);
        }
    } else {
        result.terminationStatus = statusOf(child.waitStatus());
    }
    result.cut = capture.cut;
    result.isUtf8 = capture.check.isValid(capture.buffer.size());
    result.data = std::move(capture.buffer);
    return result;
}

Result run(const std::string& path, const std::vector<std::string>& args,
           const std::optional<std::string>& stdinData) {
    Options options;
    options.stdinData = stdinData;
    return run(path, args, options);
}

std::optional<Result> runIgnoringLaunchFailure(const std::string& path,
                                               const std::vector<std::string>& args,
                                               const Options& options) {
    try {
        return run(path, args, options);
    } catch (const LaunchError&) {
        return std::nullopt;
    }
}

std::optional<Result> runIgnoringLaunchFailure(const std::string& path,
                                               const std::vector<std::string>& args,
                                               const std::optional<std::string>& stdinData) {
    Options options;
    options.stdinData = stdinData;
    return runIgnoringLaunchFailure(path, args, options);
}

std::vector<std::string> takeMissedDeadlines() {
    std::lock_guard lock(missedLock);
    return std::exchange(missed(), {});
}

Cancellation::Cancellation() {
    int ends[2] = {-1, -1};
    if (ProcessSpawning::closeOnExecPipe(ends) == 0) {
        readEnd_ = ends[0];
        writeEnd_ = ends[1];
        ::fcntl(writeEnd_, F_SETFL, ::fcntl(writeEnd_, F_GETFL) | O_NONBLOCK);
    }
}

Cancellation::~Cancellation() {
    for (int fd : {readEnd_, writeEnd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void Cancellation::cancel() {
    // One byte is enough and stays unread; a full pipe means it is cancelled already.
    const char byte = 'x';
    while (::write(writeEnd_, &byte, 1) < 0 && errno == EINTR) {
    }
}

bool Cancellation::isCancelled() const {
    pollfd fd{readEnd_, POLLIN, 0};
    return ::poll(&fd, 1, 0) == 1;
}

} // namespace Shell
