#include "ExpectedFootprint.h"
#include "FileBackedInputSources.h"
#include "PlistValue.h"
#include "SimMac.h"
#include "TextInputSources.h"
#include "discovery/InventoryScanner.h"
#include "foundation/Deadlines.h"
#include "foundation/MainThread.h"
#include "foundation/Shell.h"
#include "foundation/UninstallerLog.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using Category = InventoryItem::Category;
using Paths = std::vector<std::string>;

void touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path).put('x');
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const InventoryItem tccItem{
    "tcc", Category::permissions, "Microphone and Accessibility records", "Will be reset", false,
    true};

class InventoryScannerSim : public ::testing::Test {
protected:
    void SetUp() override { NUVRA_REQUIRE_SIM(); }

    const std::string home = SimMac::home();
    const std::string temporary = SimMac::temporaryDirectory();
};

TEST_F(InventoryScannerSim, CleanMacYieldsNothingAndLogsIt) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    const UninstallInventory inventory = InventoryScanner::scan();
    EXPECT_TRUE(inventory.items.empty());
    EXPECT_NE(readFile(UninstallerLog::logFile()).find("] Preflight scan:\nNothing found.\n"),
              std::string::npos);
}

TEST_F(InventoryScannerSim, MainApplicationAloneAddsTheInformationalPermissionsItem) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    fs::create_directories("/Applications/nuvra.app/Contents");
    const UninstallInventory inventory = InventoryScanner::scan();
    const std::vector<InventoryItem> expected{
        {"Apps:/Applications/nuvra.app", Category::apps, "nuvra.app", "/Applications", true, false},
        tccItem};
    EXPECT_EQ(inventory.items, expected);
}

TEST_F(InventoryScannerSim, FullFootprintGivesTheCompleteSummary) {
    ASSERT_TRUE(SimMac::plantScene("full", false));
    const UninstallInventory inventory = InventoryScanner::scan();
    EXPECT_EQ(inventory.summaryText(), fullSceneSummary);

    // Item keys carry the paths that the removal steps act on.
    ASSERT_GE(inventory.items.size(), 7u);
    EXPECT_EQ(inventory.items[1].id, "Apps:" + home + "/Applications/nuvra.app");
    EXPECT_EQ(inventory.items[6].id, "ime:" + home + "/Library/Input Methods/nuvraInput.app");

    // The scan only reads: the one Keychain call, the one export and the one list of receipts.
    EXPECT_EQ(SimMac::callsTo("/usr/bin/security"),
              (std::vector<SimMac::Call>{{"/usr/bin/security", "dump-keychain"}}));
    EXPECT_EQ(
        SimMac::callsTo("/usr/bin/defaults"),
        (std::vector<SimMac::Call>{{"/usr/bin/defaults", "export", "com.apple.HIToolbox", "-"}}));
    EXPECT_EQ(SimMac::callsTo("/usr/sbin/pkgutil"),
              (std::vector<SimMac::Call>{{"/usr/sbin/pkgutil", "--pkgs"}}));
    EXPECT_EQ(SimMac::calls().size(), 3u);
}

TEST_F(InventoryScannerSim, InputMethodBundlesAreFoundByListingWithTheExactPrefix) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    const std::string folder = home + "/Library/Input Methods";
    for (const char* name : {"nuvraInput-old.app", "NuvraInput.app", "nuvraInput.app",
                             "nuvraInput.app.zip", "nuvraInputHelper", "KanaPad.app"}) {
        fs::create_directories(folder + "/" + name);
    }
    // Listing order, not sorted order: compare with what the folder itself lists.
    Paths listed;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename();
        if (name == "nuvraInput.app" || name == "nuvraInput-old.app") {
            listed.push_back(folder + "/" + name);
        }
    }
    EXPECT_EQ(InventoryScanner::imeBundles(folder), listed);
    EXPECT_EQ(InventoryScanner::imeBundles(home + "/Library/No Such Folder"), Paths{});

    const UninstallInventory inventory = InventoryScanner::scan();
    ASSERT_EQ(inventory.items.size(), 3u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(inventory.items[i].id, "ime:" + listed[i]);
        EXPECT_EQ(inventory.items[i].title, fs::path(listed[i]).filename());
        EXPECT_EQ(inventory.items[i].detail, "~/Library/Input Methods");
        EXPECT_FALSE(inventory.items[i].requiresAdmin);
    }
}

TEST_F(InventoryScannerSim, KeychainAccountsAreTheProductsDistinctSorted) {
    ASSERT_TRUE(SimMac::plantScene("full", false));
    EXPECT_EQ(InventoryScanner::keychainNuvraAccounts(),
              (Paths{"ai.nuvra.auth.pendingPKCE", "ai.nuvra.auth.session", "ai.nuvra.sync.token"}));
}

// Receipts are the product's by the exact id prefix only; a list the tool did not give whole is
// never taken for "none".
TEST_F(InventoryScannerSim, InstallerReceiptsAreTheProductsAndAnUnansweredListIsNotClean) {
    // A receipt outliving everything else is still a trace, and one only root can remove.
    ASSERT_TRUE(SimMac::plantScene("clean"));
    touch("/var/db/receipts/ai.nuvra.macos.pkg.plist");
    const InventoryItem onePackage{"receipts",  Category::apps, "Installer receipts",
                                   "1 package", true,           false};
    EXPECT_EQ(InventoryScanner::scan().items, (std::vector<InventoryItem>{onePackage, tccItem}));

    using namespace std::chrono_literals;
    Deadlines::shortenForTesting({1s, 2s, 3s, 2s});
    InventoryItem notChecked = onePackage;
    notChecked.detail = "could not be checked";
    for (const char* misbehaving : {"echo ai.nuvra.macos.pkg; exit 1", "exec /bin/sleep 600"}) {
        SimMac::ReplacedTool pkgutil("/usr/sbin/pkgutil",
                                     std::string("#!/bin/bash\n") + misbehaving + "\n");
        EXPECT_EQ(InventoryScanner::scanSystemWide().receipts, notChecked) << misbehaving;
    }
    EXPECT_EQ(Shell::takeMissedDeadlines(),
              std::vector<std::string>{"pkgutil did not answer within 1 s and was stopped."});

    ASSERT_TRUE(SimMac::plantScene("full", false));
    EXPECT_EQ(InventoryScanner::productReceipts(),
              (Paths{"ai.nuvra.inputmethod.pkg", "ai.nuvra.macos.pkg"}));
}

