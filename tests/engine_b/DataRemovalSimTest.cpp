// Data removal, permissions reset and UI refresh in a simulated Mac: what goes, what stays, and
// the exact commands in their order.
#include "HomeFolder.h"
#include "SimWorld.h"
#include "engine/UninstallEngine.h"
#include "foundation/NuvraFootprint.h"
#include "foundation/SystemTools.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace fs = std::filesystem;
using SimMac::Call;
using SimWorld::present;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

std::string cacheFolder() {
    const char* dir = std::getenv("SIM_DARWIN_USER_DIR");
    return std::string(dir != nullptr ? dir : "/var/folders/mv/x") + "/C";
}

void addKeychainItem(const std::string& account, const std::string& service) {
    const std::string command = "/usr/bin/security add-generic-password -a '" + account + "' -s '" +
                                service + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

bool keychainHasAccount(const std::string& account) {
    return SimWorld::keychainDump().find("\"acct\"<blob>=\"" + account + "\"") != std::string::npos;
}

std::vector<Call> keychainDeletions() {
    std::vector<Call> deletions;
    for (const Call& call : SimMac::callsTo("/usr/bin/security")) {
        if (call.at(1) == "delete-generic-password") {
            deletions.push_back(call);
        }
    }
    return deletions;
}

const Call deletePending{"/usr/bin/security", "delete-generic-password", "-a",
                         "ai.nuvra.auth.pendingPKCE"};
const Call deleteSession{"/usr/bin/security", "delete-generic-password", "-a",
                         "ai.nuvra.auth.session"};

std::vector<std::string> dataPaths() {
    std::vector<std::string> paths;
    for (const auto& list :
         {NuvraFootprint::legacyLaunchAgentPlists(), NuvraFootprint::groupContainerDirs(),
          NuvraFootprint::preferencePlists(), NuvraFootprint::logDirs(),
          NuvraFootprint::libraryDataDirs()}) {
        paths.insert(paths.end(), list.begin(), list.end());
    }
    return paths;
}

std::vector<std::string> dataLog() {
    return SimWorld::sessionLogMessages("  Data:");
}

// The commands a data removal runs besides the Keychain deletions.
std::vector<Call> toolCallsExceptKeychain() {
    std::vector<Call> result;
    for (Call& call : SimMac::calls()) {
        if (call.front() == "/usr/bin/defaults" || call.front() == "/usr/bin/getconf" ||
            call.front() == "/usr/bin/killall") {
            result.push_back(std::move(call));
        }
    }
    return result;
}

} // namespace

TEST(DataRemoval, RemovesTheWholeFootprintAndNothingElse) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("full", false));
    const std::string home = HomeFolder::homeDirectory();
    const std::string tmp = HomeFolder::temporaryDirectory();

    UninstallEngine engine;
    EXPECT_TRUE(engine.removeData().empty());

    for (const std::string& path : dataPaths()) {
        EXPECT_FALSE(present(path)) << path;
    }
    for (const std::string& path :
         {tmp + "nuvra-agent-sourcectl-Xq3v9a", tmp + "nuvraInstaller.5fGh2k",
          tmp + "nuvraInstaller-2.4.1.log", cacheFolder() + "/com.apple.IntlDataCache.le",
          cacheFolder() + "/com.apple.IntlDataCache.le.kbdx"}) {
        EXPECT_FALSE(present(path)) << path;
    }
    // Look-alikes, and what the links inside the product's folders point at.
    for (const std::string& path :
         {home + "/Documents/Keep/notes.txt", home + "/Documents/Keep/cache-target/blob.bin",
          home + "/Library/LaunchAgents/ai.nuvra.tis-helper.plist.orig",
          home + "/Library/Preferences/ai.nuvra.inputmethod.NuvraInputExtras.plist",
          home + "/Library/Preferences/group.ai.nuvra.shared.backup.plist",
          home + "/Library/Group Containers/group.ai.nuvra.shared.backup/keep.txt",
          home + "/Library/Logs/nuvra-notes/app.log",
          home + "/Library/Application Support/nuvra2/keep.txt",
          home + "/Library/Caches/ai.nuvra.inputmethod.NuvraInput.helper/keep.txt",
          tmp + "Nuvrainstaller.tmp", tmp + "xnuvraInstaller", tmp + "nuvra-agent-notes/keep.txt",
          cacheFolder() + "/com.apple.IntlDataCache.le.sbdx"}) {
        EXPECT_TRUE(present(path)) << path;
    }
    for (const char* account :
         {"ai.nuvra.auth.session", "ai.nuvra.auth.pendingPKCE", "ai.nuvra.sync.token"}) {
        EXPECT_FALSE(keychainHasAccount(account)) << account;
    }
    for (const char* account :
         {"com.nuvra.agent", "nuvra.auth.session", "jane@nuvranotes.example"}) {
        EXPECT_TRUE(keychainHasAccount(account)) << account;
    }
    EXPECT_THAT(dataLog(), ElementsAre("  Data: removed Keychain item ai.nuvra.auth.pendingPKCE",
                                       "  Data: removed Keychain item ai.nuvra.auth.session",
                                       "  Data: removed Keychain item ai.nuvra.sync.token",
                                       "  Data: settings and data removed — OK"));
    EXPECT_THAT(
        toolCallsExceptKeychain(),
        ElementsAre(ElementsAre("/usr/bin/defaults", "delete", "group.ai.nuvra.macos.shared"),
                    ElementsAre("/usr/bin/defaults", "delete", "group.ai.nuvra.shared"),
                    ElementsAre("/usr/bin/defaults", "delete", "ai.nuvra.inputmethod.NuvraAgent"),
                    ElementsAre("/usr/bin/defaults", "delete", "ai.nuvra.inputmethod.NuvraInput"),
                    ElementsAre("/usr/bin/getconf", "DARWIN_USER_CACHE_DIR"),
                    ElementsAre("/usr/bin/killall", "cfprefsd")));
}

