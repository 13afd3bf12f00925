// The real application on a virtual X display (Xvfb) in a simulated Mac: quitting from the
// window is a clean end of the session. The offscreen platform has no window manager and no
// pointer to click with, so the click comes from xdotool, like a user's.
#include "SimMac.h"
#include "Waiting.h"
#include "foundation/InstanceClaim.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A child process that runs in the background while the test drives it; killed if still running
// when the test ends.
class Child {
public:
    // `readyFd`, when given, becomes the child's descriptor 3.
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
          const std::string& outputFile, int readyFd = -1) {
        std::vector<std::string> env = extraEnv;
        for (char** entry = environ; *entry; ++entry) {
            env.emplace_back(*entry);
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        // Moved out of the way first: a dup2 onto itself would keep close-on-exec.
        const int ready = readyFd >= 0 ? ::fcntl(readyFd, F_DUPFD_CLOEXEC, 10) : -1;
        if (ready >= 0) {
            posix_spawn_file_actions_adddup2(&actions, ready, 3);
        }
        const auto args = pointers(argv);
        const auto envp = pointers(env);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        if (ready >= 0) {
            ::close(ready);
        }
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // The exit status once the child has ended.
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // The exit status once the child has ended within `limit`, otherwise nothing. Only to pace a
    // repeated action: whether the test passes never depends on it.
    std::optional<int> waitFor(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (pid_ > 0) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(50ms);
        }
        return std::nullopt;
    }

private:
    static std::vector<char*> pointers(const std::vector<std::string>& strings) {
        std::vector<char*> result;
        for (const std::string& s : strings) {
            result.push_back(const_cast<char*>(s.c_str()));
        }
        result.push_back(nullptr);
        return result;
    }

    pid_t pid_ = -1;
};

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

bool anyLineContains(const std::string& path, const std::string& text) {
    for (const std::string& line : lines(path)) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A virtual X display for the test's lifetime; DISPLAY names it, for xdotool as well as the
// application.
class VirtualDisplay {
public:
    VirtualDisplay() {
        // The server picks a free display and writes its number to descriptor 3 once it takes
        // connections.
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0) {
            return;
        }
        server_ = std::make_unique<Child>(
            std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "3", "-screen", "0",
                                     "1440x900x24", "-nolisten", "tcp", "-noreset"},
            std::vector<std::string>{}, "/tmp/xvfb.out", ready[1]);
        close(ready[1]);
        // The whole line: the server ends if its line feed finds the pipe closed.
        std::string number;
        char c = 0;
        while (read(ready[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(ready[0]);
        if (!number.empty()) { // end of file first: it failed
            ::setenv("DISPLAY", (":" + number).c_str(), 1);
            serving_ = true;
        }
    }
    bool serving() const { return serving_; }

private:
    std::unique_ptr<Child> server_;
    bool serving_ = false;
};

// The first visible window whose title is `title`, looked for again as long as `app` runs (the
// pause between looks only paces them); empty when `app` ended first.
std::string visibleWindow(Child& app, const std::string& title) {
    while (!app.waitFor(50ms)) {
        const SimMac::RunResult search =
            SimMac::run({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", title});
        if (search.status == 0 && !search.output.empty()) {
            return search.output.substr(0, search.output.find('\n'));
        }
    }
    return {};
}

// The command line of `parent`'s child process named `name`, arguments and the lines within them
// joined by spaces.
std::string childCommandLine(pid_t parent, const std::string& name) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, comm, state;
        pid_t ppid = 0;
        if (stat >> pid >> comm >> state >> ppid && ppid == parent && comm == "(" + name + ")") {
            std::string arguments = fileText(entry.path() / "cmdline");
            std::replace(arguments.begin(), arguments.end(), '\0', ' ');
            std::replace(arguments.begin(), arguments.end(), '\n', ' ');
            return arguments;
        }
    }
    return {};
}

} // namespace

TEST(SessionEnd, QuitOnTheNothingFoundScreenEndsTheSessionCleanly) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean"));
    const std::string logFolder = SimMac::home() + "/Library/Logs/nuvraUninstaller";
    const std::string log = logFolder + "/uninstall.log";
    const std::string marker = logFolder + "/.session_active";
    const VirtualDisplay display;
    ASSERT_TRUE(display.serving()) << fileText("/tmp/xvfb.out");

    // In sanitizer builds Qt's X, GL and font libraries keep allocations at exit that the leak
    // checker would turn into the exit status; memory errors still end the run.
    Child app({SimMac::insidePath(NUVRA_APP_PATH)},
              {"QT_QPA_PLATFORM=xcb", "ASAN_OPTIONS=detect_leaks=0"}, "/tmp/app.out");
    ASSERT_TRUE(app.started());
    // Up and scanned: the session has begun and a clean Mac was found empty.
    fs::create_directories(logFolder);
    ASSERT_TRUE(Waiting::untilFileHolds(log, "Preflight scan", app.pid()))
        << fileText("/tmp/app.out");
    EXPECT_TRUE(fs::exists(marker));

    // Qt makes and drops helper windows while it starts, and xdotool gives up on an X error
    // about one of them, so look again until the visible window is found, for as long as the
    // application runs (the pause between looks only paces them).
    std::string windowId;
    std::optional<int> endedEarly;
    while (windowId.empty() && !(endedEarly = app.waitFor(50ms))) {
        const SimMac::RunResult search = SimMac::run(
            {"/usr/bin/xdotool", "search", "--onlyvisible", "--pid", std::to_string(app.pid())});
        if (search.status == 0 && !search.output.empty()) {
            windowId = search.output.substr(0, search.output.find('\n'));
        }
    }
    ASSERT_FALSE(endedEarly) << "the application ended before its window appeared: "
                             << fileText("/tmp/app.out");

    // Placed by the launch arithmetic: with no window manager the whole 1440 × 900 screen is
    // visible and the frame has no title bar, so the content is centred exactly.
    const SimMac::RunResult geometry =
        SimMac::run({"/usr/bin/xdotool", "getwindowgeometry", "--shell", windowId});
    EXPECT_NE(geometry.output.find("X=480\nY=225\nWIDTH=480\nHEIGHT=450\n"), std::string::npos)
        << geometry.output;

    // The "Quit" control's centre in the content area. The screen may still be settling after
    // the scan, so click again until the window has gone; then the application ends. (The pause
    // between clicks only paces them: the test waits for the end however long it takes.)
    std::optional<int> status;
    for (int attempt = 0; !status; ++attempt) {
        const auto clicked = SimMac::run(
            {"/usr/bin/xdotool", "mousemove", "--window", windowId, "240", "323", "click", "1"});
        if (clicked.status != 0) {
            ASSERT_GT(attempt, 0) << clicked.output; // the window was there for the first click
            status = app.wait();
            break;
        }
        status = app.waitFor(1s);
    }
    EXPECT_EQ(*status, 0) << fileText("/tmp/app.out");

    const std::vector<std::string> logLines = lines(log);
    ASSERT_FALSE(logLines.empty());
    const std::string& last = logLines.back();
    EXPECT_EQ(last.substr(std::min<std::size_t>(last.size(), 22)), "Session ended normally")
        << fileText(log);
    EXPECT_FALSE(fs::exists(marker));
    // The click hit "Quit", not "Clean up anyway".
    EXPECT_FALSE(anyLineContains(log, "Uninstall started"));
}

