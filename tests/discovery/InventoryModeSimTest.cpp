#include "ExpectedFootprint.h"
#include "InventoryMode.h"
#include "SimMac.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string application =
    std::string(NUVRA_BINARY_DIR) + "/nuvraUninstaller.app/Contents/MacOS/nuvraUninstaller";

struct Outcome {
    int status = -1;
    std::string standardOutput;
};

// Runs the application with no display; standard error goes elsewhere so that standard output
// can be compared byte for byte.
Outcome runApplication(const std::vector<std::string>& args) {
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
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<std::string> argv{application};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cArgs;
    for (std::string& arg : argv) {
        cArgs.push_back(arg.data());
    }
    cArgs.push_back(nullptr);

    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, application.c_str(), &actions, nullptr, cArgs.data(), environ);
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
    return outcome;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
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
