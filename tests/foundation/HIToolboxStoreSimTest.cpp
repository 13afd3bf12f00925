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
