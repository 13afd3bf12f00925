// Spawning on macOS: POSIX_SPAWN_CLOEXEC_DEFAULT closes every descriptor the file actions do not
// name, so the standard streams are named explicitly to be inherited.
#include "ProcessSpawning.h"

#include <fcntl.h>
#include <unistd.h>

namespace ProcessSpawning {

void inheritOnlyStandardStreams(posix_spawn_file_actions_t& actions,
                                posix_spawnattr_t& attributes) {
    short flags = 0;
    ::posix_spawnattr_getflags(&attributes, &flags);
    ::posix_spawnattr_setflags(&attributes,
                               static_cast<short>(flags | POSIX_SPAWN_CLOEXEC_DEFAULT));
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        // Only a stream that is open here can be inherited; asking for a closed one would make
        // the spawn fail.
        if (::fcntl(descriptor, F_GETFD) != -1)
            ::posix_spawn_file_actions_addinherit_np(&actions, descriptor);
    }
}

// macOS has no pipe2: the ends become close-on-exec just after. A child spawned by another thread
// in between cannot inherit them either when it is spawned with POSIX_SPAWN_CLOEXEC_DEFAULT, as
// ours are.
int closeOnExecPipe(int ends[2]) {
    if (::pipe(ends) != 0)
        return -1;
    ::fcntl(ends[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(ends[1], F_SETFD, FD_CLOEXEC);
    return 0;
}

} // namespace ProcessSpawning
