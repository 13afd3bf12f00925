// Application removal in a simulated Mac: the administrator dialog's outcomes, the window moves
// around it, and the user-level bundles deleted afterwards.
#include "Bundle.h"
#include "HomeFolder.h"
#include "SimWorld.h"
#include "engine/PrivilegedRunner.h"
#include "engine/UninstallEngine.h"
#include "engine/UninstallScript.h"
#include "engine/WindowHook.h"
#include "foundation/MainThread.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

using SimWorld::present;
using ::testing::ElementsAre;

namespace {

constexpr const char* waitingLine =
    "  Apps: waiting for the administrator password (no time limit)";

// Records the window moves and which main-thread entry each came through.
struct RecordingWindow : WindowHook::Hook, MainThread::Dispatcher {
    void makeRoomForSystemDialog() override { events.push_back("makeRoom"); }
    void recenterWindow() override { events.push_back("recenter"); }
    void runAndWait(const std::function<void()>& work) override {
        events.push_back("runAndWait");
        work();
    }
    void post(std::function<void()> work) override {
        events.push_back("post");
        work();
    }
    std::vector<std::string> events;
};

class AppRemovalTest : public ::testing::Test {
protected:
    void SetUp() override {
        NUVRA_REQUIRE_SIM();
        home = HomeFolder::homeDirectory();
        WindowHook::install(&window);
        MainThread::install(&window);
        Bundle::overrideMainBundlePathForTesting(SimWorld::assembleAppBundle("/opt/app"));
    }
    void TearDown() override {
        WindowHook::install(nullptr);
        MainThread::install(nullptr);
        Bundle::overrideMainBundlePathForTesting(std::nullopt);
    }

    void plantSystemLevel() {
        SimWorld::makeBundle("/Applications/nuvra.app");
        SimWorld::makeBundle("/Applications/NuvraAgent.app");
        SimWorld::makeBundle("/Library/Input Methods/nuvraInput.app");
        SimWorld::makeBundle("/Library/Input Methods/nuvraInput-old.app");
        SimWorld::makeFile("/tmp/nuvra/session/cache.bin");
    }
    void plantUserLevel() {
        SimWorld::makeBundle(home + "/Library/Input Methods/nuvraInput.app");
        SimWorld::makeBundle(home + "/Applications/nuvra.app");
        SimWorld::makeBundle(home + "/Applications/NuvraAgent.app");
    }
    std::vector<std::string> appsLog() { return SimWorld::sessionLogMessages("  Apps:"); }
    EngineError removeAppsExpectingError() {
        try {
            engine.removeApps(true);
        } catch (const EngineError& error) {
            return error;
        }
        ADD_FAILURE() << "removeApps did not throw";
        return EngineError::failed("");
    }

    std::string home;
    RecordingWindow window;
    UninstallEngine engine;
};

} // namespace

TEST_F(AppRemovalTest, WithoutAdminOnlyUserLevelBundlesGoAndNoDialogAppears) {
    plantSystemLevel();
    plantUserLevel();

    EXPECT_TRUE(engine.removeApps(false).empty());

    EXPECT_THAT(appsLog(),
                ElementsAre("  Apps: no system-level bundles found, skipping admin prompt",
                            "  Apps: user-level bundles removed — OK"));
    EXPECT_TRUE(SimMac::callsTo("/usr/bin/pkexec").empty());
    EXPECT_TRUE(window.events.empty());
    EXPECT_FALSE(present(home + "/Library/Input Methods/nuvraInput.app"));
    EXPECT_FALSE(present(home + "/Applications/nuvra.app"));
    EXPECT_FALSE(present(home + "/Applications/NuvraAgent.app"));
    EXPECT_TRUE(present("/Applications/nuvra.app")); // needs the dialog, which was not wanted

    // A home without an Input Methods folder at all: nothing to remove there, and no warning.
    std::filesystem::remove_all(home + "/Library/Input Methods");
    plantUserLevel();
    std::filesystem::remove_all(home + "/Library/Input Methods");
    EXPECT_TRUE(engine.removeApps(false).empty());
    EXPECT_FALSE(present(home + "/Applications/nuvra.app"));
}

