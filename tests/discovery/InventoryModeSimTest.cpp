#include "ExpectedFootprint.h"
#include "InventoryMode.h"
#include "SimMac.h"
#include "Waiting.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <elf.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string application =
    SimMac::insidePath(NUVRA_BINARY_DIR "/nuvraUninstaller.app/Contents/MacOS/nuvraUninstaller");

struct Outcome {
    int status = -1;
    std::string standardOutput;
    std::string standardError;
};

const std::string errorFile = "/tmp/application-stderr.txt";

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs the application with no display; standard error goes to a file of its own so that
// standard output can be compared byte for byte.
Outcome runApplication(const std::vector<std::string>& args,
                       const std::string& executable = application) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<std::string> argv{executable};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cArgs;
    for (std::string& arg : argv) {
        cArgs.push_back(arg.data());
    }
    cArgs.push_back(nullptr);

    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, executable.c_str(), &actions, nullptr, cArgs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    Outcome outcome;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        outcome.standardOutput.append(buffer, static_cast<size_t>(got));
    }
    close(pipeFds[0]);
    int status = 0;
    if (spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        outcome.status = WEXITSTATUS(status);
    }
    outcome.standardError = readFile(errorFile);
    return outcome;
}

class InventoryModeSim : public ::testing::Test {
protected:
    void SetUp() override { NUVRA_REQUIRE_SIM(); }

    void expectNoSession() {
        const std::string logFolder = SimMac::home() + "/Library/Logs/nuvraUninstaller";
        EXPECT_FALSE(fs::exists(logFolder + "/.session_active"));
        EXPECT_EQ(readFile(logFolder + "/uninstall.log").find("Session ended normally"),
                  std::string::npos);
    }
};

TEST_F(InventoryModeSim, PrintsTheFullSummaryAndOneLineFeedWithoutADisplay) {
    ASSERT_TRUE(SimMac::plantScene("full", false));
    const Outcome outcome = runApplication({"--inventory"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.standardOutput, std::string(fullSceneSummary) + "\n");
    expectNoSession();
}

// The window's libraries (Qt Quick, QML, GUI, D-Bus…) cost more to load than the whole scan.
TEST_F(InventoryModeSim, LoadsNoWindowLibrary) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    const std::string trace = fs::temp_directory_path() / "inventory-loader-trace";
    setenv("LD_DEBUG", "files", 1);
    setenv("LD_DEBUG_OUTPUT", trace.c_str(), 1);
    const Outcome outcome = runApplication({"--inventory"});
    unsetenv("LD_DEBUG");
    unsetenv("LD_DEBUG_OUTPUT");
    EXPECT_EQ(outcome.status, 0);
    std::string loaded;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
        if (entry.path().filename().string().starts_with("inventory-loader-trace.")) {
            loaded += readFile(entry.path());
        }
    }
    EXPECT_NE(loaded.find("libplist"), std::string::npos) << "no loader trace was written";
    EXPECT_EQ(loaded.find("libQt6"), std::string::npos);
    EXPECT_EQ(loaded.find("nuvraUninstallerWindow"), std::string::npos);
}

TEST_F(InventoryModeSim, ArgumentCountsAnywhereOnACleanMac) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    const Outcome outcome = runApplication({"-NSDocumentRevisionsDebugMode", "--inventory"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.standardOutput, "Nothing found.\n");
    expectNoSession();
}

TEST_F(InventoryModeSim, TheWindowWithoutADisplaySaysWhatToUseInsteadAndExitsOne) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    unsetenv("QT_QPA_PLATFORM");
    const Outcome outcome = runApplication({});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.standardError.find("no display"), std::string::npos) << outcome.standardError;
    EXPECT_NE(outcome.standardError.find("nuvraUninstaller --inventory"), std::string::npos);
    EXPECT_EQ(outcome.standardError.find("Reinstalling"), std::string::npos);
    expectNoSession();
}

TEST_F(InventoryModeSim, ASecondStartLeavesTheRunningSessionAlone) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    const std::string logFolder = SimMac::home() + "/Library/Logs/nuvraUninstaller";
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1); // Qt's caches at exit are not ours
    fs::create_directories(logFolder);
    pid_t first = -1;
    char* firstArgv[] = {const_cast<char*>(application.c_str()), nullptr};
    ASSERT_EQ(posix_spawn(&first, application.c_str(), nullptr, nullptr, firstArgv, environ), 0);
    ASSERT_TRUE(Waiting::untilFileHolds(logFolder + "/uninstall.log", "Preflight scan", first));
    const std::string log = readFile(logFolder + "/uninstall.log");
    const std::string marker = readFile(logFolder + "/.session_active");

    // A second start that ran a session of its own would not end by itself (the test runner's
    // timeout would end it).
    pid_t second = -1;
    ASSERT_EQ(posix_spawn(&second, application.c_str(), nullptr, nullptr, firstArgv, environ), 0);
    int status = -1;
    waitpid(second, &status, 0);
    const bool firstStillRuns = waitpid(first, nullptr, WNOHANG) == 0;
    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(firstStillRuns);
    EXPECT_EQ(readFile(logFolder + "/uninstall.log"), log);
    EXPECT_EQ(readFile(logFolder + "/.session_active"), marker);
}

