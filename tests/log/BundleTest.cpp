#include "Bundle.h"

#include "LogTestSupport.h"
#include "foundation/SessionHeader.h"

#include <gtest/gtest.h>

namespace {

class BundleLookups : public ::testing::Test {
protected:
    void SetUp() override {
        bundle_ = folder_ / "nuvraUninstaller.app";
        std::filesystem::create_directories(bundle_ + "/Contents/MacOS");
        std::filesystem::create_directories(bundle_ + "/Contents/Resources");
        Bundle::overrideMainBundlePathForTesting(bundle_);
    }
    void TearDown() override { Bundle::overrideMainBundlePathForTesting(std::nullopt); }

    TemporaryFolder folder_;
    std::string bundle_;
};

TEST_F(BundleLookups, InfoStringsAreTextValuesOfTheBundlesInfoPlist) {
    EXPECT_EQ(Bundle::infoString("CFBundleShortVersionString"), std::nullopt); // no Info.plist yet
    writeWholeFile(bundle_ + "/Contents/Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>CFBundleIdentifier</key><string>ai.nuvra.NuvraUninstaller</string>
  <key>CFBundleShortVersionString</key><string>1.4.2</string>
  <key>CFBundleVersion</key><integer>12</integer>
</dict></plist>)");

    EXPECT_EQ(Bundle::infoString("CFBundleShortVersionString"), "1.4.2");
    EXPECT_EQ(Bundle::infoString("CFBundleIdentifier"), "ai.nuvra.NuvraUninstaller");
    EXPECT_EQ(Bundle::infoString("CFBundleVersion"), std::nullopt); // not text
    EXPECT_EQ(Bundle::infoString("Missing"), std::nullopt);
    // The session header shows "?" for what the bundle does not give as text.
    EXPECT_EQ(sessionHeaderLines(SessionHeaderFacts::current())[1],
              "nuvra Uninstaller v1.4.2 (build ?)");

    writeWholeFile(bundle_ + "/Contents/Info.plist", "<plist><dict><key>broken");
    EXPECT_EQ(Bundle::infoString("CFBundleIdentifier"), std::nullopt);
    EXPECT_EQ(sessionHeaderLines(SessionHeaderFacts::current())[1],
              "nuvra Uninstaller v? (build ?)");
}

TEST_F(BundleLookups, ResourcesAreFoundOnlyWhenPresent) {
    writeWholeFile(bundle_ + "/Contents/Resources/uninstall.sh", "#!/bin/bash\n");
    writeWholeFile(bundle_ + "/Contents/Resources/sourcectl", "");

    EXPECT_EQ(Bundle::resourcePath("uninstall", "sh"),
              bundle_ + "/Contents/Resources/uninstall.sh");
    EXPECT_EQ(Bundle::resourcePath("sourcectl"), bundle_ + "/Contents/Resources/sourcectl");
    EXPECT_EQ(Bundle::resourcePath("AppIcon", "icns"), std::nullopt);
}

TEST(Bundle, AProgramOutsideAnAppBundleHasNoMainBundle) {
    // The test binary sits in the build tree, not in <name>.app/Contents/MacOS.
    EXPECT_EQ(Bundle::mainBundlePath(), std::nullopt);
    EXPECT_EQ(Bundle::infoString("CFBundleIdentifier"), std::nullopt);
}

} // namespace
