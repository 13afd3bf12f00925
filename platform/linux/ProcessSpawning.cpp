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

} // namespace ProcessSpawning
