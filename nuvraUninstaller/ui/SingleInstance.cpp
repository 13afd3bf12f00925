#include "SingleInstance.h"

#include "HomeFolder.h"
#include "foundation/SessionLog.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace SingleInstance {
namespace {

int listeningSocket = -1;

// Beside the session log: the uninstaller's own folder, which no removal step touches.
std::string pathFor(const char* suffix) {
    const std::string folder =
        SessionLog::Options::forHome(HomeFolder::homeDirectory()).logDirectory;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder + "/.instance" + suffix;
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

// The connection itself is the request; nothing is written, so no broken pipe can occur.
void knock(const std::string& path) {
    sockaddr_un address{};
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        return;
    }
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    if (socketAddress(path, address)) {
        (void)::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ::close(fd);
}

void listenAt(const std::string& path) {
    sockaddr_un address{};
    if (!socketAddress(path, address)) {
        return;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) {
        return;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    ::unlink(path.c_str()); // left by an instance that crashed; we hold the lock now
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        ::close(fd);
        return;
    }
    listeningSocket = fd;
}

} // namespace

bool claim() {
    // Held open (and so locked) until the process ends; not inherited by the tools it starts.
    const int lock =
        ::open(pathFor(".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock < 0) {
        return true;
    }
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        ::close(lock);
        if (heldElsewhere) {
            knock(pathFor(".socket"));
        }
        return !heldElsewhere;
    }
    listenAt(pathFor(".socket"));
    return true;
}

void onActivationRequest(std::function<void()> bringToFront) {
    if (listeningSocket < 0) {
        return;
    }
    auto* notifier =
        new QSocketNotifier(listeningSocket, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [bringToFront = std::move(bringToFront)] {
                         const int connection = ::accept(listeningSocket, nullptr, nullptr);
                         if (connection >= 0) {
                             ::close(connection);
                             bringToFront();
                         }
                     });
}

} // namespace SingleInstance
