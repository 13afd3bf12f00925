// Spawning on macOS: POSIX_SPAWN_CLOEXEC_DEFAULT closes every descriptor the file actions do not
// name, so the standard streams are named explicitly to be inherited.
#include "ProcessSpawning.h"

#include <fcntl.h>

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

} // namespace ProcessSpawning