TEST(DataRemoval, RepeatsKeychainDeletionUntilNoneLeftAndTriesKnownAccountsOnce) {
    NUVRA_REQUIRE_SIM();
    for (const char* service : {"nuvra", "nuvra-2", "nuvra-3"}) {
        addKeychainItem("ai.nuvra.auth.session", service);
    }

    UninstallEngine engine;
    EXPECT_TRUE(engine.removeData().empty());

    // Sorted accounts; the absent one is tried once, the present one until a run finds nothing.
    EXPECT_THAT(keychainDeletions(), ElementsAre(deletePending, deleteSession, deleteSession,
                                                 deleteSession, deleteSession));
    EXPECT_FALSE(keychainHasAccount("ai.nuvra.auth.session"));
    EXPECT_THAT(dataLog(), ElementsAre("  Data: removed Keychain item ai.nuvra.auth.session",
                                       "  Data: settings and data removed — OK"));
}

// A tool that keeps reporting success cannot keep the step going: one run per item the Keychain
// listed for the account, and one more.
TEST(DataRemoval, KeychainDeletionsEndWhateverTheToolAnswers) {
    NUVRA_REQUIRE_SIM();
    addKeychainItem("ai.nuvra.auth.session", "nuvra");
    addKeychainItem("ai.nuvra.auth.session", "nuvra-2");
    SimMac::ReplacedTool alwaysDeleting("/usr/bin/security",
                                        "#!/bin/bash\n. /usr/libexec/sim/tools/calllog.sh\n"
                                        "sim_log_call \"$@\"\n"
                                        "[ \"$1\" = delete-generic-password ] && exit 0\n"
                                        "exec /usr/bin/security.real \"$@\"\n");

    UninstallEngine engine;
    EXPECT_TRUE(engine.removeData().empty());
    EXPECT_THAT(keychainDeletions(),
                ElementsAre(deletePending, deleteSession, deleteSession, deleteSession));
}

// A locked Keychain (its user logged out, nobody there to unlock it) keeps its items: each account
// is a warning naming it, tried once, the step ends "WARN" and the verification lists what is
// left.
TEST(DataRemoval, ALockedKeychainIsAWarningPerItemAndVerificationListsIt) {
    NUVRA_REQUIRE_SIM();
    addKeychainItem("ai.nuvra.auth.session", "nuvra");
    addKeychainItem("ai.nuvra.auth.session", "nuvra-2");
    addKeychainItem("ai.nuvra.sync.token", "ai.nuvra.sync");
    SimMac::lockLoginKeychain(SimMac::home());

    UninstallEngine engine;
    const std::string locked = ". The Keychain is locked; it can be removed once its user is "
                               "logged in.";
    EXPECT_THAT(engine.removeData(),
                ElementsAre("Could not remove the Keychain item ai.nuvra.auth.session" + locked,
                            "Could not remove the Keychain item ai.nuvra.sync.token" + locked));

    const Call deleteToken{"/usr/bin/security", "delete-generic-password", "-a",
                           "ai.nuvra.sync.token"};
    EXPECT_THAT(keychainDeletions(), ElementsAre(deletePending, deleteSession, deleteToken));
    EXPECT_THAT(dataLog(), ElementsAre("  Data: settings and data removed — WARN"));
    EXPECT_THAT(engine.verify(), ElementsAre("Sign-in data (Keychain) (2 items)"));
}

