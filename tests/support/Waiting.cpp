#include "Waiting.h"

#include "SimMac.h"

#include <cerrno>
#include <filesystem>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Waiting {

void untilEnded(const std::vector<pid_t>& pids) {
    for (const pid_t pid : pids) {
        // A process descriptor becomes readable when the process ends.
        const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        if (fd < 0) {
            continue; // already gone
        }
        pollfd ended{fd, POLLIN, 0};
        while (::poll(&ended, 1, -1) < 0 && errno == EINTR) {
        }
        ::close(fd);
    }
}

bool untilFileHolds(const std::string& path, const std::string& text, pid_t writer) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    const std::string folder = std::filesystem::path(path).parent_path().string();
    // Watched before the first look, so no change between the look and the wait is missed.
    ::inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MODIFY | IN_MOVED_TO);
    const int ended = writer > 0 ? static_cast<int>(::syscall(SYS_pidfd_open, writer, 0)) : -1;
    pollfd events[2] = {{watch, POLLIN, 0}, {ended, POLLIN, 0}};
    bool holds = false;
    while (!(holds = SimMac::readFile(path).find(text) != std::string::npos)) {
        if (::poll(events, ended >= 0 ? 2 : 1, -1) < 0 && errno != EINTR) {
            break;
        }
        if (events[1].revents != 0) {
            holds = SimMac::readFile(path).find(text) != std::string::npos; // its last words count
            break;
        }
        char buffer[4096];
        if (events[0].revents != 0 && ::read(watch, buffer, sizeof buffer) < 0 && errno != EINTR) {
            break;
        }
    }
    if (ended >= 0) {
        ::close(ended);
    }
    ::close(watch);
    return holds;
}

} // namespace Waiting
