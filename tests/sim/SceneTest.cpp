// What the scenes plant: the footprint a correct uninstaller finds, the decoys it must leave.

#include "SimMac.h"
#include "Waiting.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using SimMac::run;

namespace {

bool running(const std::string& exactName) {
    return run({"/usr/bin/pgrep", "-x", exactName}).status == 0;
}

std::vector<pid_t> processesNamed(const std::string& exactName) {
    std::vector<pid_t> pids;
    std::istringstream found(run({"/usr/bin/pgrep", "-x", exactName}).output);
    for (pid_t pid = 0; found >> pid;) {
        pids.push_back(pid);
    }
    return pids;
}

// Ignored, SIGTERM is dropped when sent: the process cannot end by it, however late it runs.
bool ignoresSigterm(const std::string& exactName) {
    const std::vector<pid_t> pids = processesNamed(exactName);
    return !pids.empty() && std::all_of(pids.begin(), pids.end(), [](pid_t pid) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("SigIgn:")) {
                return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1) & 1) != 0;
            }
        }
        return false;
    });
}

TEST(Scene, CleanMacHasNothingOfTheProduct) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean"));
    // The places a Mac keeps things (the rest of the file system is the host's, seen through).
    const auto found = run({"/usr/bin/find", "/Applications", "/Library", "/Users", "/System",
                            "/tmp", "/var/folders", "-iname", "*nuvra*"});
    EXPECT_EQ(found.output, "");
    EXPECT_EQ(run({"/usr/bin/security", "dump-keychain"}).output.find("ai.nuvra."),
              std::string::npos);
    EXPECT_EQ(run({"/usr/bin/defaults", "export", "com.apple.HIToolbox", "-"}).output.find("nuvra"),
              std::string::npos);
}

TEST(Scene, FootprintIsPlantedWithRealBundlesAndOwnership) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("footprint", false));
    const std::string home = SimMac::home();
    for (const std::string& path : std::vector<std::string>{
             "/Applications/nuvra.app", "/Applications/NuvraAgent.app",
             home + "/Applications/nuvra.app", "/Library/Input Methods/nuvraInput.app",
             home + "/Library/Input Methods/nuvraInput.app",
             home + "/Library/LaunchAgents/ai.nuvra.agent.autostart.plist.bak",
             home + "/Library/Group Containers/group.ai.nuvra.macos.shared",
             home + "/Library/Saved Application State/ai.nuvra.inputmethod.NuvraAgent.savedState",
             home + "/Library/Application Support/nuvra", std::string("/tmp/nuvra"),
             SimMac::temporaryDirectory() + "nuvra-agent-sourcectl-Xq3v9a",
             "/var/folders/mv/x8b0x3qn2g53p4j0kfh9lfm40000gn/C/com.apple.IntlDataCache.le.kbdx"}) {
        EXPECT_TRUE(fs::exists(path)) << path;
    }
    const auto mode =
        run({"/usr/libexec/PlistBuddy", "-c", "Print :ComponentInputModeDict:tsInputModeListKey",
             "/Library/Input Methods/nuvraInput.app/Contents/Info.plist"});
    EXPECT_NE(mode.output.find("    ai.nuvra.inputmethod.NuvraInput.default = Dict {"),
              std::string::npos)
        << mode.output;
    struct stat st {};
    ASSERT_EQ(stat((home + "/Library/Preferences/group.ai.nuvra.shared.plist").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 501u);
    ASSERT_EQ(stat("/tmp/nuvra", &st), 0);
    EXPECT_EQ(st.st_uid, 0u);

    // Keyboard settings: the product's input mode is the current (first selected) source, and
    // the disabled list mentions the product only in a nested value.
    const std::string hitoolbox = home + "/Library/Preferences/com.apple.HIToolbox.plist";
    EXPECT_EQ(run({"/usr/libexec/PlistBuddy", "-c", "Print :AppleSelectedInputSources:0:Input Mode",
                   hitoolbox})
                  .output,
              "ai.nuvra.inputmethod.NuvraInput.default\n");
    EXPECT_EQ(
        run({"/usr/libexec/PlistBuddy", "-c",
             "Print :AppleDisabledInputSources:0:Previously Paired With:Input Mode", hitoolbox})
            .output,
        "ai.nuvra.inputmethod.NuvraInput.default\n");
}

TEST(Scene, ProductProcessesRunAndOneShrugsOffSigterm) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("full"));
    for (const char* name : {"nuvra", "nuvraInput", "NuvraAgent", "Nuvra Notes", "nuvractl"}) {
        EXPECT_TRUE(running(name)) << name;
    }
    EXPECT_EQ(run({"/usr/bin/pgrep", "-u", "501", "-x", "nuvraInput"}).status, 0);

    // Their ends are waited for as events, however long a busy machine takes (one that never
    // ends is ended by the test runner's timeout); ended is enough, reaped or not.
    std::vector<pid_t> polite = processesNamed("nuvra");
    for (pid_t pid : processesNamed("nuvraInput")) {
        polite.push_back(pid);
    }
    const std::vector<pid_t> deaf = processesNamed("NuvraAgent");
    ASSERT_FALSE(deaf.empty());
    for (const char* pattern : {"nuvra.app/Contents/MacOS/", "nuvraInput.app/Contents/MacOS/",
                                "NuvraAgent.app/Contents/MacOS/"}) {
        run({"/usr/bin/pkill", "-f", pattern});
    }
    Waiting::untilEnded(polite);
    // Ignored, SIGTERM was dropped when it was sent: the process cannot end by it later on.
    EXPECT_TRUE(running("NuvraAgent"));
    EXPECT_TRUE(ignoresSigterm("NuvraAgent"));
    run({"/usr/bin/pkill", "-9", "-x", "NuvraAgent"});
    Waiting::untilEnded(deaf);
    // Decoys match neither an exact name nor a path pattern, and survive.
    EXPECT_TRUE(running("Nuvra Notes"));
    EXPECT_TRUE(running("nuvractl"));
}

TEST(Scene, DecoysAndEscapingLinksSitBesideTheTraces) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("full", false));
    const std::string home = SimMac::home();
    const fs::path link = home + "/Library/Application Support/nuvra/linked-documents";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), home + "/Documents/Keep");
    EXPECT_TRUE(fs::is_symlink("/tmp/nuvra/decoy-link"));
    EXPECT_TRUE(fs::exists("/var/decoy/keep.txt"));
    EXPECT_TRUE(fs::exists(home + "/Library/Group Containers/group.ai.nuvra.shared.backup"));
    EXPECT_TRUE(fs::exists(SimMac::temporaryDirectory() + "xnuvraInstaller"));
}

TEST(Scene, DecoysAloneCreateNoTraceOfTheProduct) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("decoys", false));
    const std::string home = SimMac::home();
    for (const std::string& path : std::vector<std::string>{
             "/tmp/nuvra", "/Applications/nuvra.app", home + "/Library/Application Support/nuvra",
             home + "/Library/Group Containers/group.ai.nuvra.shared",
             SimMac::temporaryDirectory() + "nuvra-agent-sourcectl-Xq3v9a"}) {
        EXPECT_FALSE(fs::exists(path)) << path;
    }
    EXPECT_TRUE(fs::exists("/Applications/Nuvra Notes.app"));
}

} // namespace
