#include "EngineSimHelpers.h"
#include "PlistValue.h"
#include "SimMac.h"
#include "engine/UninstallEngine.h"
#include "foundation/SystemTools.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using Call = SimMac::Call;
using testing::ElementsAreArray;

namespace {

std::vector<Call> expectedPkillCalls() {
    std::vector<Call> calls;
    for (const char* signalFlag : {"", "-9"}) {
        auto add = [&](const char* match, const char* pattern) {
            Call call{SystemTools::pkill};
            if (*signalFlag != '\0') {
                call.emplace_back(signalFlag);
            }
            call.emplace_back(match);
            call.emplace_back(pattern);
            calls.push_back(call);
        };
        add("-x", "nuvra");
        add("-x", "nuvraInput");
        add("-x", "NuvraAgent");
        add("-f", "nuvra.app/Contents/MacOS/");
        add("-f", "nuvraInput.app/Contents/MacOS/");
        add("-f", "NuvraAgent.app/Contents/MacOS/");
    }
    return calls;
}

std::vector<Call> startAtLoginWrites() {
    return {{SystemTools::defaults, "write", "group.ai.nuvra.macos.shared", "ai.nuvra.startAtLogin",
             "-bool", "false"},
            {SystemTools::defaults, "write", "group.ai.nuvra.shared", "ai.nuvra.startAtLogin",
             "-bool", "false"}};
}

// Starts a copy of sleep under `path`, as the uninstaller itself would appear in the process list.
pid_t startProgramAt(const std::string& path) {
    EngineSim::writeFile(path, EngineSim::readFile("/bin/sleep"), 0755);
    const pid_t child = fork();
    if (child == 0) {
        execl(path.c_str(), path.c_str(), "infinity", static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

// A product process that takes 0.3 s to save and exit after SIGTERM, with exit status 7.
pid_t startProductThatExitsSlowly(const std::string& path) {
    EngineSim::writeFile(path,
                         "#!/bin/bash\ntrap 'sleep 0.3; exit 7' TERM\n"
                         "while :; do sleep 0.05; done\n",
                         0755);
    const pid_t child = fork();
    if (child == 0) {
        execl(path.c_str(), path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

bool anyRunning(const std::vector<std::string>& commandLines, const std::string& fragment) {
    return std::any_of(commandLines.begin(), commandLines.end(), [&](const std::string& line) {
        return line.find(fragment) != std::string::npos;
    });
}

} // namespace

TEST(StopProcesses, onACleanMacEveryCommandStillRunsAndTheStepReportsOK) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean"));

    UninstallEngine engine;
    EXPECT_TRUE(engine.stopProcesses().empty());

    std::vector<Call> expected = expectedPkillCalls();
    for (const Call& call : startAtLoginWrites()) {
        expected.push_back(call);
    }
    EXPECT_THAT(SimMac::calls(), ElementsAreArray(expected));
    EXPECT_EQ(EngineSim::logMessages().back(), "  Stop: processes and launch agents — OK");
    for (const char* group : {"group.ai.nuvra.macos.shared", "group.ai.nuvra.shared"}) {
        EXPECT_EQ(
            SimMac::run({SystemTools::defaults, "read", group, "ai.nuvra.startAtLogin"}).output,
            "0\n");
    }
}

TEST(StopProcesses, launchAgentsAreBootedOutAndRemovedByTheLabelInTheirFile) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("footprint", false));
    const std::string agents = SimMac::home() + "/Library/LaunchAgents/";
    const std::string gui = "gui/" + std::to_string(getuid());
    // The two labels the scene does not plant, loaded in this user's own domain.
    for (const char* label : {"ai.nuvra.inputmethod.agent", "ai.nuvra.NuvraAgent"}) {
        const std::string file = agents + label + ".plist";
        EngineSim::writeFile(file,
                             *plist::toBinary(plist::Dictionary{
                                 {"Label", std::string(label)},
                                 {"ProgramArguments", plist::Array{std::string("/bin/true")}}}));
        ASSERT_EQ(SimMac::run({SystemTools::launchctl, "bootstrap", gui, file}).status, 0);
    }
    // A label of white space only names nothing that could be removed, whichever white space.
    EngineSim::writeFile(agents + "com.nuvra.NuvraAgent.plist.bak",
                         *plist::toBinary(plist::Dictionary{{"Label", std::string(" \t\v\f ")}}));
    SimMac::clearCalls();

    UninstallEngine engine;
    EXPECT_TRUE(engine.stopProcesses().empty());

    auto unload = [&](const std::string& file) {
        return std::vector<Call>{{SystemTools::launchctl, "bootout", gui, agents + file},
                                 {SystemTools::plistBuddy, "-c", "Print :Label", agents + file}};
    };
    std::vector<Call> expected = expectedPkillCalls();
    auto append = [&](std::vector<Call> calls) {
        expected.insert(expected.end(), calls.begin(), calls.end());
    };
    append(unload("ai.nuvra.tis-helper.plist"));
    append({{SystemTools::launchctl, "remove", "ai.nuvra.tis-helper"}});
    append(unload("ai.nuvra.agent.autostart.plist.bak"));
    append({{SystemTools::launchctl, "remove", "ai.nuvra.agent.autostart"}});
    append(unload("ai.nuvra.inputmethod.agent.plist"));
    append({{SystemTools::launchctl, "remove", "ai.nuvra.inputmethod.agent"}});
    append(unload("ai.nuvra.inputmethod.NuvraAgent.plist"));
    append({{SystemTools::launchctl, "remove", "ai.nuvra.inputmethod.NuvraAgent"}});
    append(unload("ai.nuvra.NuvraAgent.plist"));
    append({{SystemTools::launchctl, "remove", "ai.nuvra.NuvraAgent"}});
    append(unload("com.nuvra.agent.plist"));          // no Label key
    append(unload("com.nuvra.NuvraAgent.plist.bak")); // blank Label
    append(startAtLoginWrites());
    EXPECT_THAT(SimMac::calls(), ElementsAreArray(expected));
    for (const auto& agent : SimMac::state("agents")) {
        EXPECT_FALSE(agent.at(0) == gui && agent.at(1).starts_with("ai.nuvra."))
            << "still loaded: " << agent.at(1);
    }
}

TEST(StopProcesses, endsTheProductsProcessesAndSparesLookAlikes) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("full"));
    const std::string ownPath =
        "/Applications/nuvraUninstaller.app/Contents/MacOS/nuvraUninstaller";
    const pid_t own = startProgramAt(ownPath);
    const pid_t slow = startProductThatExitsSlowly("/tmp/slow/nuvra.app/Contents/MacOS/nuvra");

    const auto before = EngineSim::runningCommandLines();
    ASSERT_TRUE(anyRunning(before, "NuvraAgent.app/Contents/MacOS/NuvraAgent"));
    ASSERT_TRUE(anyRunning(before, "nuvraInput.app/Contents/MacOS/nuvraInput"));
    ASSERT_TRUE(anyRunning(before, "Nuvra Notes"));
    ASSERT_TRUE(anyRunning(before, "nuvractl"));

    UninstallEngine engine;
    engine.stopProcesses();

    const auto after = EngineSim::runningCommandLines();
    EXPECT_FALSE(anyRunning(after, "nuvra.app/Contents/MacOS/nuvra"));
    EXPECT_FALSE(anyRunning(after, "nuvraInput.app/Contents/MacOS/nuvraInput"));
    EXPECT_FALSE(anyRunning(after, "NuvraAgent.app/Contents/MacOS/NuvraAgent")) << "ignores TERM";
    EXPECT_TRUE(anyRunning(after, "Nuvra Notes.app/Contents/MacOS/Nuvra Notes"));
    EXPECT_TRUE(anyRunning(after, "nuvractl"));
    EXPECT_TRUE(anyRunning(after, ownPath));

    // The pause before SIGKILL is long enough for a product process to finish on its own.
    int slowStatus = 0;
    waitpid(slow, &slowStatus, 0);
    EXPECT_TRUE(WIFEXITED(slowStatus) && WEXITSTATUS(slowStatus) == 7)
        << "status " << slowStatus << ": killed before it could exit";

    kill(own, SIGKILL);
    waitpid(own, nullptr, 0);
}
