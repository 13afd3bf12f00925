// The administrator-script stand-in: runs the command of the script through the platform's
// elevation tool and reports a dismissed password dialog the way NSAppleScript does.
#include "AppleScript.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// The platform's elevation tool and the shell it starts, as the operating system ships them.
constexpr const char* elevationTool = "/usr/bin/pkexec";
constexpr const char* commandShell = "/bin/sh";

// The elevation tool's status when the user dismissed its password dialog.
constexpr int dialogDismissedStatus = 126;

std::string trimmed(const std::string& text) {
    const char* space = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

struct Completed {
    int waitStatus = 0;
    std::string output; // standard output and error together
};

// Starts the elevation tool with no standard input and collects everything it prints.
std::optional<Completed> runElevated(const std::string& command, std::string& launchError) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        launchError = std::strerror(errno);
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);

    std::vector<std::string> args{elevationTool, commandShell, "-c", command};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    pid_t child = 0;
    const int spawnError =
        posix_spawn(&child, elevationTool, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawnError != 0) {
        close(pipeFds[0]);
        launchError = std::strerror(spawnError);
        return std::nullopt;
    }

    Completed completed;
    char buffer[4096];
    for (;;) {
        const ssize_t count = read(pipeFds[0], buffer, sizeof buffer);
        if (count > 0) {
            completed.output.append(buffer, static_cast<size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            break;
        }
    }
    close(pipeFds[0]);
    while (waitpid(child, &completed.waitStatus, 0) < 0 && errno == EINTR) {
    }
    return completed;
}

AppleScript::ErrorInfo failure(std::string message, long number) {
    return AppleScript::ErrorInfo{std::move(message), number};
}

} // namespace

// pkexec has no thread rule: it is a separate program.
bool AppleScript::systemRequiresMainThread() {
    return false;
}

std::optional<AppleScript::ErrorInfo> AppleScript::systemExecute() const {
    std::string launchError;
    const std::optional<Completed> completed = runElevated(command_, launchError);
    if (!completed) {
        return failure("Could not start " + std::string(elevationTool) + ": " + launchError + ".",
                       1);
    }
    const int waitStatus = completed->waitStatus;
    if (WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0) {
        return std::nullopt;
    }
    if (WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == dialogDismissedStatus) {
        return failure("User canceled.", -128);
    }
    std::string message = trimmed(completed->output);
    if (message.empty()) {
        message =
            WIFEXITED(waitStatus)
                ? "The command exited with status " + std::to_string(WEXITSTATUS(waitStatus)) + "."
                : "The command was ended by signal " + std::to_string(WTERMSIG(waitStatus)) + ".";
    }
    return failure(std::move(message), 1);
}
