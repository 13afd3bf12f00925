#include "foundation/Shell.h"

#include "ProcessSpawning.h"
#include "Utf8.h"
#include "foundation/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
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
    if (inputReadEnd >= 0) {
        ::posix_spawn_file_actions_adddup2(&actions, inputReadEnd, STDIN_FILENO);
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

// Reads what is available; false once the child side has closed the pipe.
bool drainOutput(int fd, ByteBuffer& buffer, Utf8Check& check) {
    for (;;) {
        char* tail = buffer.reserveTail(readChunk);
        ssize_t count = ::read(fd, tail, std::min(buffer.freeTail(), readChunk));
        if (count > 0) {
            buffer.commit(static_cast<std::size_t>(count));
            check.advance(buffer.view());
            return true;
        }
        if (count == 0) {
            return false;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

void pump(Descriptor output, InputFeeder* input, ByteBuffer& buffer, Utf8Check& check,
          SigpipeGuard* guard) {
    // Without input to feed, plain blocking reads; the pipe keeps its default size, whose pages
    // stay in the cache between the child's writes and our reads (a larger pipe made capture
    // slower).
    if (input == nullptr) {
        while (drainOutput(output.get(), buffer, check)) {
        }
        return;
    }
    bool outputOpen = true;
    while (outputOpen || (input != nullptr && input->active())) {
        pollfd fds[2];
        nfds_t count = 0;
        if (outputOpen) {
            fds[count++] = {output.get(), POLLIN, 0};
        }
        const bool feeding = input != nullptr && input->active();
        if (feeding) {
            fds[count++] = {input->fd(), POLLOUT, 0};
        }
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        nfds_t index = 0;
        if (outputOpen) {
            if (fds[index].revents != 0) {
                outputOpen = drainOutput(output.get(), buffer, check);
            }
            ++index;
        }
        if (feeding && fds[index].revents != 0) {
            input->feed(*guard);
        }
    }
}

std::int32_t waitForExit(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    if (WIFSIGNALED(status)) {
        return -WTERMSIG(status);
    }
    return WEXITSTATUS(status);
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

Result run(const std::string& path, const std::vector<std::string>& args,
           const std::optional<std::string>& stdinData) {
    validate(path, args);

    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);

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

    pid_t child = 0;
    // glibc's posix_spawn waits for the exec, so a missing or non-executable program is reported
    // here, synchronously, with the exec's errno.
    int spawnError = ::posix_spawn(&child, path.c_str(), &setup.actions_, &setup.attributes_,
                                   argv.data(), environ);
    if (spawnError != 0) {
        throwLaunchError(path, spawnError);
    }

    // Our copies of the child's ends must go, or we would never see end of file.
    output.writeEnd.reset();
    input.readEnd.reset();

    ByteBuffer buffer;
    Utf8Check check;
    std::optional<InputFeeder> feeder;
    if (stdinData) {
        feeder.emplace(std::move(input.writeEnd), *stdinData);
    }
    try {
        pump(std::move(output.readEnd), feeder ? &*feeder : nullptr, buffer, check,
             guard ? &*guard : nullptr);
    } catch (...) {
        // Out of memory mid-read: still reap the child so no zombie outlives the call.
        feeder.reset();
        waitForExit(child);
        throw;
    }
    feeder.reset();
    std::int32_t status = waitForExit(child);

    Result result;
    result.terminationStatus = status;
    result.isUtf8 = check.isValid(buffer.size());
    result.data = std::move(buffer);
    return result;
}

std::optional<Result> runIgnoringLaunchFailure(const std::string& path,
                                               const std::vector<std::string>& args,
                                               const std::optional<std::string>& stdinData) {
    try {
        return run(path, args, stdinData);
    } catch (const LaunchError&) {
        return std::nullopt;
    }
}

} // namespace Shell
