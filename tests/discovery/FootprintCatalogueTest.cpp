#include "foundation/NuvraFootprint.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>

namespace {

// Points $HOME somewhere for one test and restores it afterwards.
class HomeFolderScope {
public:
    explicit HomeFolderScope(const char* home) {
        if (const char* old = std::getenv("HOME")) {
            saved = old;
        }
        setenv("HOME", home, 1);
    }
    ~HomeFolderScope() {
        if (saved) {
            setenv("HOME", saved->c_str(), 1);
        } else {
            unsetenv("HOME");
        }
    }

private:
    std::optional<std::string> saved;
};

using List = NuvraFootprint::List;

TEST(FootprintCatalogue, ComputedListsInOrderFromAHomeWithSpaces) {
    const HomeFolderScope scope("/Users/Jane Q Doe");
    const std::string home = "/Users/Jane Q Doe";

    const List agents = NuvraFootprint::legacyLaunchAgentPlists();
    ASSERT_EQ(agents.size(), 14u);
    EXPECT_EQ(agents[0], home + "/Library/LaunchAgents/ai.nuvra.tis-helper.plist");
    EXPECT_EQ(agents[1], home + "/Library/LaunchAgents/ai.nuvra.tis-helper.plist.bak");
    EXPECT_EQ(agents[2], home + "/Library/LaunchAgents/ai.nuvra.agent.autostart.plist");
    EXPECT_EQ(agents[12], home + "/Library/LaunchAgents/com.nuvra.NuvraAgent.plist");
    EXPECT_EQ(agents[13], home + "/Library/LaunchAgents/com.nuvra.NuvraAgent.plist.bak");

    EXPECT_EQ(NuvraFootprint::preferencePlists(),
              (List{home + "/Library/Preferences/ai.nuvra.inputmethod.NuvraAgent.plist",
                    home + "/Library/Preferences/ai.nuvra.inputmethod.NuvraInput.plist"}));
    EXPECT_EQ(NuvraFootprint::groupContainerDirs(),
              (List{home + "/Library/Group Containers/group.ai.nuvra.macos.shared",
                    home + "/Library/Group Containers/group.ai.nuvra.shared"}));
    EXPECT_EQ(NuvraFootprint::logDirs(),
              (List{home + "/Library/Logs/nuvra", home + "/Library/Logs/NuvraInstaller"}));

    const std::string agent = "ai.nuvra.inputmethod.NuvraAgent";
    const std::string input = "ai.nuvra.inputmethod.NuvraInput";
    EXPECT_EQ(
        NuvraFootprint::libraryDataDirs(),
        (List{home + "/Library/Application Support/" + agent, home + "/Library/Caches/" + agent,
              home + "/Library/HTTPStorages/" + agent, home + "/Library/WebKit/" + agent,
              home + "/Library/Saved Application State/" + agent + ".savedState",
              home + "/Library/Application Support/" + input, home + "/Library/Caches/" + input,
              home + "/Library/HTTPStorages/" + input, home + "/Library/WebKit/" + input,
              home + "/Library/Saved Application State/" + input + ".savedState",
              home + "/Library/Application Support/nuvra"}));

    EXPECT_EQ(NuvraFootprint::canonicalBundlePaths(),
              (List{"/Library/Input Methods/nuvraInput.app",
                    home + "/Library/Input Methods/nuvraInput.app", "/Applications/nuvra.app",
                    home + "/Applications/nuvra.app", "/Applications/NuvraAgent.app",
                    home + "/Applications/NuvraAgent.app"}));
}

TEST(FootprintCatalogue, PathsFollowTheHomeFolderOnEveryAccess) {
    {
        const HomeFolderScope scope("/Users/first/");
        EXPECT_EQ(NuvraFootprint::logDirs()[0], "/Users/first/Library/Logs/nuvra");
    }
    const HomeFolderScope scope("/Users/second");
    EXPECT_EQ(NuvraFootprint::logDirs()[0], "/Users/second/Library/Logs/nuvra");
    // A relative $HOME is not a home folder; the catalogue never yields a relative path.
    setenv("HOME", "relative/home", 1);
    for (const std::string& path : NuvraFootprint::preferencePlists()) {
        EXPECT_EQ(path.front(), '/') << path;
    }
}

TEST(FootprintCatalogue, ConstantListsTheRemovalStepsWalk) {
    EXPECT_EQ(NuvraFootprint::productBundleIDs(),
              (List{"ai.nuvra.inputmethod.NuvraAgent", "ai.nuvra.inputmethod.NuvraInput"}));
    EXPECT_EQ(NuvraFootprint::inputMethodBundleID(), "ai.nuvra.inputmethod.NuvraInput");
    EXPECT_EQ(NuvraFootprint::legacyLaunchAgentNames().size(), 7u);
    EXPECT_EQ(NuvraFootprint::tempDirPrefixes(),
              (List{"nuvra-agent-sourcectl-", "nuvraInstaller"}));
    EXPECT_EQ(NuvraFootprint::hiToolboxKeys(),
              (List{"AppleEnabledInputSources", "AppleSelectedInputSources",
                    "AppleInputSourceHistory", "AppleDisabledInputSources"}));
    EXPECT_EQ(NuvraFootprint::tccServices(),
              (List{"Microphone", "Accessibility", "ListenEvent", "PostEvent"}));
    EXPECT_STREQ(NuvraFootprint::looseMatchNeedle, "nuvra");
    EXPECT_STREQ(NuvraFootprint::lsSweepNeedle, "nuvraInput.app");
}

} // namespace
