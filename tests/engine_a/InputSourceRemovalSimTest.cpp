#include "EngineSimHelpers.h"
#include "SimMac.h"
#include "TextInputSources.h"
#include "engine/UninstallEngine.h"
#include "foundation/HIToolboxStore.h"
#include "foundation/SystemTools.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using Call = SimMac::Call;
using testing::ElementsAre;
using testing::UnorderedElementsAre;

namespace {

constexpr const char* ownBundle = "/Applications/nuvraUninstaller.app";
constexpr const char* toolRecord = "/tmp/sourcectl-calls";
constexpr const char* switchLine = "  Input method: switched active source to ABC";
constexpr const char* okLine = "  Input method: TIS + LaunchServices cleanup — OK";

std::string stagedPath() {
    return SimMac::temporaryDirectory() + "nuvra-uninstaller-sourcectl/sourcectl";
}

void useRecordingTool() {
    const std::string script = EngineSim::recordingSourcectl(toolRecord);
    EngineSim::useBundle(ownBundle, &script);
}

plist::Dictionary layout(const char* id) {
    return {{"InputSourceKind", "Keyboard Layout"},
            {"KeyboardLayout ID", -31000},
            {"KeyboardLayout Name", id}};
}
plist::Dictionary method(const char* bundleID) {
    return {{"Bundle ID", bundleID}, {"InputSourceKind", "Keyboard Input Method"}};
}
const char* productID = "ai.nuvra.inputmethod.NuvraInput";

// Position of `call` in `calls`, or the size when it is not there.
std::size_t indexOf(const std::vector<Call>& calls, const Call& call) {
    return static_cast<std::size_t>(std::find(calls.begin(), calls.end(), call) - calls.begin());
}

std::string currentSourceID() {
    TextInputSources& sources = TextInputSourcesService::shared();
    const auto current = sources.TISCopyCurrentKeyboardInputSource();
    if (!current) {
        return {};
    }
    const auto id =
        sources.TISGetInputSourceProperty(current, TISPropertyKey::kTISPropertyInputSourceID);
    const auto* text = std::get_if<std::string>(&id);
    return text ? *text : std::string();
}

} // namespace

TEST(InputSourceRemoval, withTheProductTypingItSwitchesToABCAndTakesTheProductOut) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("full", false));
    const std::string tool = EngineSim::readFile(SimMac::insidePath(NUVRA_SOURCECTL_BINARY));
    EngineSim::useBundle(ownBundle, &tool);
    ASSERT_NE(currentSourceID().find("nuvra"), std::string::npos) << currentSourceID();

    const std::size_t logStart = EngineSim::logSize();
    UninstallEngine engine;
    EXPECT_THAT(engine.removeInputSourceState(), ElementsAre());

    const auto log = EngineSim::logMessages(logStart);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), switchLine);
    EXPECT_EQ(log.back(), okLine);
    EXPECT_EQ(currentSourceID(), "com.apple.keylayout.ABC");

    EXPECT_EQ(engine.stagedSourcectlPath(), stagedPath());
    struct stat info {};
    ASSERT_EQ(stat(stagedPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);

    const auto settings = HIToolboxStore::read();
    ASSERT_TRUE(settings.has_value());
    for (const char* key : {"AppleEnabledInputSources", "AppleSelectedInputSources",
                            "AppleInputSourceHistory", "AppleDisabledInputSources"}) {
        if (settings->count(key) != 0) {
            EXPECT_EQ(plist::describe(settings->at(key)).find("nuvra"), std::string::npos) << key;
        }
    }
    EXPECT_THAT(SimMac::callsTo(SystemTools::killall),
                ElementsAre(Call{SystemTools::killall, "cfprefsd"}));

    // Every registration of the input method is gone; look-alikes stay registered.
    std::vector<std::string> registered;
    for (const auto& record : SimMac::state("ls")) {
        registered.push_back(record.at(0));
    }
    for (const std::string& path : registered) {
        EXPECT_EQ(path.find("nuvraInput.app"), std::string::npos) << path;
    }
    EXPECT_TRUE(EngineSim::contains(registered, "/Applications/Nuvra Notes.app"));
    EXPECT_TRUE(EngineSim::contains(registered, "/Library/Input Methods/KanaPad.app"));
}