// Opened while a command-line run holds the account's session: no window can open, and a person
// who double-clicked the application would see nothing happen. A message box says why, naming the
// run; the running session's log is left alone.
TEST(SessionEnd, AStartRefusedByACommandLineRunSaysWhyInAMessageBox) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean"));
    const std::string logFolder = SimMac::home() + "/Library/Logs/nuvraUninstaller";
    // Held as `nuvra-uninstall run` holds it, until this test ends.
    ASSERT_EQ(InstanceClaim::claim(logFolder, InstanceClaim::Role::command).outcome,
              InstanceClaim::Result::Outcome::claimed);
    const VirtualDisplay display;
    ASSERT_TRUE(display.serving()) << fileText("/tmp/xvfb.out");

    Child app({SimMac::insidePath(NUVRA_APP_PATH)},
              {"QT_QPA_PLATFORM=xcb", "ASAN_OPTIONS=detect_leaks=0"}, "/tmp/app.out");
    ASSERT_TRUE(app.started());
    const std::string box = visibleWindow(app, "nuvra Uninstaller cannot open");
    ASSERT_FALSE(box.empty()) << "no message box appeared: " << fileText("/tmp/app.out");
    const std::string sentence = "(nuvra-uninstall run, process " + std::to_string(getpid()) + ")";
    EXPECT_THAT(childCommandLine(app.pid(), "xmessage"), testing::HasSubstr(sentence));

    // Dismissed like a person would: the pointer on the box, then Return for its one button.
    SimMac::run({"/usr/bin/xdotool", "mousemove", "--window", box, "20", "20", "key", "Return"});
    EXPECT_EQ(app.wait(), 1);
    EXPECT_THAT(fileText("/tmp/app.out"), testing::HasSubstr(sentence));
    EXPECT_FALSE(fs::exists(logFolder + "/uninstall.log"));
}
