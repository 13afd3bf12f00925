// Deleting a product path must never reach through a symbolic link into something else.
#include "engine/PathRemoval.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The fixture's root, for observers (plain functions) that change the tree mid-walk.
fs::path observedRoot;

class PathRemovalTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("engine-b-removal-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "outside" / "keep");
        std::ofstream(root / "outside" / "keep" / "precious") << "x";
        observedRoot = root;
    }
    void TearDown() override {
        PathRemoval::observeWalkForTesting(nullptr);
        fs::remove_all(root);
    }

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

// Deeper than the descriptor limit allows open folders: the removal must not hold one per level.
TEST_F(PathRemovalTest, ATreeFarDeeperThanTheDescriptorLimitIsRemovedCompletely) {
    const fs::path top = root / "Application Support";
    fs::create_directories(top);
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < 1000 && fd >= 0; ++level) {
        const int next = mkdirat(fd, "d", 0755) == 0 ? openat(fd, "d", O_RDONLY | O_DIRECTORY) : -1;
        close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    ASSERT_EQ(symlinkat((root / "outside").c_str(), fd, "toOutside"), 0);
    close(fd);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{64, 64};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
            _exit(2);
        }
        _exit(PathRemoval::removeIfPresent(top.string()) == std::nullopt ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: removal reported a failure; 2: setup failed";
    EXPECT_FALSE(fs::exists(fs::symlink_status(top)));
    EXPECT_TRUE(outsideIntact());
}

// Listed as a folder, then swapped for a link to the outside just before the walk opens it.
TEST_F(PathRemovalTest, AFolderSwappedForALinkBeforeItIsOpenedIsRemovedAsALink) {
    const fs::path top = root / "Preferences";
    fs::create_directories(top / "sub");
    std::ofstream(top / "sub" / "f") << "x";
    PathRemoval::observeWalkForTesting([](PathRemoval::WalkMoment moment, int folderFd,
                                          const char* name) {
        if (moment == PathRemoval::WalkMoment::OpeningFolder && std::string(name) == "sub") {
            fs::rename(observedRoot / "Preferences" / "sub", observedRoot / "sub-moved");
            ASSERT_EQ(symlinkat((observedRoot / "outside" / "keep").c_str(), folderFd, name), 0);
        }
    });

    EXPECT_EQ(PathRemoval::removeIfPresent(top.string()), std::nullopt);
    EXPECT_FALSE(fs::exists(fs::symlink_status(top)));
    EXPECT_TRUE(outsideIntact());
}

// The folder being emptied is moved into another folder (same device) before the walk steps up:
// ".." is now that folder, and the walk must stop rather than carry on removing there.
TEST_F(PathRemovalTest, GoingUpIntoAFolderItDidNotComeFromStopsTheRemoval) {
    const fs::path top = root / "Caches";
    fs::create_directories(top / "a" / "b");
    std::ofstream(top / "a" / "b" / "f") << "x";
    fs::create_directories(root / "outside" / "a"); // empty, and named like the level above b
    PathRemoval::observeWalkForTesting([](PathRemoval::WalkMoment moment, int, const char* name) {
        if (moment == PathRemoval::WalkMoment::GoingUp && std::string(name) == "b") {
            fs::rename(observedRoot / "Caches" / "a" / "b", observedRoot / "outside" / "a" / "b");
        }
    });

    EXPECT_EQ(PathRemoval::removeIfPresent(top.string()), "Could not remove " + top.string() + ".");
    EXPECT_TRUE(fs::exists(root / "outside" / "a"));
    EXPECT_TRUE(outsideIntact());
}

TEST_F(PathRemovalTest, MissingPathIsSkippedSilently) {
    EXPECT_FALSE(PathRemoval::exists((root / "absent").string()));
    EXPECT_EQ(PathRemoval::removeIfPresent((root / "absent").string()), std::nullopt);
    EXPECT_FALSE(PathRemoval::removeRecursively((root / "absent" / "deeper").string()));
}

// Root ignores permission bits, so the removal runs as an ordinary user: in a child process that
// drops to "nobody" when the test itself runs as root (as CI does).
TEST_F(PathRemovalTest, UndeletableContentGivesOneWarningAndRemovesTheRest) {
    const fs::path folder = root / "Logs";
    fs::create_directories(folder / "locked");
    std::ofstream(folder / "locked" / "held") << "x";
    std::ofstream(folder / "loose") << "x";

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0) {
            const uid_t nobody = 65534;
            for (const fs::path& p :
                 {root, folder, folder / "locked", folder / "locked" / "held", folder / "loose"}) {
                if (lchown(p.c_str(), nobody, nobody) != 0) {
                    _exit(2);
                }
            }
            if (setgid(nobody) != 0 || setuid(nobody) != 0) {
                _exit(2);
            }
        }
        fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        // Refused by the system: the warning says what to allow, in the window's words unless
        // the front end said otherwise.
        const bool oneWarning = PathRemoval::removeIfPresent(folder.string()) ==
                                "Could not remove " + folder.string() +
                                    ". macOS did not allow it. Allow nuvraUninstaller in System "
                                    "Settings \u2192 Privacy & Security \u2192 Full Disk Access, "
                                    "then uninstall again.";
        const bool restRemoved = !fs::exists(folder / "loose");
        fs::permissions(folder / "locked", fs::perms::owner_all);
        _exit(oneWarning && restRemoved ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong warning or the rest survived; 2: setup failed";
}
