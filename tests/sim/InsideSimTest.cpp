#include "SimMac.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

TEST(InsideSim, DefaultsRoundTripIsLoggedWithItsArguments) {
    NUVRA_REQUIRE_SIM();
    const auto write = SimMac::run({"/usr/bin/defaults", "write", "group.ai.nuvra.shared",
                                    "ai.nuvra.startAtLogin", "-bool", "false"});
    EXPECT_EQ(write.status, 0) << write.output;
    EXPECT_TRUE(fs::exists(SimMac::home() + "/Library/Preferences/group.ai.nuvra.shared.plist"));
    const auto calls = SimMac::callsTo("/usr/bin/defaults");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (SimMac::Call{"/usr/bin/defaults", "write", "group.ai.nuvra.shared",
                                      "ai.nuvra.startAtLogin", "-bool", "false"}));
}

} // namespace
