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

const char* roleWord(Role role) {
    return role == Role::window ? "window" : "command";
}

// The holder names itself in the lock file: its role and process id, one line. Only what this
// code writes is ever read back, so a later start can say where the running session comes from.
void nameHolder(int lock, Role role) {
    const std::string line = std::string(roleWord(role)) + " " + std::to_string(::getpid()) + "\n";
    if (::ftruncate(lock, 0) == 0) {
        (void)::pwrite(lock, line.data(), line.size(), 0);
    }
}

// The process id of a command-line run holding the claim, from the line it wrote; 0 for a window,
// an older version's empty file, or anything that is not such a line.
long commandHolder(int lock) {
    char text[32] = {};
    const ssize_t got = ::pread(lock, text, sizeof text - 1, 0);
    const std::string line(text, got > 0 ? static_cast<std::size_t>(got) : 0);
    const std::string prefix = std::string(roleWord(Role::command)) + " ";
    if (!line.starts_with(prefix) || !line.ends_with("\n")) {
        return 0;
    }
    const std::string digits = line.substr(prefix.size(), line.size() - prefix.size() - 1);
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    return std::stol(digits);
}

std::string refusalForWindow(long commandPid) {
    if (commandPid > 0) {
        return "the uninstaller is already at work for this account from the command line "
               "(nuvra-uninstall run, process " +
               std::to_string(commandPid) + "); wait until it has finished, then open it again";
    }
    return "another uninstaller session is already running for this account and could not be "
           "brought forward; finish or quit it, then try again";
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
        const long commandPid = heldElsewhere ? commandHolder(lock) : 0;
        ::close(lock);
        if (!heldElsewhere) {
            return {};
        }
        if (role == Role::window && commandPid == 0 && knock(folder + socketName)) {
            return {Result::Outcome::broughtForward, {}, -1};
        }
        return refused(role == Role::window
                           ? refusalForWindow(commandPid)
                           : "the uninstaller is already running for this account (its window or "
                             "another run); finish or quit it, then try again");
    }
    nameHolder(lock, role);
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
