// Deleting a product path must never reach through a symbolic link into something else.
#include "engine/PathRemoval.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class PathRemovalTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("engine-b-removal-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "outside" / "keep");
        std::ofstream(root / "outside" / "keep" / "precious") << "x";
    }
    void TearDown() override { fs::remove_all(root); }

    bool outsideIntact() const { return fs::exists(root / "outside" / "keep" / "precious"); }

    fs::path root;
};

} // namespace

TEST_F(PathRemovalTest, RemovesANestedTreeWithLinksInsideAsLinks) {
    const fs::path bundle = root / "nuvra.app";
    fs::create_directories(bundle / "Contents" / "MacOS" / "deep" / "er");
    std::ofstream(bundle / "Contents" / "Info.plist") << "<plist/>";
    std::ofstream(bundle / "Contents" / "MacOS" / "deep" / "er" / "f") << "x";
    fs::create_directory_symlink(root / "outside", bundle / "Contents" / "toOutside");
    fs::create_symlink(root / "outside" / "keep" / "precious", bundle / "Contents" / "fileLink");
    fs::create_symlink(root / "nowhere", bundle / "Contents" / "dangling");

    EXPECT_EQ(PathRemoval::removeIfPresent(bundle.string()), std::nullopt);
    EXPECT_FALSE(fs::exists(fs::symlink_status(bundle)));
    EXPECT_TRUE(outsideIntact());
}

TEST_F(PathRemovalTest, APathThatIsItselfALinkIsRemovedAsALink) {
    const fs::path planted = root / "nuvra";
    fs::create_directory_symlink(root / "outside", planted);
    EXPECT_TRUE(PathRemoval::exists(planted.string()));
    EXPECT_EQ(PathRemoval::removeIfPresent(planted.string()), std::nullopt);
    EXPECT_FALSE(fs::exists(fs::symlink_status(planted)));
    EXPECT_TRUE(outsideIntact());

    // A link whose target is gone is still something at the path, and goes too.
    fs::create_symlink(root / "gone", planted);
    EXPECT_TRUE(PathRemoval::exists(planted.string()));
    EXPECT_EQ(PathRemoval::removeIfPresent(planted.string()), std::nullopt);
    EXPECT_FALSE(fs::exists(fs::symlink_status(planted)));
}

TEST_F(PathRemovalTest, MissingPathIsSkippedSilently) {
    EXPECT_FALSE(PathRemoval::exists((root / "absent").string()));
    EXPECT_EQ(PathRemoval::removeIfPresent((root / "absent").string()), std::nullopt);
    EXPECT_FALSE(PathRemoval::removeRecursively((root / "absent" / "deeper").string()));
}

// Root ignores permission bits, so only an ordinary user can see this failure outside the
// simulated Mac (where the data-removal tests cover it with an immutable file).
TEST_F(PathRemovalTest, UndeletableContentGivesOneWarningAndRemovesTheRest) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permission bits do not stop root";
    }
    const fs::path folder = root / "Logs";
    fs::create_directories(folder / "locked");
    std::ofstream(folder / "locked" / "held") << "x";
    std::ofstream(folder / "loose") << "x";
    fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);

    EXPECT_EQ(PathRemoval::removeIfPresent(folder.string()),
              "Could not remove " + folder.string() + ".");
    EXPECT_FALSE(fs::exists(folder / "loose"));
    fs::permissions(folder / "locked", fs::perms::owner_all);
}