// The look-up is loose on purpose: another maker's source with "Nuvra" in its id is switched away
// from too, before anything of the product is removed.
TEST(InputSourceRemoval, anotherMakersSourceNamedNuvraIsAlsoSwitchedToABC) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    useRecordingTool();
    const std::string otherID = "com.example.inputmethod.NuvraKeys";
    const std::string bundle = SimMac::home() + "/Library/Input Methods/NuvraKeys.app";
    EngineSim::writeFile(bundle + "/Contents/Info.plist",
                         *plist::toXml(plist::Dictionary{{"CFBundleIdentifier", otherID}}));
    TextInputSources& sources = TextInputSourcesService::shared();
    const auto other =
        sources.TISCreateInputSourceList(TISPropertyKey::kTISPropertyInputSourceID, otherID, true);
    ASSERT_TRUE(other && !other->empty());
    sources.TISSelectInputSource(other->front());
    ASSERT_EQ(currentSourceID(), otherID);

    UninstallEngine engine;
    engine.removeInputSourceState();
    EXPECT_EQ(EngineSim::logMessages().front(), switchLine);
    EXPECT_EQ(currentSourceID(), "com.apple.keylayout.ABC");
}

TEST(InputSourceRemoval, removesTheProductsEntriesUnderAllFourKeysAndNothingElse) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    useRecordingTool();
    const plist::Dictionary nested{
        {"InputSourceKind", "Keyboard Input Method"},
        {"Bundle ID", "com.apple.inputmethod.Kotoeri"},
        {"Paired", plist::Array{plist::Dictionary{{"Input Mode", "AI.NUVRA.x.default"}}}}};
    EngineSim::setKeyboardSettings(
        {{"AppleEnabledInputSources",
          plist::Array{layout("ABC"), method(productID), method("com.example.KanaPad")}},
         {"AppleSelectedInputSources", plist::Array{layout("ABC"), method(productID)}},
         {"AppleInputSourceHistory", plist::Array{method(productID), layout("ABC")}},
         {"AppleDisabledInputSources", plist::Array{nested}},
         {"AppleInputSourceUsage", plist::Array{method(productID)}}, // not one of the four
         {"AppleCurrentKeyboardLayoutInputSourceID", "ai.nuvra.inputmethod.NuvraInput"}});

    UninstallEngine engine;
    EXPECT_THAT(engine.removeInputSourceState(), ElementsAre());

    EXPECT_TRUE(EngineSim::contains(EngineSim::logMessages(),
                                    "  Input method: keyboard settings entries removed — 4"));
    const auto settings = HIToolboxStore::read();
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->at("AppleEnabledInputSources"),
              plist::Value(plist::Array{layout("ABC"), method("com.example.KanaPad")}));
    EXPECT_EQ(settings->at("AppleSelectedInputSources"), plist::Value(plist::Array{layout("ABC")}));
    EXPECT_EQ(settings->at("AppleInputSourceHistory"), plist::Value(plist::Array{layout("ABC")}));
    EXPECT_EQ(settings->at("AppleDisabledInputSources"), plist::Value(plist::Array{}));
    EXPECT_EQ(settings->at("AppleInputSourceUsage"), plist::Value(plist::Array{method(productID)}));
    EXPECT_EQ(settings->at("AppleCurrentKeyboardLayoutInputSourceID"),
              plist::Value("ai.nuvra.inputmethod.NuvraInput"));
    EXPECT_EQ(EngineSim::readFile(toolRecord), "--disable-all\n");
}

TEST(InputSourceRemoval, listsHoldingOtherValuesAreLeftAlone) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    useRecordingTool();
    EngineSim::setKeyboardSettings(
        {{"AppleEnabledInputSources", plist::Array{method(productID), "nuvra"}},
         {"AppleSelectedInputSources", plist::Value(method(productID))},
         {"AppleInputSourceHistory", plist::Array{method(productID)}}});

    UninstallEngine engine;
    engine.removeInputSourceState();

    EXPECT_TRUE(EngineSim::contains(EngineSim::logMessages(),
                                    "  Input method: keyboard settings entries removed — 1"));
    const auto settings = HIToolboxStore::read();
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->at("AppleEnabledInputSources"),
              plist::Value(plist::Array{method(productID), "nuvra"}));
    EXPECT_EQ(settings->at("AppleSelectedInputSources"), plist::Value(method(productID)));
    EXPECT_EQ(settings->at("AppleInputSourceHistory"), plist::Value(plist::Array{}));
}

TEST(InputSourceRemoval, withNothingToRemoveTheSettingsAreNotWritten) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    useRecordingTool();

    UninstallEngine engine;
    EXPECT_THAT(engine.removeInputSourceState(), ElementsAre());

    const auto log = EngineSim::logMessages();
    EXPECT_THAT(log, ElementsAre("  Input method: keyboard settings entries removed — 0", okLine));
    EXPECT_THAT(SimMac::callsTo(SystemTools::defaults),
                ElementsAre(Call{SystemTools::defaults, "export", "com.apple.HIToolbox", "-"}));
}