TEST(DataRemoval, ProtectedFolderGivesOneWarningWhileLaterStepsRun) {
    NUVRA_REQUIRE_SIM();
    const std::string home = HomeFolder::homeDirectory();
    const std::string logs = home + "/Library/Logs/nuvra";
    SimWorld::makeFile(logs + "/old/locked.log");
    SimWorld::makeFile(logs + "/today.log");
    SimWorld::pinDown(logs + "/old");
    SimWorld::makeFile(home + "/Library/Application Support/nuvra/state.json");
    SimWorld::makeFile(cacheFolder() + "/com.apple.IntlDataCache.le");

    UninstallEngine engine;
    EXPECT_THAT(engine.removeData(), ElementsAre("Could not remove " + logs + "."));

    EXPECT_FALSE(present(logs + "/today.log"));
    EXPECT_FALSE(present(home + "/Library/Application Support/nuvra"));
    EXPECT_FALSE(present(cacheFolder() + "/com.apple.IntlDataCache.le"));
    EXPECT_EQ(SimMac::callsTo("/usr/bin/killall").size(), 1u);
    EXPECT_EQ(dataLog().back(), "  Data: settings and data removed — WARN");
}

// macOS refusing a removal (App Management, App Data) is told with what to allow (the command's
// words for administrators are checked with the command); the folder stays whole.
TEST(DataRemoval, ARefusedRemovalSaysWhatToAllow) {
    NUVRA_REQUIRE_SIM();
    const std::string logs = HomeFolder::homeDirectory() + "/Library/Logs/nuvra";
    SimWorld::makeFile(logs + "/today.log");
    ASSERT_TRUE(SimMac::refuseRemoval(logs));

    UninstallEngine engine;
    EXPECT_THAT(engine.removeData(),
                ElementsAre("Could not remove " + logs +
                            ". macOS did not allow it. Allow nuvraUninstaller in System Settings "
                            "\u2192 Privacy & Security \u2192 Full Disk Access, then uninstall "
                            "again."));
    EXPECT_TRUE(present(logs + "/today.log"));
}

// getconf ends its answer with a slash and a line break; the cache paths must not double it.
TEST(DataRemoval, CachePathsHaveOneSlashAfterTheCacheFolder) {
    NUVRA_REQUIRE_SIM();
    const std::string cache = cacheFolder() + "/com.apple.IntlDataCache.le.kbdx";
    SimWorld::makeFile(cache);
    SimWorld::pinDown(cache);

    UninstallEngine engine;
    EXPECT_THAT(engine.removeData(), ElementsAre("Could not remove " + cache + "."));
}

TEST(PermissionsReset, ResetsFourServicesForFourIdentifiersServiceByService) {
    NUVRA_REQUIRE_SIM();
    UninstallEngine engine;
    EXPECT_TRUE(engine.resetPermissions().empty());

    std::vector<Call> expected;
    for (const char* service : {"Microphone", "Accessibility", "ListenEvent", "PostEvent"}) {
        for (const char* id : {"ai.nuvra.inputmethod.NuvraAgent", "ai.nuvra.inputmethod.NuvraInput",
                               "com.nuvra.agent", "com.nuvra.NuvraAgent"}) {
            expected.push_back({"/usr/bin/tccutil", "reset", service, id});
        }
    }
    EXPECT_THAT(SimMac::callsTo("/usr/bin/tccutil"), ElementsAreArray(expected));
    EXPECT_EQ(SimWorld::sessionLogMessages().back(), "  Permissions: TCC records reset — OK");
}

