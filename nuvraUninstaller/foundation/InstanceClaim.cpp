#include "InstanceClaim.h"

#include "Utf8.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace InstanceClaim {
namespace {

const char* const lockName = "/.instance.lock";
const char* const socketName = "/.instance.socket";

// Portable spelling (macOS has no SOCK_CLOEXEC): not inherited, never blocking.
int newSocket() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    return fd;
}

bool socketAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// The connection itself is the request; nothing is written, so no broken pipe can occur. Only a
// socket is knocked on: connect() would follow a link put in its place.
bool knock(const std::string& path) {
    struct stat info {};
    sockaddr_un address{};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) ||
        !socketAddress(path, address)) {
        return false;
    }
    const int fd = newSocket();
    if (fd < 0) {
        return false;
    }
    const bool answered = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answered;
}

// -1 when nothing can listen there (a folder in the way, a path too long for a socket): later
// starts are then told that the running session cannot be brought forward.
int listenAt(const std::string& path) {
    sockaddr_un address{};
    if (!socketAddress(path, address)) {
        return -1;
    }
    const int fd = newSocket();
    if (fd < 0) {
        return -1;
    }
    ::unlink(path.c_str()); // left by a session that crashed; we hold the lock now
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

Result refused(std::string sentence) {
    return {Result::Outcome::refused, std::move(sentence), -1};
}

} // namespace

Result claim(const std::string& folder, Role role) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string lockPath = folder + lockName;
    // Held open, and so locked, until the process ends; not inherited by the tools it starts.
    const int lock =
        ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    const std::string notPlain =
        "cannot tell whether another uninstaller session is running: " + utf8::visible(lockPath) +
        " is not a plain file; remove it and try again";
    if (lock < 0) {
        if (errno == ELOOP || errno == EISDIR || errno == ENXIO) {
            return refused(notPlain);
        }
        return {}; // no lock can be made here; a session without one is better than none
    }
    struct stat info {};
    if (::fstat(lock, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(lock);
        return refused(notPlain);
    }
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        ::close(lock);
        if (!heldElsewhere) {
            return {};
        }
        if (role == Role::window && knock(folder + socketName)) {
            return {Result::Outcome::broughtForward, {}, -1};
        }
        return refused(role == Role::window
                           ? "another uninstaller session is already running for this account "
                             "and could not be brought forward; finish or quit it, then try again"
                           : "the uninstaller is already running for this account (its window or "
                             "another run); finish or quit it, then try again");
    }
    return {
        Result::Outcome::claimed, {}, role == Role::window ? listenAt(folder + socketName) : -1};
}

bool acceptKnock(int activationSocket) {
    const int connection = ::accept(activationSocket, nullptr, nullptr);
    if (connection < 0) {
        return false;
    }
    ::close(connection);
    return true;
}

} // namespace InstanceClaim
