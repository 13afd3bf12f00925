// The system facts of the session header, read inside the simulated Mac, which plays a MacBook Air
// on macOS 14.6.1.
#include "SimMac.h"
#include "SystemInfo.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/utsname.h>

namespace {

const char* const versionFile = "/System/Library/CoreServices/SystemVersion.plist";

TEST(SystemInfoSim, TellsTheMacsVersionBuildAndModel) {
    NUVRA_REQUIRE_SIM();
    EXPECT_EQ(SystemInfo::operatingSystemVersion(), "14.6.1");
    EXPECT_EQ(SystemInfo::systemControlText("kern.osversion"), "23G93");
    EXPECT_EQ(SystemInfo::systemControlText("hw.model"), "Mac15,6");
}

// A version file that is damaged, or holds the entries as something other than text, gives the
// fallbacks rather than a made-up version.
TEST(SystemInfoSim, AVersionFileWithoutTextEntriesGivesTheFallbacks) {
    NUVRA_REQUIRE_SIM();
    utsname names{};
    ASSERT_EQ(::uname(&names), 0);
    for (const char* contents :
         {"<plist version=\"1.0\"><array><string>14.6.1</string></array></plist>",
          "<plist version=\"1.0\"><dict><key>ProductVersion</key><integer>14</integer>"
          "<key>ProductBuildVersion</key><true/></dict></plist>",
          "<plist version=\"1.0\"><dict><key>ProductVersion</key><string>14.6"}) {
        std::ofstream(versionFile, std::ios::trunc) << contents;
        EXPECT_EQ(SystemInfo::operatingSystemVersion(), "") << contents;
        EXPECT_EQ(SystemInfo::systemControlText("kern.osversion"), names.release) << contents;
    }
}

} // namespace
