#include "foundation/ChildProcess.h"

#include "ProcessSpawning.h"
#include "foundation/Deadlines.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace ChildProcess {
namespace {

// Keeps a pipe end off 0, 1 and 2: when our own standard streams are closed a new pipe can land
// there, and the child's dup2 onto those numbers would then clobber one end with the other.
bool moveAboveStandardStreams(Descriptor& end) {
    if (end.get() > STDERR_FILENO) {
        return true;
    }
    const int moved = ::fcntl(end.get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (moved < 0) {
        return false;
    }
    end.reset(moved);
    return true;
}

} // namespace

void Descriptor::reset(int fd) {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    fd_ = fd;
}

bool makePipe(Pipe& pipe) {
    int fds[2];
    if (ProcessSpawning::closeOnExecPipe(fds) != 0) {
        return false;
    }
    pipe = Pipe{Descriptor(fds[0]), Descriptor(fds[1])};
    return moveAboveStandardStreams(pipe.readEnd) && moveAboveStandardStreams(pipe.writeEnd);
}

void prepareChildSignals(posix_spawnattr_t& attributes) {
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setpgroup(&attributes, 0);
    ::posix_spawnattr_setflags(
        &attributes,
        static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP));
}

const std::vector<std::string>& accountEnvironment() {
    static const std::vector<std::string> environment{"PATH=/usr/bin:/bin:/usr/sbin:/sbin"};
    return environment;
}

bool waitReadable(int fd, Clock::time_point until, int alsoFd, bool* alsoReady) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        const int timeout = until == Clock::time_point::max()
                                ? -1
                                : static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
        pollfd fds[2] = {{fd, POLLIN, 0}, {alsoFd, POLLIN, 0}};
        const int ready = ::poll(fds, alsoFd >= 0 ? 2 : 1, timeout);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (alsoReady != nullptr) {
            *alsoReady = alsoFd >= 0 && fds[1].revents != 0;
        }
        if (ready != 0) {
            return fds[0].revents != 0;
        }
        if (timeout >= 0 && Clock::now() >= until) {
            return false;
        }
    }
}

RunningChild::RunningChild(pid_t pid)
    : pid_(pid), exitNotifier_(ProcessSpawning::exitNotifier(pid)) {}

RunningChild::~RunningChild() {
    if (isRunning()) {
        kill();
    }
}

bool RunningChild::reapIfEnded() {
    for (;;) {
        const pid_t got = ::waitpid(pid_, &status_, WNOHANG);
        if (got == pid_) {
            reaped_ = true;
            exitNotifier_.reset();
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            // Reaped elsewhere (or not ours): nothing is left to wait for.
            reaped_ = true;
            exitNotifier_.reset();
            return true;
        }
        return false;
    }
}

bool RunningChild::waitForExit(Clock::time_point until) {
    if (!isRunning()) {
        return true;
    }
    while (!reapIfEnded()) {
        if (Clock::now() >= until) {
            return false;
        }
        if (exitNotifier_.isOpen()) {
            waitReadable(exitNotifier_.get(), until);
        } else {
            // No notifier could be made (out of descriptors): look again now and then.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return true;
}

void RunningChild::kill() {
    if (!isRunning()) {
        return;
    }
    // The child leads its own group (prepareChildSignals); whatever it started goes with it.
    if (::kill(-pid_, SIGKILL) != 0) {
        ::kill(pid_, SIGKILL);
    }
    if (!waitForExit(Clock::now() + Deadlines::current().lingering)) {
        // Stuck in the kernel: it will go eventually, and a zombie must not be left behind.
        std::thread([pid = pid_] {
            int ignored = 0;
            while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
            }
        }).detach();
        reaped_ = true;
        exitNotifier_.reset();
    }
}

} // namespace ChildProcess
