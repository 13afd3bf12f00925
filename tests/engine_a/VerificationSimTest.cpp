#include "EngineSimHelpers.h"
#include "SimMac.h"
#include "TextInputSources.h"
#include "engine/UninstallEngine.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

// Input sources the system still lists after their bundle is gone (until the next log-in).
class LingeringRegistrations final : public TextInputSources {
public:
    std::optional<std::vector<TISInputSourceRef>>
    TISCreateInputSourceList(TISPropertyKey key, const std::string&, bool) override {
        if (key != TISPropertyKey::kTISPropertyBundleID) {
            return std::vector<TISInputSourceRef>{};
        }
        return std::vector<TISInputSourceRef>{std::make_shared<TISInputSource>(),
                                              std::make_shared<TISInputSource>()};
    }
    TISPropertyValue TISGetInputSourceProperty(const TISInputSourceRef&, TISPropertyKey) override {
        return {};
    }
    TISInputSourceRef TISCopyCurrentKeyboardInputSource() override { return nullptr; }
    OSStatus TISSelectInputSource(const TISInputSourceRef&) override { return 0; }
    OSStatus TISEnableInputSource(const TISInputSourceRef&) override { return 0; }
    OSStatus TISDisableInputSource(const TISInputSourceRef&) override { return 0; }
};

struct InstallSources {
    explicit InstallSources(TextInputSources* sources) {
        TextInputSourcesService::overrideForTesting(sources);
    }
    ~InstallSources() { TextInputSourcesService::overrideForTesting(nullptr); }
};

const char* productID = "ai.nuvra.inputmethod.NuvraInput";

// Every case verifies a clean simulated Mac, plus what the case itself leaves behind.
class Verify : public ::testing::Test {
protected:
    void SetUp() override {
        NUVRA_REQUIRE_SIM();
        ASSERT_TRUE(SimMac::plantScene("clean", false));
    }

    // From here on the system still lists the product's input sources.
    void keepInputSourcesRegistered() { installed.emplace(&sources); }

private:
    LingeringRegistrations sources;
    std::optional<InstallSources> installed;
};

} // namespace

TEST_F(Verify, aCleanMacHasNoResidues) {
    UninstallEngine engine;
    EXPECT_THAT(engine.verify(), IsEmpty());
    EXPECT_EQ(EngineSim::logMessages().back(), "  Verify: residues — none");
}

TEST_F(Verify, lingeringInputSourcesAndThePermissionsNoteAreNoResidues) {
    keepInputSourcesRegistered();

    UninstallEngine engine;
    EXPECT_THAT(engine.verify(), IsEmpty());
    // The scan did see them: they were dropped, not missed.
    EXPECT_TRUE(
        EngineSim::contains(EngineSim::logMessages(), "  - Input source registration: 2 sources"));
    EXPECT_EQ(EngineSim::logMessages().back(), "  Verify: residues — none");
}

TEST_F(Verify, leftoversAreReportedInScanOrder) {
    keepInputSourcesRegistered();
    fs::create_directories("/tmp/nuvra");
    fs::create_directories(SimMac::home() + "/Applications/nuvra.app/Contents");
    const plist::Dictionary entry{{"Bundle ID", productID},
                                  {"InputSourceKind", "Keyboard Input Method"}};
    EngineSim::setKeyboardSettings({{"AppleEnabledInputSources", plist::Array{entry}},
                                    {"AppleInputSourceHistory", plist::Array{entry, entry}}});

    UninstallEngine engine;
    EXPECT_THAT(engine.verify(),
                ElementsAre("nuvra.app (~/Applications)", "Keyboard settings entries (3 entries)",
                            "Temporary files (/tmp/nuvra)"));
    EXPECT_EQ(EngineSim::logMessages().back(),
              "  Verify: residues — nuvra.app (~/Applications), Keyboard settings entries (3 "
              "entries), Temporary files (/tmp/nuvra)");
}

// A name read from disk goes into the log line and the residues in the one visible form the
// inventory uses: a line feed in it cannot forge a log line, a stray byte cannot garble the log.
TEST_F(Verify, residueNamesAreShownEscapedInTheResultAndTheLogLine) {
    keepInputSourcesRegistered();
    fs::create_directories("/Library/Input Methods/nuvraInput\nUninstall \xff.app");

    UninstallEngine engine;
    const std::string shown = "nuvraInput\\nUninstall \\xFF.app (/Library/Input Methods)";
    EXPECT_THAT(engine.verify(), ElementsAre(shown));
    EXPECT_EQ(EngineSim::logMessages().back(), "  Verify: residues — " + shown);
}
