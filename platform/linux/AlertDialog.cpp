// The alert stand-in: the X Window System's own message box, xmessage, in place of the system's
// alert service.
#include "AlertDialog.h"

#include "ProcessSpawning.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace AlertDialog {
namespace {

constexpr const char* messageBox = "/usr/bin/xmessage";
constexpr std::size_t lineWidth = 64;
// Beyond the box's own timeout, before it is taken for hung.
constexpr int graceMilliseconds = 5000;

// The box shows lines as they come: broken at spaces here, so a long sentence stays readable.
std::string wrapped(const std::string& text) {
    std::string result;
    std::size_t lineLength = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::size_t wordLength = end - start;
        if (lineLength > 0 && lineLength + 1 + wordLength > lineWidth) {
            result += '\n';
            lineLength = 0;
        } else if (lineLength > 0) {
            result += ' ';
            ++lineLength;
        }
        result.append(text, start, wordLength);
        lineLength += wordLength;
        start = end + 1;
    }
    return result;
}

// The child's wait status; a box still open `limitMilliseconds` after it started is killed.
int waitAtMost(pid_t child, int limitMilliseconds) {
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    if (pidfd >= 0) {
        pollfd ended{pidfd, POLLIN, 0};
        int ready = 0;
        while ((ready = ::poll(&ended, 1, limitMilliseconds)) < 0 && errno == EINTR) {
        }
        ::close(pidfd);
        if (ready == 0) {
            ::kill(child, SIGKILL);
        }
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

bool show(const std::string& headline, const std::string& message, int timeoutSeconds) {
    std::vector<std::string> args{messageBox,
                                  "-title",
                                  headline,
                                  "-center",
                                  "-buttons",
                                  "OK:0",
                                  "-default",
                                  "OK",
                                  "-timeout",
                                  std::to_string(timeoutSeconds),
                                  headline + "\n\n" + wrapped(message)};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        posix_spawn_file_actions_addopen(&actions, stream, "/dev/null",
                                         stream == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    }
    ProcessSpawning::inheritOnlyStandardStreams(actions, attributes);
    pid_t child = 0;
    const int spawnError =
        posix_spawn(&child, messageBox, &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0) {
        return false;
    }
    // The box exits 0 for its button and at its own timeout; 1 when it cannot reach a display.
    const int status = waitAtMost(child, timeoutSeconds * 1000 + graceMilliseconds);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace AlertDialog