TEST_F(AppRemovalTest, ApprovedDialogRemovesSystemLevelTracesButNoDecoys) {
    plantSystemLevel();
    plantUserLevel();
    SimWorld::makeBundle("/Applications/Notes.app");
    SimWorld::makeBundle("/Library/Input Methods/NuvraInput.app"); // another maker's capital N
    SimWorld::makeBundle("/Library/Input Methods/OtherInput.app");
    SimWorld::makeFile("/tmp/nuvra-other/keep");

    EXPECT_TRUE(engine.removeApps(true).empty());

    for (const char* gone : {"/Applications/nuvra.app", "/Applications/NuvraAgent.app",
                             "/Library/Input Methods/nuvraInput.app",
                             "/Library/Input Methods/nuvraInput-old.app", "/tmp/nuvra"}) {
        EXPECT_FALSE(present(gone)) << gone;
    }
    for (const char* kept : {"/Applications/Notes.app", "/Library/Input Methods/NuvraInput.app",
                             "/Library/Input Methods/OtherInput.app", "/tmp/nuvra-other/keep"}) {
        EXPECT_TRUE(present(kept)) << kept;
    }
    EXPECT_FALSE(present(home + "/Applications/nuvra.app"));
    EXPECT_THAT(appsLog(), ElementsAre(waitingLine, "  Apps: system-level bundles removed (admin)",
                                       "  Apps: user-level bundles removed — OK"));
    EXPECT_THAT(window.events, ElementsAre("runAndWait", "makeRoom", "post", "recenter"));
    // The script's own text goes to root inside the command: nothing is read from the bundle.
    const std::string script(uninstallScript);
    EXPECT_THAT(SimMac::callsTo("/usr/bin/osascript"),
                ElementsAre(ElementsAre("/usr/bin/osascript", "-e",
                                        PrivilegedRunner::scriptSource(script))));
    EXPECT_THAT(SimMac::callsTo("/usr/bin/pkexec"),
                ElementsAre(ElementsAre("/usr/bin/pkexec", "/bin/sh", "-c",
                                        "/bin/bash -c " + PrivilegedRunner::shellQuoted(script) +
                                            " uninstall.sh")));
}

TEST_F(AppRemovalTest, DismissedDialogStopsBeforeUserLevelAndStillRecentres) {
    plantSystemLevel();
    plantUserLevel();
    SimMac::setPkexec(SimMac::Pkexec::dismiss);

    EXPECT_EQ(removeAppsExpectingError().kind(), EngineError::Kind::adminCancelled);

    EXPECT_TRUE(present("/Applications/nuvra.app"));
    EXPECT_TRUE(present(home + "/Applications/nuvra.app"));
    EXPECT_THAT(appsLog(), ElementsAre(waitingLine));
    EXPECT_THAT(window.events, ElementsAre("runAndWait", "makeRoom", "post", "recenter"));
}

TEST_F(AppRemovalTest, RefusedOrMissingElevationIsAFailureWithItsMessage) {
    plantSystemLevel();
    SimMac::setPkexec(SimMac::Pkexec::fail);
    EXPECT_EQ(removeAppsExpectingError().sentence(),
              "Privileged removal failed: The administrator user name or password was "
              "incorrect.");

    std::filesystem::remove("/usr/bin/osascript");
    EXPECT_EQ(removeAppsExpectingError().sentence(),
              "Privileged removal failed: /usr/bin/osascript: No such file or directory.");
    EXPECT_TRUE(present("/Applications/nuvra.app"));
    EXPECT_EQ(std::count(window.events.begin(), window.events.end(), "recenter"), 2);
}

TEST_F(AppRemovalTest, ScriptThatCannotRemoveEverythingFailsTheStepWithItsMessage) {
    plantSystemLevel();
    plantUserLevel();
    SimWorld::pinDown("/Applications/nuvra.app/Contents");

    const EngineError error = removeAppsExpectingError();

    EXPECT_EQ(error.kind(), EngineError::Kind::failed);
    EXPECT_EQ(error.sentence(),
              "Privileged removal failed: Could not remove /Applications/nuvra.app.");
    // The script carries on past what it cannot remove.
    EXPECT_FALSE(present("/Applications/NuvraAgent.app"));
    EXPECT_FALSE(present("/tmp/nuvra"));
    EXPECT_TRUE(present(home + "/Applications/nuvra.app"));
    EXPECT_THAT(appsLog(), ElementsAre(waitingLine));
    EXPECT_THAT(window.events, ElementsAre("runAndWait", "makeRoom", "post", "recenter"));
}