TEST(InputSourceRemoval, unreadableSettingsAreReportedAndTheCleanUpGoesOn) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    useRecordingTool();
    EngineSim::writeFile(SimMac::home() + "/Library/Preferences/com.apple.HIToolbox.plist",
                         "this is not a property list");
    SimMac::clearCalls();

    UninstallEngine engine;
    EXPECT_THAT(engine.removeInputSourceState(), ElementsAre("Could not read keyboard settings."));

    EXPECT_THAT(EngineSim::logMessages(), ElementsAre(okLine));
    // The preferences daemon is still ended, and the LaunchServices sweep still follows.
    const auto calls = SimMac::calls();
    const auto killall = indexOf(calls, {SystemTools::killall, "cfprefsd"});
    const auto dump = indexOf(calls, {SystemTools::lsregister, "-dump"});
    EXPECT_LT(killall, dump);
    EXPECT_LT(dump, calls.size());
}

// The keyboard settings hold every layout the user set up. An import torn half-way, one refused,
// one that reports success but changes nothing, and one after which not even the original can be
// put back: none of them leaves the user without their settings, and each is said.
TEST(InputSourceRemoval, keyboardSettingsTheImportDoesNotReplaceAreKeptAsTheyWere) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    useRecordingTool();
    const std::string preferences =
        SimMac::home() + "/Library/Preferences/com.apple.HIToolbox.plist";
    const std::string copy =
        SimMac::home() + "/Library/Logs/nuvraUninstaller/keyboard-settings-before-uninstall.plist";
    const std::string defaults = SystemTools::defaults;
    const std::string kept = "Could not update keyboard settings; they were kept as they were.";
    EngineSim::setKeyboardSettings(
        {{"AppleEnabledInputSources", plist::Array{layout("ABC"), method(productID)}},
         {"AppleInputSourceHistory", plist::Array{method(productID), layout("ABC")}}});
    const std::string before = EngineSim::readFile(preferences);
    const std::string exported =
        SimMac::run({defaults, "export", "com.apple.HIToolbox", "-"}).output;

    EngineSim::writeFile("/var/db/sim/defaults.fail", "half-import\n");
    UninstallEngine engine;
    EXPECT_THAT(engine.removeInputSourceState(), ElementsAre(kept));
    EXPECT_EQ(EngineSim::readFile(preferences), before);
    EXPECT_EQ(EngineSim::readFile(copy), exported);
    EXPECT_THAT(EngineSim::logMessages(),
                testing::Contains("  Input method: keyboard settings could not be updated, put "
                                  "back as they were — WARN"));

    for (const char* import : {"exit 1", "exit 0"}) {
        SimMac::ReplacedTool refusing(defaults, "#!/bin/sh\n[ \"$1\" = import ] && " +
                                                    std::string(import) + "\nexec " + defaults +
                                                    ".real \"$@\"\n");
        EXPECT_THAT(engine.removeInputSourceState(), ElementsAre(kept)) << import;
        EXPECT_EQ(EngineSim::readFile(preferences), before) << import;
    }

    {
        SimMac::ReplacedTool wiping(defaults, "#!/bin/sh\nif [ \"$1\" = import ]; then : > " +
                                                  preferences + "; exit 1; fi\nexec " + defaults +
                                                  ".real \"$@\"\n");
        EXPECT_THAT(engine.removeInputSourceState(),
                    ElementsAre("Could not update keyboard settings or put them back as they "
                                "were; a copy of them is in " +
                                copy + " (defaults import com.apple.HIToolbox " + copy +
                                " restores it)."));
    }
    EXPECT_EQ(SimMac::run({defaults, "import", "com.apple.HIToolbox", copy}).status, 0);
    EXPECT_EQ(EngineSim::readFile(preferences), before);

    // No copy can be kept (a folder has its name): then nothing is replaced at all.
    fs::remove(copy);
    fs::create_directory(copy);
    SimMac::clearCalls();
    EXPECT_THAT(engine.removeInputSourceState(), ElementsAre(kept));
    EXPECT_THAT(SimMac::callsTo(defaults),
                ElementsAre(Call{defaults, "export", "com.apple.HIToolbox", "-"}));
}

TEST(InputSourceRemoval, aMissingHelperIsReportedAndTheRestStillRuns) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    EngineSim::useBundle(ownBundle, nullptr);

    UninstallEngine engine;
    EXPECT_THAT(engine.removeInputSourceState(),
                ElementsAre("Could not run the input source helper."));
    EXPECT_FALSE(engine.stagedSourcectlPath().has_value());
    EXPECT_EQ(EngineSim::logMessages().back(), okLine);
    EXPECT_EQ(SimMac::callsTo(SystemTools::killall).size(), 1u);
}