TEST_F(InventoryScannerSim, KeyboardSettingsAndRegistrations) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    // One of each is counted in the singular: an input method without input modes registers one
    // source, and the keyboard settings mention the product once.
    const std::string bundle = home + "/Library/Input Methods/nuvraInput.app";
    fs::create_directories(bundle + "/Contents");
    std::ofstream(bundle + "/Contents/Info.plist") << *plist::toXml(
        plist::Dictionary{{"CFBundleIdentifier", std::string("ai.nuvra.inputmethod.NuvraInput")}});
    std::ofstream(home + "/Library/Preferences/com.apple.HIToolbox.plist") << *plist::toBinary(
        plist::Dictionary{{"AppleEnabledInputSources",
                           plist::Array{plist::Dictionary{
                               {"Bundle ID", std::string("ai.nuvra.inputmethod.NuvraInput")},
                               {"InputSourceKind", std::string("Non Keyboard Input Method")}}}}});
    std::vector<std::string> details;
    for (const InventoryItem& item : InventoryScanner::scan().items) {
        if (item.id == "tis" || item.id == "hitoolbox") {
            details.push_back(item.detail);
        }
    }
    EXPECT_EQ(details, (Paths{"1 source", "1 entry"}));

    ASSERT_TRUE(SimMac::plantScene("full", false));
    EXPECT_EQ(InventoryScanner::hiToolboxNuvraEntryCount(), 6);

    // The source count goes through the installed dispatcher to the main thread only when the
    // input-source service needs that: the file-backed stand-in does not, a test's fake does.
    struct CountingDispatcher : MainThread::Dispatcher {
        int runs = 0;
        void runAndWait(const std::function<void()>& work) override {
            ++runs;
            work();
        }
        void post(std::function<void()> work) override { work(); }
    } dispatcher;
    MainThread::install(&dispatcher);
    EXPECT_EQ(InventoryScanner::registeredNuvraSourceCount(), 2);
    EXPECT_EQ(dispatcher.runs, 0);
    FileBackedInputSources fake(FileBackedInputSources::defaultLocations());
    TextInputSourcesService::overrideForTesting(&fake);
    EXPECT_EQ(InventoryScanner::registeredNuvraSourceCount(), 2);
    TextInputSourcesService::overrideForTesting(nullptr);
    MainThread::install(nullptr);
    EXPECT_EQ(dispatcher.runs, 1);

    // No keyboard-settings domain at all: nothing, and no error.
    fs::remove(home + "/Library/Preferences/com.apple.HIToolbox.plist");
    EXPECT_EQ(InventoryScanner::hiToolboxNuvraEntryCount(), 0);

    // A settings file the tool cannot read may hold anything: never reported clean.
    std::ofstream(home + "/Library/Preferences/com.apple.HIToolbox.plist") << "<?xml version=";
    const InventoryItem notChecked{"hitoolbox",
                                   Category::inputMethod,
                                   "Keyboard settings entries",
                                   "could not be checked",
                                   false,
                                   false};
    const auto items = InventoryScanner::scan().items;
    EXPECT_NE(std::find(items.begin(), items.end(), notChecked), items.end());
}

TEST_F(InventoryScannerSim, DataCountsExistingPathsAndTemporaryRemnants) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    fs::create_directories(home + "/Library/Logs/nuvra");
    // A dangling link does not exist for the file manager either.
    fs::create_directories(home + "/Library/Caches");
    fs::create_symlink("/nowhere", home + "/Library/Caches/ai.nuvra.inputmethod.NuvraInput");
    // /tmp/nuvra has its own row and never counts as data.
    fs::create_directories("/tmp/nuvra");

    const InventoryItem data1{"data",   Category::data, "Settings and app data",
                              "1 item", false,          false};
    const InventoryItem tmp{"tmp:/tmp/nuvra", Category::data, "Temporary files",
                            "/tmp/nuvra",     true,           false};
    EXPECT_EQ(InventoryScanner::scan().items, (std::vector<InventoryItem>{data1, tmp, tccItem}));

    touch(temporary + "nuvraInstaller.pkg");
    EXPECT_EQ(InventoryScanner::existingDataPaths(),
              (Paths{home + "/Library/Logs/nuvra", temporary + "nuvraInstaller.pkg"}));
    EXPECT_EQ(InventoryScanner::scan().items.front().detail, "2 items");
}

TEST_F(InventoryScannerSim, TemporaryRemnantsSkipOurOwnStagedTool) {
    ASSERT_TRUE(SimMac::plantScene("clean"));
    touch(temporary + "nuvra-uninstaller-sourcectl/sourcectl");
    touch(temporary + "nuvra-agent-sourcectl-AbC123/sourcectl");
    touch(temporary + "Nuvrainstaller.tmp");
    touch(temporary + "xnuvraInstaller");
    touch(temporary + "nuvra-agent-notes/keep.txt");
    EXPECT_EQ(InventoryScanner::tempRemnants(), Paths{temporary + "nuvra-agent-sourcectl-AbC123"});
}

} // namespace