TEST_F(AppRemovalTest, UndeletableUserBundlesGiveOneWarningEachInOrderAndStillLogOK) {
    plantUserLevel();
    SimWorld::makeBundle(home + "/Library/Input Methods/nuvraInput-beta.app");
    SimWorld::pinDown(home + "/Library/Input Methods/nuvraInput.app/Contents");
    SimWorld::pinDown(home + "/Applications/nuvra.app/Contents/MacOS");

    const auto warnings = engine.removeApps(false);

    EXPECT_THAT(warnings,
                ElementsAre("Could not remove " + home + "/Library/Input Methods/nuvraInput.app.",
                            "Could not remove " + home + "/Applications/nuvra.app."));
    EXPECT_FALSE(present(home + "/Library/Input Methods/nuvraInput-beta.app"));
    EXPECT_FALSE(present(home + "/Applications/NuvraAgent.app"));
    EXPECT_EQ(appsLog().back(), "  Apps: user-level bundles removed — OK");
}

// Whatever same-user code puts in the bundle while the dialog is open, root runs only the
// program's own script; and awkward script text reaches root's shell unchanged.
TEST_F(AppRemovalTest, RootRunsTheProgramsOwnScriptTextWhateverTheBundleHolds) {
    plantSystemLevel();
    const std::string planted = "/opt/app/nuvraUninstaller.app/Contents/Resources/uninstall.sh";
    SimWorld::makeFile(planted, "#!/bin/bash\ntouch /etc/owned\n");
    SimMac::setPkexec(SimMac::Pkexec::hold);
    std::thread attacker([&] {
        SimMac::untilPkexecShown();
        SimWorld::makeFile(planted, "#!/bin/bash\ntouch /etc/owned-later\n");
        SimMac::answerPkexec(SimMac::Pkexec::approve);
    });
    EXPECT_TRUE(engine.removeApps(true).empty());
    attacker.join();
    EXPECT_FALSE(present("/etc/owned"));
    EXPECT_FALSE(present("/etc/owned-later"));
    EXPECT_FALSE(present("/Applications/nuvra.app"));

    SimMac::setPkexec(SimMac::Pkexec::approve);
    const std::string awkward = R"(printf '%s|' "it's" "\"q\"" '\back' '$HOME' '`x`')";
    const auto run =
        SimMac::run({"/usr/bin/osascript", "-e", PrivilegedRunner::scriptSource(awkward)});
    EXPECT_EQ(run.output, "it's|\"q\"|\\back|$HOME|`x`|\n");
}

