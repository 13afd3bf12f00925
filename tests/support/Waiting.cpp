#include "Waiting.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Waiting {
namespace {

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

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

void untilFileHolds(const std::string& path, const std::string& text) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    const std::string folder = std::filesystem::path(path).parent_path().string();
    // Watched before the first look, so no change between the look and the wait is missed.
    ::inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MODIFY | IN_MOVED_TO);
    char events[4096];
    while (fileText(path).find(text) == std::string::npos) {
        if (::read(watch, events, sizeof events) < 0 && errno != EINTR) {
            break;
        }
    }
    ::close(watch);
}

} // namespace Waiting
