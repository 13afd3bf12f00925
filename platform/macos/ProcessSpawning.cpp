// Spawning on macOS: POSIX_SPAWN_CLOEXEC_DEFAULT closes every descriptor the file actions do not
// name, so the standard streams are named explicitly to be inherited.
#include "ProcessSpawning.h"

#include <fcntl.h>
#include <sys/event.h>
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

// A kqueue with one one-shot exit filter on the process is readable once the process has ended.
// Registering fails with ESRCH when it has ended already.
int exitNotifier(pid_t child) {
    const int queue = ::kqueue();
    if (queue < 0)
        return -1;
    ::fcntl(queue, F_SETFD, FD_CLOEXEC);
    struct kevent change {};
    EV_SET(&change, static_cast<uintptr_t>(child), EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0,
           nullptr);
    if (::kevent(queue, &change, 1, nullptr, 0, nullptr) != 0) {
        ::close(queue);
        return -1;
    }
    return queue;
}

} // namespace ProcessSpawning
