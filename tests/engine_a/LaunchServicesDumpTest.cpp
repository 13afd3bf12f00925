#include "engine/LaunchServicesDump.h"

#include <gtest/gtest.h>

using LaunchServicesDump::inputMethodPaths;
using LaunchServicesDump::isInsideBundle;
using LaunchServicesDump::strayInputMethodPaths;
using Paths = std::vector<std::string>;

// Shaped like the real database dump: records separated by dashes, padded "key: value" lines.
constexpr const char* sampleDump =
    "--------------------------------------------------------------------------------\n"
    "bundle id:                  1234\n"
    "path:                       /Library/Input Methods/nuvraInput.app (0x4d2)\n"
    "name:                       nuvraInput\n"
    "\tpath:\t/Users/ann/Downloads/nuvra 2/nuvraInput.app (0x1a2b)  \n"
    "\n"
    "path:                       /Applications/Safari.app (0x10)\n"
    "path:                       /Library/Input Methods/nuvraInput.app (0x4d2)\n"
    "    executable path:        /Library/Input Methods/nuvraInput.app/Contents/MacOS/x\n"
    "path:                       /Volumes/Backup/NUVRAINPUT.APP (0x99)\n"
    "path: /Volumes/odd (0x1) name/nuvraInput.app (0x2f)\n"
    "path: /Volumes/plain/nuvraInput.app\n";

TEST(LaunchServicesDump, keepsProductPathLinesOnceWithoutTheirIdentifier) {
    EXPECT_EQ(inputMethodPaths(sampleDump),
              (Paths{"/Library/Input Methods/nuvraInput.app",
                     "/Users/ann/Downloads/nuvra 2/nuvraInput.app",
                     "/Volumes/odd (0x1) name/nuvraInput.app", "/Volumes/plain/nuvraInput.app"}));
}

TEST(LaunchServicesDump, ignoresEmptyAndForeignText) {
    EXPECT_TRUE(inputMethodPaths("").empty());
    EXPECT_TRUE(inputMethodPaths("\n\n\n").empty());
    // Mentions in other fields, or "path:" not at the start, are not registrations of a bundle.
    EXPECT_TRUE(inputMethodPaths("name: nuvraInput.app\nclaimed path: /x/nuvraInput.app\n"
                                 "bundle path: /x/nuvraInput.app (0x1)")
                    .empty());
    // A last line without a line feed still counts.
    EXPECT_EQ(inputMethodPaths("path: /a/nuvraInput.app (0x1)"), Paths{"/a/nuvraInput.app"});
}

TEST(LaunchServicesDump, copiesInsideTheOwnBundleAreLeftAlone) {
    const std::string dump = "path: /Applications/nuvraUninstaller.app/Contents/Resources/"
                             "nuvraInput.app (0x1)\n"
                             "path: /Applications/nuvraUninstaller.app-old/nuvraInput.app (0x2)\n"
                             "path: /Library/Input Methods/nuvraInput.app (0x3)\n";
    EXPECT_EQ(strayInputMethodPaths(dump, std::string("/Applications/nuvraUninstaller.app")),
              (Paths{"/Applications/nuvraUninstaller.app-old/nuvraInput.app",
                     "/Library/Input Methods/nuvraInput.app"}));
    // Without a bundle of its own nothing is spared.
    EXPECT_EQ(strayInputMethodPaths(dump, std::nullopt).size(), 3u);
}

TEST(LaunchServicesDump, insideBundleMeansTheBundleOrBelowIt) {
    EXPECT_TRUE(isInsideBundle("/A/u.app", "/A/u.app"));
    EXPECT_TRUE(isInsideBundle("/A/u.app/Contents/x", "/A/u.app"));
    EXPECT_TRUE(isInsideBundle("/A/u.app/Contents/x", "/A/u.app/"));
    EXPECT_FALSE(isInsideBundle("/A/u.app2/x", "/A/u.app"));
    EXPECT_FALSE(isInsideBundle("/A", "/A/u.app"));
    EXPECT_FALSE(isInsideBundle("/A/u.app", ""));
}
