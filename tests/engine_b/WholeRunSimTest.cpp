// All seven steps, in order, on a Mac carrying the product's whole footprint next to look-alikes:
// afterwards the scan finds nothing and every look-alike is still there.
#include "Bundle.h"
#include "HomeFolder.h"
#include "SimWorld.h"
#include "discovery/InventoryScanner.h"
#include "engine/UninstallEngine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using SimWorld::present;

namespace {

std::vector<std::string> decoyPaths() {
    const std::string home = HomeFolder::homeDirectory();
    const std::string tmp = HomeFolder::temporaryDirectory();
    return {"/Applications/Nuvra Notes.app/Contents/Info.plist",
            "/Library/Input Methods/KanaPad.app/Contents/Info.plist",
            home + "/Applications/NuvraAgentTools.app/Contents/Info.plist",
            "/var/decoy/keep.txt",
            "/tmp/nuvra-notes/keep.txt",
            "/usr/local/bin/nuvractl",
            home + "/Documents/Keep/notes.txt",
            home + "/Documents/Keep/cache-target/blob.bin",
            home + "/Library/LaunchAgents/com.example.helper.plist",
            home + "/Library/LaunchAgents/ai.nuvra.tis-helper.plist.orig",
            home + "/Library/Preferences/com.example.nuvranotes.plist",
            home + "/Library/Preferences/ai.nuvra.inputmethod.NuvraInputExtras.plist",
            home + "/Library/Preferences/group.ai.nuvra.shared.backup.plist",
            home + "/Library/Group Containers/group.ai.nuvra.shared.backup/keep.txt",
            home + "/Library/Logs/nuvra-notes/app.log",
            home + "/Library/Application Support/nuvra2/keep.txt",
            home + "/Library/Caches/ai.nuvra.inputmethod.NuvraInput.helper/keep.txt",
            tmp + "Nuvrainstaller.tmp",
            tmp + "xnuvraInstaller",
            tmp + "nuvra-agent-notes/keep.txt"};
}

} // namespace

TEST(WholeRun, AllStepsLeaveNothingOfTheProductAndEveryLookAlike) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("full"));
    Bundle::overrideMainBundlePathForTesting(SimWorld::assembleAppBundle("/opt/app"));

    UninstallEngine engine;
    std::vector<std::string> warnings;
    auto collect = [&warnings](const std::vector<std::string>& step) {
        warnings.insert(warnings.end(), step.begin(), step.end());
    };
    collect(engine.stopProcesses());
    collect(engine.removeInputSourceState());
    collect(engine.removeApps(true));
    collect(engine.removeData());
    collect(engine.resetPermissions());
    collect(engine.refreshSystemUI());
    EXPECT_THAT(warnings, ::testing::IsEmpty());
    EXPECT_THAT(engine.verify(), ::testing::IsEmpty());
    EXPECT_EQ(InventoryScanner::scan().summaryText(), "Nothing found.");

    for (const std::string& path : decoyPaths()) {
        EXPECT_TRUE(present(path)) << path;
    }
    const std::string keychain = SimWorld::keychainDump();
    for (const char* account :
         {"com.nuvra.agent", "nuvra.auth.session", "jane@nuvranotes.example"}) {
        EXPECT_THAT(keychain, ::testing::HasSubstr(std::string("\"acct\"<blob>=\"") + account));
    }
    // The look-alike programs were left running.
    EXPECT_THAT(SimMac::run({"/bin/ps", "-eo", "args"}).output,
                ::testing::HasSubstr("Nuvra Notes"));
    EXPECT_THAT(SimMac::run({"/bin/ps", "-eo", "args"}).output,
                ::testing::HasSubstr("/usr/local/bin/nuvractl"));
    // The installed bundles' privacy records are gone: macOS resets them only while it still knows
    // the bundles. Other apps keep theirs, and so does a legacy identifier no bundle carries,
    // which no reset by identifier can reach.
    std::vector<std::string> clients;
    for (const auto& record : SimMac::state("tcc")) {
        clients.push_back(record.at(1));
    }
    EXPECT_THAT(clients, ::testing::UnorderedElementsAre("us.zoom.xos", "com.nuvra.agent",
                                                         "com.example.inputmethod.KanaPad"));
    EXPECT_THAT(SimWorld::sessionLogMessages(),
                ::testing::Contains("  Permissions: TCC records reset — OK"));
    Bundle::overrideMainBundlePathForTesting(std::nullopt);
}