// The script on its own, as root: links are removed as links, never followed into what another
// user may have pointed them at.
TEST(UninstallScript, RemovesPlantedLinksAsLinksAndSucceedsOnAnEmptyMachine) {
    NUVRA_REQUIRE_SIM();
    namespace fs = std::filesystem;
    const std::vector<std::string> runScript{
        "/bin/bash",
        SimMac::insidePath(NUVRA_SOURCE_DIR "/nuvraUninstaller/resources/uninstall.sh")};
    const SimMac::RunResult onEmptyMachine = SimMac::run(runScript);
    EXPECT_EQ(onEmptyMachine.status, 0);
    EXPECT_EQ(onEmptyMachine.output, "");

    SimWorld::makeFile("/srv/precious/system.conf");
    SimWorld::makeBundle("/opt/Other.app");
    fs::create_directory_symlink("/srv/precious", "/tmp/nuvra");
    fs::create_directory_symlink("/opt/Other.app", "/Applications/nuvra.app");
    fs::create_directories("/Library/Input Methods/nuvraInput.app");
    fs::create_directory_symlink("/srv/precious", "/Library/Input Methods/nuvraInput.app/inner");

    EXPECT_EQ(SimMac::run(runScript).status, 0);

    EXPECT_FALSE(present("/tmp/nuvra"));
    EXPECT_FALSE(present("/Applications/nuvra.app"));
    EXPECT_FALSE(present("/Library/Input Methods/nuvraInput.app"));
    EXPECT_TRUE(present("/srv/precious/system.conf"));
    EXPECT_TRUE(present("/opt/Other.app/Contents/Info.plist"));

    // Only root's /tmp/nuvra is the script's: a user's stays, and one root cannot remove is a
    // warning on standard output, not a failure.
    SimWorld::makeFile("/tmp/nuvra/keep");
    ASSERT_EQ(SimMac::run({"/bin/chown", "-R", "501:20", "/tmp/nuvra"}).status, 0);
    EXPECT_EQ(SimMac::run(runScript).output, "");
    EXPECT_TRUE(present("/tmp/nuvra/keep"));
    fs::remove_all("/tmp/nuvra");
    SimWorld::makeFile("/tmp/nuvra/keep");
    SimWorld::pinDown("/tmp/nuvra");
    const SimMac::RunResult pinned = SimMac::run(runScript);
    EXPECT_EQ(pinned.status, 0);
    EXPECT_EQ(pinned.output, "Could not remove /tmp/nuvra.\n");
}

// The product's receipts go with its bundles, by their exact id prefix, and never before them:
// a receipt forgotten while its bundle stays would tell management tools it is gone.
TEST(UninstallScript, ForgetsTheProductsReceiptsOnceItsBundlesAreGoneAndKeepsEveryOther) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("full", false));
    const std::vector<std::string> runScript{
        "/bin/bash",
        SimMac::insidePath(NUVRA_SOURCE_DIR "/nuvraUninstaller/resources/uninstall.sh")};
    const auto receipts = [] { return SimMac::run({"/usr/sbin/pkgutil", "--pkgs"}).output; };
    const std::string others = "ai.nuvranotes.pkg\nai_nuvra_legacy.pkg\ncom.ai.nuvra.bridge.pkg\n"
                               "com.example.nuvranotes.pkg\nus.zoom.pkg.videomeeting\n";
    const std::string before = receipts();

    ASSERT_TRUE(SimMac::refuseRemoval("/Applications/nuvra.app"));
    EXPECT_EQ(SimMac::run(runScript).status, 1);
    EXPECT_EQ(receipts(), before);
    ASSERT_EQ(SimMac::run(
                  {SimMac::repoDir() + "/sim/refuse-removal", "--allow", "/Applications/nuvra.app"})
                  .status,
              0);

    SimMac::clearCalls();
    const SimMac::RunResult removed = SimMac::run(runScript);
    EXPECT_EQ(removed.status, 0);
    EXPECT_EQ(removed.output, "");
    EXPECT_EQ(receipts(), others);
    std::vector<SimMac::Call> forgotten;
    for (const SimMac::Call& call : SimMac::callsTo("/usr/sbin/pkgutil")) {
        if (call[1] == "--forget") {
            forgotten.push_back(call);
        }
    }
    EXPECT_THAT(
        forgotten,
        ElementsAre(ElementsAre("/usr/sbin/pkgutil", "--forget", "ai.nuvra.inputmethod.pkg"),
                    ElementsAre("/usr/sbin/pkgutil", "--forget", "ai.nuvra.macos.pkg")));

    // pkgutil claims to have forgotten a receipt it could not remove: the script looks again, and
    // what stays is a warning, as the product itself is gone.
    SimWorld::makeFile("/var/db/receipts/ai.nuvra.macos.pkg.plist");
    SimWorld::makeFile("/var/db/receipts/ai.nuvra.macos.pkg.bom");
    ASSERT_TRUE(SimMac::refuseRemoval("/var/db/receipts/ai.nuvra.macos.pkg.bom"));
    const SimMac::RunResult stuck = SimMac::run(runScript);
    EXPECT_EQ(stuck.status, 0);
    EXPECT_EQ(stuck.output, "Could not forget the installer receipt ai.nuvra.macos.pkg.\n");
}
