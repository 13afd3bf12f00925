#include "ProcessSpawning.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ProcessSpawning {

// glibc closes every descriptor from the given number up in the child, after the earlier actions.
void inheritOnlyStandardStreams(posix_spawn_file_actions_t& actions, posix_spawnattr_t&) {
    ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
}

// Both ends are made close-on-exec atomically, so no child started meanwhile by another thread
// inherits them.
int closeOnExecPipe(int ends[2]) {
    return ::pipe2(ends, O_CLOEXEC);
}

// A process descriptor: readable when the process has ended, always close-on-exec.
int exitNotifier(pid_t child) {
    return static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
}

} // namespace ProcessSpawning