// The records are reset by the input-source step, before it unregisters anything; the
// permissions step reports that outcome. An installed bundle whose reset fails is a warning; the
// legacy identifiers no installed bundle carries are refused by macOS and passed over. Both
// installed bundles fail here (the agent everywhere, the input method for one service): each is
// named once.
TEST(PermissionsReset, ResetEarlyInTheRunAndAFailureForAnInstalledBundleIsAWarning) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("full", false));
    SimMac::ReplacedTool failingForAgent(
        "/usr/bin/tccutil",
        "#!/bin/sh\ncase \"$2 $3\" in\n"
        "  *' ai.nuvra.inputmethod.NuvraAgent' | 'Accessibility ai.nuvra.inputmethod.NuvraInput') "
        "exit 1 ;;\nesac\nexec /usr/bin/tccutil.real \"$@\"\n");
    UninstallEngine engine;
    engine.removeInputSourceState();
    for (const auto& record : SimMac::state("tcc")) {
        if (record.at(1) == "ai.nuvra.inputmethod.NuvraInput") {
            EXPECT_EQ(record.at(0), "kTCCServiceAccessibility");
        }
    }
    SimMac::clearCalls();

    EXPECT_THAT(engine.resetPermissions(),
                ElementsAre("Could not reset the privacy permissions of "
                            "ai.nuvra.inputmethod.NuvraAgent.",
                            "Could not reset the privacy permissions of "
                            "ai.nuvra.inputmethod.NuvraInput."));
    EXPECT_THAT(SimMac::callsTo(failingForAgent.realPath()), ::testing::IsEmpty());
    EXPECT_EQ(SimWorld::sessionLogMessages().back(), "  Permissions: TCC records reset — WARN");
}

// macOS finds an identifier only through LaunchServices, which need not know a bundle on disk
// (copied in, never opened): the installed bundles are registered before the resets, so their
// grants really go, and unregistered again by the same step. A link at a bundle's place is not
// registered, since that would register whatever it points at.
TEST(PermissionsReset, InstalledButUnregisteredBundlesAreRegisteredSoTheirGrantsGo) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("full", false));
    const std::string home = SimMac::home();
    const std::string systemIme = "/Library/Input Methods/nuvraInput.app";
    const std::string userIme = home + "/Library/Input Methods/nuvraInput.app";
    const std::string lsregister = SystemTools::lsregister;
    for (const std::string& bundle : {systemIme, userIme}) {
        ASSERT_EQ(SimMac::run({lsregister, "-u", bundle}).status, 0);
    }
    const std::string userAgent = home + "/Applications/NuvraAgent.app";
    fs::remove_all(userAgent);
    fs::create_directory_symlink("/Applications/Nuvra Notes.app", userAgent);
    SimMac::clearCalls();

    UninstallEngine engine;
    engine.removeInputSourceState();
    EXPECT_THAT(engine.resetPermissions(), ::testing::IsEmpty());

    for (const auto& record : SimMac::state("tcc")) {
        EXPECT_EQ(record.at(1).find("ai.nuvra."), std::string::npos) << record.at(1);
    }
    std::vector<Call> registrations;
    for (const Call& call : SimMac::calls()) {
        if (call.front() == "/usr/bin/tccutil") {
            break;
        }
        if (call.front() == lsregister) {
            registrations.push_back(call);
        }
    }
    EXPECT_THAT(registrations,
                ElementsAre(Call{lsregister, "-f", systemIme}, Call{lsregister, "-f", userIme},
                            Call{lsregister, "-f", "/Applications/NuvraAgent.app"}));
    for (const auto& record : SimMac::state("ls")) {
        EXPECT_NE(record.at(0), systemIme);
        EXPECT_NE(record.at(0), userIme);
    }
}

TEST(RefreshSystemUI, KillsInputServicesOutrightThenAsksTheMenuBarToRestart) {
    NUVRA_REQUIRE_SIM();
    UninstallEngine engine;
    EXPECT_TRUE(engine.refreshSystemUI().empty());

    EXPECT_THAT(SimMac::callsTo("/usr/bin/killall"),
                ElementsAre(ElementsAre("/usr/bin/killall", "-9", "TextInputMenuAgent"),
                            ElementsAre("/usr/bin/killall", "-9", "TextInputSwitcher"),
                            ElementsAre("/usr/bin/killall", "-9", "pboard"),
                            ElementsAre("/usr/bin/killall", "SystemUIServer")));
    EXPECT_EQ(SimWorld::sessionLogMessages().back(), "  Refresh: input UI services restarted — OK");
}