TEST(InputSourceRemoval, theHelperIsStagedOnceAndAgainAfterItWasDeleted) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    useRecordingTool();
    const std::string bundled = std::string(ownBundle) + "/Contents/Resources/sourcectl";

    UninstallEngine engine;
    engine.removeInputSourceState();
    ASSERT_EQ(engine.stagedSourcectlPath(), stagedPath());
    EXPECT_EQ(EngineSim::readFile(stagedPath()), EngineSim::readFile(bundled));

    // Still executable: the copy in place is run, not replaced.
    EngineSim::writeFile(stagedPath(), "#!/bin/sh\necho kept >> " + std::string(toolRecord) + "\n",
                         0755);
    engine.removeInputSourceState();
    EXPECT_EQ(EngineSim::readFile(toolRecord), "--disable-all\nkept\n");

    fs::remove(stagedPath());
    engine.removeInputSourceState();
    EXPECT_EQ(EngineSim::readFile(stagedPath()), EngineSim::readFile(bundled));
    EXPECT_EQ(EngineSim::readFile(toolRecord), "--disable-all\nkept\n--disable-all\n");
}

TEST(InputSourceRemoval, stagingNeverWritesThroughPlantedLinks) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    useRecordingTool();
    const std::string victim = SimMac::home() + "/Documents/keep.txt";
    EngineSim::writeFile(victim, "precious");

    // A link where the copy goes is replaced, not followed.
    fs::create_directories(fs::path(stagedPath()).parent_path());
    fs::create_symlink(victim, stagedPath());
    UninstallEngine engine;
    EXPECT_THAT(engine.removeInputSourceState(), ElementsAre());
    EXPECT_EQ(EngineSim::readFile(victim), "precious");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(stagedPath())));

    // A staging folder that is a link to somewhere else is refused.
    const std::string folder = fs::path(stagedPath()).parent_path();
    fs::remove_all(folder);
    fs::create_directory_symlink(SimMac::home() + "/Documents", folder);
    UninstallEngine second;
    EXPECT_THAT(second.removeInputSourceState(),
                ElementsAre("Could not run the input source helper."));
    EXPECT_FALSE(fs::exists(SimMac::home() + "/Documents/sourcectl"));

    // So is a real folder of another account's, open to all: its owner could swap the copy
    // between the staging and the run.
    fs::remove(folder);
    fs::create_directory(folder);
    ASSERT_EQ(chown(folder.c_str(), 502, 20), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    UninstallEngine third;
    EXPECT_THAT(third.removeInputSourceState(),
                ElementsAre("Could not run the input source helper."));
    EXPECT_FALSE(fs::exists(stagedPath()));
}

TEST(InputSourceRemoval, strayRegistrationsAreUnregisteredOnceAndOwnCopiesKept) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    useRecordingTool();
    const std::string ownCopy = std::string(ownBundle) + "/Contents/Resources/nuvraInput.app";
    const std::string stray = SimMac::home() + "/Downloads/nuvraInput.app";
    const std::string volume = "/Volumes/Old (0x2) Disk/nuvraInput.app";
    // The same path registered twice, as a bundle and as the record of a copy on a backup disk.
    const auto records = SimMac::run(
        {"/usr/bin/python3", "-c",
         "import json, sys\n"
         "p = '/var/db/sim/lsregister.json'\n"
         "r = json.load(open(p))\n"
         "for path in sys.argv[1:]:\n"
         "    r.append({'path': path, 'identifier': 'ai.nuvra.inputmethod.NuvraInput',\n"
         "              'name': 'nuvraInput', 'kind': 'bundle'})\n"
         "json.dump(r, open(p, 'w'))\n",
         stray, ownCopy, stray, volume});
    ASSERT_EQ(records.status, 0) << records.output;
    SimMac::clearCalls();

    UninstallEngine engine;
    engine.removeInputSourceState();

    const auto lsCalls = SimMac::callsTo(SystemTools::lsregister);
    ASSERT_FALSE(lsCalls.empty());
    EXPECT_EQ(lsCalls.front(), (Call{SystemTools::lsregister, "-dump"}));
    EXPECT_THAT(std::vector<Call>(lsCalls.begin() + 1, lsCalls.end()),
                UnorderedElementsAre(Call{SystemTools::lsregister, "-u", stray},
                                     Call{SystemTools::lsregister, "-u", volume}));
}
