#include "ProcessSpawning.h"

#include <fcntl.h>
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

// The kernel caps the size for unprivileged processes; a refusal keeps the default.
void requestPipeBuffer(int fd, std::size_t bytes) {
    ::fcntl(fd, F_SETPIPE_SZ, static_cast<int>(bytes));
}

} // namespace ProcessSpawning