// The last loadable segment placed so far on that its offset plus its size wraps round to a
// place inside the file.
void placeASegmentPastTheEnd(const fs::path& module) {
    std::fstream file(module, std::ios::in | std::ios::out | std::ios::binary);
    Elf64_Ehdr header{};
    file.read(reinterpret_cast<char*>(&header), sizeof header);
    for (int index = header.e_phnum - 1; index >= 0; --index) {
        const auto at = static_cast<std::streamoff>(header.e_phoff + index * sizeof(Elf64_Phdr));
        Elf64_Phdr segment{};
        file.seekg(at);
        file.read(reinterpret_cast<char*>(&segment), sizeof segment);
        if (segment.p_type == PT_LOAD) {
            segment.p_offset = std::uint64_t{0} - 4096;
            segment.p_filesz = 8192;
            file.seekp(at);
            file.write(reinterpret_cast<const char*>(&segment), sizeof segment);
            return;
        }
    }
    ADD_FAILURE() << module << " has no loadable segment";
}

// A module cut short is still mapped by the loader, and the first touch of a page past its end
// would kill the process with SIGBUS: no message, no log line. A segment that starts past the end
// is no better.
TEST_F(InventoryModeSim, ADamagedWindowModuleIsRefusedInOneLineThatTheLogRepeats) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    const fs::path bundle = fs::path(application).parent_path().parent_path().parent_path();
    const fs::path copy = "/tmp/damaged/nuvraUninstaller.app";
    const fs::path module = copy / "Contents/Frameworks/nuvraUninstallerWindow.so";
    const std::string logFile = SimMac::home() + "/Library/Logs/nuvraUninstaller/uninstall.log";
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::vector<std::pair<std::string, std::function<void()>>> damages{
        // Inside its code segment, which ends further on.
        {"cut short", [&] { fs::resize_file(module, 1 << 19); }},
        {"segment past the end", [&] { placeASegmentPastTheEnd(module); }},
    };
    for (const auto& [name, damage] : damages) {
        SCOPED_TRACE(name);
        fs::remove_all(copy);
        fs::remove(logFile);
        fs::create_directories(copy.parent_path());
        fs::copy(bundle, copy, fs::copy_options::recursive);
        damage();

        const Outcome outcome =
            runApplication({}, (copy / "Contents/MacOS/nuvraUninstaller").string());
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.standardError,
                  "nuvraUninstaller: cannot load the window: " + module.string() +
                      " is damaged (cut short: a segment reaches past its end)\n");
        const auto log = SimMac::sessionLogMessages(logFile);
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find("Window module could not be loaded: " + module.string()),
                  std::string::npos)
            << log[0];
        expectNoSession();
    }
}

// The claim cannot be used as it is: held by a session that cannot be reached (the command, or a
// window whose socket's place is taken by a folder), or a lock file replaced by a link. Each is
// one sentence and no second session; the link is not followed.
TEST_F(InventoryModeSim, AClaimThatCannotBeUsedIsOneSentenceAndNoSecondSession) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    const std::string logFolder = SimMac::home() + "/Library/Logs/nuvraUninstaller";
    fs::create_directories(logFolder + "/.instance.socket");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    {
        const int held = open((logFolder + "/.instance.lock").c_str(), O_RDWR | O_CREAT, 0600);
        ASSERT_EQ(flock(held, LOCK_EX), 0);
        const Outcome outcome = runApplication({});
        close(held);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_NE(outcome.standardError.find("already running for this account and could not be "
                                             "brought forward"),
                  std::string::npos)
            << outcome.standardError;
        EXPECT_EQ(std::count(outcome.standardError.begin(), outcome.standardError.end(), '\n'), 1);
        EXPECT_FALSE(fs::exists(logFolder + "/uninstall.log"));
    }
    fs::remove(logFolder + "/.instance.lock");
    fs::create_symlink("/tmp/elsewhere", logFolder + "/.instance.lock");
    const Outcome outcome = runApplication({});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.standardError.find(".instance.lock is not a plain file"), std::string::npos)
        << outcome.standardError;
    EXPECT_FALSE(fs::exists("/tmp/elsewhere"));
    EXPECT_FALSE(fs::exists(logFolder + "/uninstall.log"));
    expectNoSession();
}

TEST(InventoryModeArguments, OnlyTheExactArgumentSelectsTheMode) {
    auto requested = [](std::vector<std::string> args) {
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        return InventoryMode::isRequested(static_cast<int>(argv.size()), argv.data());
    };
    EXPECT_TRUE(requested({"app", "-psn_0_1", "--inventory"}));
    EXPECT_TRUE(requested({"app", "--inventory", "extra"}));
    EXPECT_FALSE(requested({"app", "--inventoryX"}));
    EXPECT_FALSE(requested({"app", "--Inventory"}));
    EXPECT_FALSE(requested({"app", "-inventory"}));
    EXPECT_FALSE(requested({"app"}));
}

} // namespace
