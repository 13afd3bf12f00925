#include "foundation/ChildProcess.h"

#include "ProcessSpawning.h"

#include <csignal>
#include <fcntl.h>
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
    ::posix_spawnattr_setflags(&attributes,
                               static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
}

} // namespace ChildProcess
