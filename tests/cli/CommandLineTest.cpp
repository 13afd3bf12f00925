#include "CommandLine.h"

#include "Bundle.h"
#include "LogTestSupport.h"
#include "VersionText.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

std::string problem(const std::vector<std::string>& args) {
    const auto parsed = CommandLine::parse(args);
    const auto* message = std::get_if<std::string>(&parsed);
    return message ? *message : "";
}

CommandLine parsed(const std::vector<std::string>& args) {
    const auto result = CommandLine::parse(args);
    EXPECT_TRUE(std::holds_alternative<CommandLine>(result)) << problem(args);
    return std::holds_alternative<CommandLine>(result) ? std::get<CommandLine>(result)
                                                       : CommandLine{};
}

} // namespace

// A word the command does not know must never fall through to a removal run.
TEST(CommandLine, BadInputIsOneMessageNeverARun) {
    EXPECT_EQ(problem({}), "missing subcommand (inventory or run)");
    EXPECT_EQ(problem({"run", "--force"}), "unknown option '--force'");
    EXPECT_EQ(problem({"remove"}), "unknown subcommand 'remove' (inventory or run)");
    EXPECT_EQ(problem({"inventory", "run"}), "more than one subcommand ('run' after 'inventory')");
    EXPECT_EQ(problem({"run", "run"}), "more than one subcommand ('run' after 'run')");
    EXPECT_EQ(problem({"run", "--user"}), "--user needs a user name");
    EXPECT_EQ(problem({"run", "--user="}), "--user needs a user name");
    EXPECT_EQ(problem({"run", "--user", "a", "--user", "b"}), "--user given twice");
    EXPECT_EQ(problem({"inventory", "--yes"}), "--yes belongs to run, not to inventory");
    EXPECT_EQ(problem({"run", "--all-users", "--user", "a"}),
              "--all-users and --user exclude each other");
    // The internal word of a run for every account means nothing on its own.
    EXPECT_EQ(problem({"run", "--only-the-account"}), "unknown option '--only-the-account'");
}

TEST(CommandLine, ReadsSubcommandAndOptionsInAnyOrder) {
    const CommandLine run = parsed({"--json", "--user", "jane", "run", "--yes"});
    EXPECT_EQ(run.action, CommandLine::Action::run);
    EXPECT_TRUE(run.json);
    EXPECT_TRUE(run.yes);
    EXPECT_EQ(run.user, "jane");
    EXPECT_EQ(parsed({"run", "--user=jane"}).user, "jane");
    const CommandLine inventory = parsed({"inventory"});
    EXPECT_EQ(inventory.action, CommandLine::Action::inventory);
    EXPECT_FALSE(inventory.json);
    EXPECT_FALSE(inventory.user);
    // Asking for help never runs the subcommand beside it.
    EXPECT_EQ(parsed({"run", "--help"}).action, CommandLine::Action::help);
    EXPECT_EQ(parsed({"-h"}).action, CommandLine::Action::help);
    // Neither does asking for the version.
    EXPECT_EQ(parsed({"run", "--yes", "--version"}).action, CommandLine::Action::version);
}

// The version comes from the bundle the command ships in, never from a number of its own.
TEST(CommandLine, VersionIsTheBundlesInfoPlist) {
    const TemporaryFolder folder;
    const std::string bundle = folder / "nuvraUninstaller.app";
    std::filesystem::create_directories(bundle + "/Contents/MacOS");
    Bundle::overrideMainBundlePathForTesting(bundle);
    EXPECT_EQ(versionText(), std::nullopt); // no Info.plist: a damaged bundle, not "?"
    std::ofstream(bundle + "/Contents/Info.plist") << R"(<plist version="1.0"><dict>
  <key>CFBundleShortVersionString</key><string>9.8.7</string>
  <key>CFBundleVersion</key><string>42</string>
</dict></plist>)";
    EXPECT_EQ(versionText(), "nuvra-uninstall 9.8.7 (build 42)\n");
    Bundle::overrideMainBundlePathForTesting(std::nullopt);
}
