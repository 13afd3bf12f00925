#include "PlistSamples.h"
#include "SimMac.h"
#include "foundation/HIToolboxStore.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using SimMac::Call;

const Call exportCall{"/usr/bin/defaults", "export", "com.apple.HIToolbox", "-"};
const Call importCall{"/usr/bin/defaults", "import", "com.apple.HIToolbox", "-"};

std::string domainFile() {
    return SimMac::home() + "/Library/Preferences/com.apple.HIToolbox.plist";
}

std::optional<plist::Value> domainOnDisk() {
    std::ifstream file(domainFile(), std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return plist::parse(bytes.str());
}

// Written straight to the file, in binary as macOS keeps it, so the read goes through the tool.
void plantDomain(const plist::Dictionary& contents) {
    std::filesystem::create_directories(SimMac::home() + "/Library/Preferences");
    std::ofstream(domainFile(), std::ios::binary) << *plist::toBinary(plist::Value(contents));
}

// A preferences tool that prints `output` (standard output and error share the pipe the store
// reads) and exits with `status`.
std::string printingDefaults(const std::string& output, int status) {
    return "#!/bin/sh\ncat <<'END_OF_OUTPUT'\n" + output + "\nEND_OF_OUTPUT\nexit " +
           std::to_string(status) + "\n";
}

TEST(HIToolboxStore, RealisticDomainSurvivesReadThenWriteUnchanged) {
    NUVRA_REQUIRE_SIM();
    const plist::Dictionary original = realisticHIToolboxDomain();
    plantDomain(original);
    SimMac::clearCalls();

    std::optional<plist::Dictionary> read = HIToolboxStore::read();
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(plist::Value(*read), plist::Value(original));
    ASSERT_TRUE(HIToolboxStore::write(*read));

    EXPECT_EQ(domainOnDisk(), plist::Value(original));
    EXPECT_EQ(SimMac::callsTo("/usr/bin/defaults"), (std::vector<Call>{exportCall, importCall}));
}

TEST(HIToolboxStore, DomainWithoutInputSourceKeysReadsAndWritesBack) {
    NUVRA_REQUIRE_SIM();
    const plist::Dictionary unrelated{{"AppleFnUsageType", plist::Value(std::int64_t{1})}};
    plantDomain(unrelated);
    std::optional<plist::Dictionary> read = HIToolboxStore::read();
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(plist::Value(*read), plist::Value(unrelated));
    EXPECT_TRUE(HIToolboxStore::write(*read));
}

// The tool prints an error and exits 1 for a missing domain: that is "cannot read", never an
// empty dictionary that a later write would turn into wiped keyboard settings.
TEST(HIToolboxStore, FailedExportGivesNothing) {
    NUVRA_REQUIRE_SIM();
    std::filesystem::remove(domainFile());
    SimMac::clearCalls();
    EXPECT_FALSE(HIToolboxStore::read().has_value());
    EXPECT_EQ(SimMac::callsTo("/usr/bin/defaults"), std::vector<Call>{exportCall});
}

// The exit status decides, not whether the output happens to parse.
TEST(HIToolboxStore, ExportThatPrintsAValidDomainButFailsGivesNothing) {
    NUVRA_REQUIRE_SIM();
    SimMac::ReplacedTool failing(
        "/usr/bin/defaults",
        printingDefaults(*plist::toXml(plist::Value(realisticHIToolboxDomain())), 1));
    EXPECT_FALSE(HIToolboxStore::read().has_value());
}

// A warning the tool prints after a complete export (on its error stream, which shares the pipe)
// does not make the export unreadable: the domain before it is whole, and refusing it would only
// leave the product's keyboard entries behind.
TEST(HIToolboxStore, WarningAfterTheExportedDomainStillReads) {
    NUVRA_REQUIRE_SIM();
    SimMac::ReplacedTool warning(
        "/usr/bin/defaults",
        printingDefaults(*plist::toXml(plist::Value(realisticHIToolboxDomain())) +
                             "2026-03-15 10:12:01.123 defaults[811:9921] warning: could not "
                             "sync preferences",
                         0));
    std::optional<plist::Dictionary> read = HIToolboxStore::read();
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(plist::Value(*read), plist::Value(realisticHIToolboxDomain()));
}

TEST(HIToolboxStore, UnwritableValueRunsNothing) {
    NUVRA_REQUIRE_SIM();
    plantDomain(realisticHIToolboxDomain());
    SimMac::clearCalls();
    plist::Dictionary broken = realisticHIToolboxDomain();
    broken["AppleSelectedInputSources"] = plist::Array{plist::Value()};
    EXPECT_FALSE(HIToolboxStore::write(broken));
    EXPECT_TRUE(SimMac::callsTo("/usr/bin/defaults").empty());
    EXPECT_EQ(domainOnDisk(), plist::Value(realisticHIToolboxDomain()));
}

} // namespace
