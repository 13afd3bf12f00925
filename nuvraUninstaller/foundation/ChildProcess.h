#pragma once

#include <chrono>
#include <spawn.h>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// The pieces every child this program starts with posix_spawn is made of: descriptors that close
// themselves, close-on-exec pipes kept off the standard stream numbers, the spawn settings, and the
// child's signal state.
namespace ChildProcess {

// Owns one descriptor; closing retries nothing (a close interrupted by a signal has still
// released the descriptor on Linux, and retrying could close someone else's).
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~Descriptor() { reset(); }

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

struct Pipe {
    Descriptor readEnd;
    Descriptor writeEnd;
};

// Both ends close-on-exec, so no other child started meanwhile (from another thread) inherits them
// and keeps them open past our child's exit, and both above descriptor 2. False with errno set.
bool makePipe(Pipe& pipe);

class SpawnSetup {
public:
    SpawnSetup() {
        ::posix_spawn_file_actions_init(&actions_);
        ::posix_spawnattr_init(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    ~SpawnSetup() {
        ::posix_spawnattr_destroy(&attributes_);
        ::posix_spawn_file_actions_destroy(&actions_);
    }

    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

// The child starts with an empty signal mask and SIGPIPE at its default action, whatever the
// calling thread blocks or the process ignores: tools like `head` rely on dying from SIGPIPE.
// It leads a process group of its own, so that it can be stopped with everything it started.
void prepareChildSignals(posix_spawnattr_t& attributes);

// The environment root gives a process it starts as another account: nothing of its own (a
// management tool's variables, root's HOME); sudo and the account's session give the rest.
const std::vector<std::string>& accountEnvironment();

using Clock = std::chrono::steady_clock;

// Waits until `fd` is readable or `until` has passed; true when readable (or at its end).
// `alsoFd` (when not -1) ends the wait as well, and `alsoReady` tells that it did.
bool waitReadable(int fd, Clock::time_point until, int alsoFd = -1, bool* alsoReady = nullptr);

// A started child, its exit waited for with deadlines and reaped exactly once. A child that must
// go is killed with its whole process group; one that does not go even then is reaped in the
// background, so no wait of ours lasts longer than the lingering deadline.
class RunningChild {
public:
    RunningChild() = default;
    explicit RunningChild(pid_t pid);
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;
    // A child still running is killed and reaped.
    ~RunningChild();

    pid_t pid() const { return pid_; }
    bool isRunning() const { return pid_ > 0 && !reaped_; }
    // True once the child has ended and is reaped; false when `until` passed first.
    bool waitForExit(Clock::time_point until);
    // SIGKILL to the child's process group, then waits for it up to the lingering deadline.
    void kill();
    // The waitpid status; meaningful once waitForExit() returned true.
    int waitStatus() const { return status_; }

private:
    bool reapIfEnded();

    pid_t pid_ = -1;
    Descriptor exitNotifier_;
    bool reaped_ = false;
    int status_ = 0;
};

} // namespace ChildProcess
