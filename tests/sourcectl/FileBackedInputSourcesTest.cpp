// The file-backed Text Input Sources stand-in, in a throwaway home folder.
#include "FileBackedInputSources.h"

#include "Sourcectl.h"
#include "TemporaryHome.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_home;

namespace {

class FileBackedInputSourcesTest : public ::testing::Test {
protected:
    TemporaryHome home; // before `tis`, which is built from its paths
    FileBackedInputSources tis{
        {{(home.path() / "System Input Methods").string(), home.userInputMethods().string()},
         home.preferences().string()}};

    std::vector<std::string> ids(const std::vector<TISInputSourceRef>& sources) {
        std::vector<std::string> result;
        for (const auto& source : sources) {
            auto value =
                tis.TISGetInputSourceProperty(source, TISPropertyKey::kTISPropertyInputSourceID);
            result.push_back(std::get<std::string>(value));
        }
        return result;
    }
    std::vector<TISInputSourceRef> all(TISPropertyKey key, const std::string& value) {
        return tis.TISCreateInputSourceList(key, value, true).value();
    }
    TISInputSourceRef byID(const std::string& id) {
        auto found = all(TISPropertyKey::kTISPropertyInputSourceID, id);
        return found.empty() ? nullptr : found.front();
    }
    bool flag(const TISInputSourceRef& source, TISPropertyKey key) {
        return std::get<bool>(tis.TISGetInputSourceProperty(source, key));
    }
    std::string sourcectl(const std::string& command) {
        std::ostringstream out;
        runSourcectl({"sourcectl", command}, tis, out);
        return out.str();
    }
};

TEST_F(FileBackedInputSourcesTest, InstalledSourcesComeInFolderThenNameOrder) {
    auto system = home.path() / "System Input Methods";
    TemporaryHome::addInputMethod(system, "Zeta.app", "com.zeta", {});
    TemporaryHome::addInputMethod(system, "Alpha.app", "com.alpha", {"com.alpha.b", "com.alpha.a"});
    TemporaryHome::addInputMethod(home.userInputMethods(), "Alpha.app", "com.alpha",
                                  {"com.alpha.a"});
    TemporaryHome::addInputMethod(home.userInputMethods(), "Beta.app", "com.beta", {"com.beta.x"});
    std::filesystem::create_directories(home.userInputMethods() / "NoInfo.app/Contents");
    writeFile(home.userInputMethods() / "Broken.app/Contents/Info.plist", "not a plist");
    TemporaryHome::addInputMethod(home.userInputMethods(), "Bundle.txt", "com.notapp", {});

    EXPECT_EQ(ids(all(TISPropertyKey::kTISPropertyInputSourceIsSelectCapable, "true")),
              (std::vector<std::string>{"com.apple.keylayout.ABC", "com.alpha.a", "com.alpha.b",
                                        "com.zeta", "com.beta.x"}));
    EXPECT_EQ(ids(all(TISPropertyKey::kTISPropertyInputSourceIsSelectCapable, "false")),
              (std::vector<std::string>{"com.alpha", "com.beta"}));
    EXPECT_EQ(ids(all(TISPropertyKey::kTISPropertyBundleID, "com.alpha")),
              (std::vector<std::string>{"com.alpha", "com.alpha.a", "com.alpha.b"}));

    auto abc = byID("com.apple.keylayout.ABC");
    ASSERT_TRUE(abc);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        tis.TISGetInputSourceProperty(abc, TISPropertyKey::kTISPropertyBundleID)));
    EXPECT_TRUE(all(TISPropertyKey::kTISPropertyBundleID, nuvraBundleID).empty());
}

TEST_F(FileBackedInputSourcesTest, EnableAndDisableChangeOnlyTheirOwnEntriesValueForValue) {
    home.addNuvraInputMethod();
    const std::string original =
        preferencesWith(methodEntry(nuvraBundleID) + modeEntry(nuvraBundleID, nuvraModeID));
    writeFile(home.preferences(), toBinary(original));

    EXPECT_EQ(sourcectl("--disable-all"),
              "TISDisable(ai.nuvra.inputmethod.NuvraInput.default) \u2192 0\n"
              "TISDisable(ai.nuvra.inputmethod.NuvraInput) \u2192 0\n");
    std::string afterDisable = readFile(home.preferences());
    EXPECT_EQ(plist_is_binary(afterDisable.data(), static_cast<uint32_t>(afterDisable.size())), 1);
    EXPECT_EQ(canonicalXML(afterDisable), canonicalXML(preferencesWith("")));

    // Enabling again appends the entries in macOS's shapes; the rest stays as it was.
    EXPECT_EQ(sourcectl("--enable-remaining"),
              "TISEnable(ai.nuvra.inputmethod.NuvraInput) \u2192 0\n"
              "TISEnable(ai.nuvra.inputmethod.NuvraInput.default) \u2192 0\n");
    EXPECT_EQ(sourcectl("--is-enabled"), "ENABLED=true\nparent=ai.nuvra.inputmethod.NuvraInput\n");
    std::string reEnabled = preferencesWith("");
    reEnabled.replace(reEnabled.find("</array><key>AppleFnUsageType"), 8,
                      methodEntry(nuvraBundleID) + modeEntry(nuvraBundleID, nuvraModeID) +
                          "</array>");
    EXPECT_EQ(canonicalXML(readFile(home.preferences())), canonicalXML(reEnabled));
    EXPECT_EQ(sourcectl("--enable-remaining"),
              "ai.nuvra.inputmethod.NuvraInput: already enabled\n"
              "ai.nuvra.inputmethod.NuvraInput.default: already enabled\n");
}

TEST_F(FileBackedInputSourcesTest, RewritesKeepFormatModeAndOwnerAndCreateFilesOnlyWhenNeeded) {
    home.addNuvraInputMethod();
    auto mode = byID(nuvraModeID);
    ASSERT_TRUE(mode);
    EXPECT_FALSE(flag(mode, TISPropertyKey::kTISPropertyInputSourceIsEnabled));
    EXPECT_EQ(tis.TISDisableInputSource(mode), 0);
    EXPECT_FALSE(std::filesystem::exists(home.preferences()));

    EXPECT_EQ(tis.TISEnableInputSource(mode), 0);
    EXPECT_TRUE(flag(mode, TISPropertyKey::kTISPropertyInputSourceIsEnabled));
    EXPECT_EQ(canonicalXML(readFile(home.preferences())),
              canonicalXML(xmlPlist("<dict><key>AppleEnabledInputSources</key><array>" +
                                    modeEntry(nuvraBundleID, nuvraModeID) + "</array></dict>")));

    // A writer killed before its rename left its temporary file, a full copy of the settings: the
    // next rewrite removes it. Another writer's file still being written (locked) and the user's
    // own copies stay.
    const auto folder = home.preferences().parent_path();
    writeFile(folder / ".com.apple.HIToolbox.plist.tmp-Ab12Cd", "stranded");
    writeFile(folder / ".com.apple.HIToolbox.plist.tmp-Zz99Yy", "being written");
    writeFile(folder / "com.apple.HIToolbox.plist.backup", "the user's");
    const int inFlight =
        ::open((folder / ".com.apple.HIToolbox.plist.tmp-Zz99Yy").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(inFlight, LOCK_EX), 0);

    // A rewrite keeps the format, the mode and (when run as root) the owner.
    writeFile(home.preferences(), preferencesWith(""));
    ::chmod(home.preferences().c_str(), 0640);
    bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        ASSERT_EQ(::chown(home.preferences().c_str(), 501, 20), 0);
    }
    EXPECT_EQ(tis.TISEnableInputSource(mode), 0);
    std::string bytes = readFile(home.preferences());
    EXPECT_EQ(bytes.rfind("<?xml", 0), 0u);
    struct stat info {};
    ASSERT_EQ(::stat(home.preferences().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (asRoot) {
        EXPECT_EQ(info.st_uid, 501u);
        EXPECT_EQ(info.st_gid, 20u);
    }
    ::close(inFlight);
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename());
    }
    EXPECT_EQ(names, (std::set<std::string>{"com.apple.HIToolbox.plist",
                                            ".com.apple.HIToolbox.plist.tmp-Zz99Yy",
                                            "com.apple.HIToolbox.plist.backup"}));
}

TEST_F(FileBackedInputSourcesTest, UnreadableOrUnwritablePreferencesGiveAStatusAndKeepTheFile) {
    home.addNuvraInputMethod();
    auto parent = byID(nuvraBundleID);
    ASSERT_TRUE(parent);

    writeFile(home.preferences(), "damaged \x01\x02");
    EXPECT_NE(tis.TISEnableInputSource(parent), 0);
    EXPECT_NE(tis.TISDisableInputSource(parent), 0);
    EXPECT_EQ(readFile(home.preferences()), "damaged \x01\x02");
    EXPECT_FALSE(flag(parent, TISPropertyKey::kTISPropertyInputSourceIsEnabled));

    // The enabled list holding something other than an array is not ours to replace either.
    const std::string odd =
        xmlPlist("<dict><key>AppleEnabledInputSources</key><string>x</string></dict>");
    writeFile(home.preferences(), odd);
    EXPECT_NE(tis.TISEnableInputSource(parent), 0);
    EXPECT_EQ(readFile(home.preferences()), odd);

    // A FIFO put in place of the file, or of a bundle's Info.plist, is refused, never waited on.
    std::filesystem::remove(home.preferences());
    ASSERT_EQ(mkfifo(home.preferences().c_str(), 0600), 0);
    EXPECT_NE(tis.TISEnableInputSource(parent), 0);
    const auto info = home.userInputMethods() / "nuvraInput.app/Contents/Info.plist";
    std::filesystem::remove(info);
    ASSERT_EQ(mkfifo(info.c_str(), 0600), 0);
    EXPECT_EQ(byID(nuvraBundleID), nullptr);
    std::filesystem::remove(home.preferences());

    // No folder can be made for the file.
    std::filesystem::remove_all(home.path() / "Library/Preferences");
    writeFile(home.path() / "Library/Preferences", "a file where the folder belongs");
    EXPECT_NE(tis.TISEnableInputSource(parent), 0);
    EXPECT_EQ(tis.TISDisableInputSource(parent), 0) << "nothing was enabled, nothing to write";
}

TEST_F(FileBackedInputSourcesTest, AFileThatCannotBeWrittenBackByteForByteIsLeftAsItIs) {
    // An unrelated text that is not UTF-8, in a binary file: libplist's writer would cut it at
    // the first bad byte, so the file is not rewritten and the caller hears about it.
    home.addNuvraInputMethod();
    const std::string placeholder = "CafX Y ZZ"; // as long as its replacement
    std::string bytes = toBinary(
        xmlPlist("<dict><key>AppleEnabledInputSources</key><array>" + methodEntry(nuvraBundleID) +
                 modeEntry(nuvraBundleID, nuvraModeID) + "</array><key>UserNote</key><string>" +
                 placeholder + "</string></dict>"));
    bytes.replace(bytes.find(placeholder), placeholder.size(), "Caf\xe9 \xff \xe2\x80");
    writeFile(home.preferences(), bytes);

    EXPECT_EQ(sourcectl("--disable-all"),
              "TISDisable(ai.nuvra.inputmethod.NuvraInput.default) \u2192 -36\n"
              "TISDisable(ai.nuvra.inputmethod.NuvraInput) \u2192 -36\n");
    EXPECT_EQ(readFile(home.preferences()), bytes);
}

TEST_F(FileBackedInputSourcesTest, CurrentSourceAndSelection) {
    home.addNuvraInputMethod();
    auto current = [&] {
        auto value = tis.TISGetInputSourceProperty(tis.TISCopyCurrentKeyboardInputSource(),
                                                   TISPropertyKey::kTISPropertyInputSourceID);
        return std::get<std::string>(value);
    };
    EXPECT_EQ(current(), "com.apple.keylayout.ABC"); // no preferences file at all

    writeFile(home.preferences(),
              xmlPlist("<dict><key>AppleSelectedInputSources</key><array>" +
                       modeEntry(nuvraBundleID, "gone.default") + "</array></dict>"));
    EXPECT_EQ(current(), "com.apple.keylayout.ABC"); // names nothing installed

    writeFile(home.preferences(), preferencesWith(""));
    auto mode = byID(nuvraModeID);
    EXPECT_EQ(tis.TISSelectInputSource(mode), 0);
    EXPECT_EQ(current(), nuvraModeID);

    // Only the mode is select-capable; selecting the input method itself is refused untouched.
    std::string before = readFile(home.preferences());
    EXPECT_EQ(tis.TISSelectInputSource(byID(nuvraBundleID)), FileBackedInputSources::paramErr);
    EXPECT_EQ(readFile(home.preferences()), before);

    // Back to ABC: selected becomes [ABC], history is most recent first without duplicates.
    EXPECT_EQ(tis.TISSelectInputSource(byID("com.apple.keylayout.ABC")), 0);
    EXPECT_EQ(current(), "com.apple.keylayout.ABC");
    std::string expected = preferencesWith("");
    std::string abcEntry = layoutEntry("252", "ABC");
    std::string oldHistory = "<key>AppleInputSourceHistory</key><array>" + abcEntry + "</array>";
    expected.replace(expected.find(oldHistory), oldHistory.size(),
                     "<key>AppleInputSourceHistory</key><array>" + abcEntry +
                         modeEntry(nuvraBundleID, nuvraModeID) + "</array>");
    EXPECT_EQ(canonicalXML(readFile(home.preferences())), canonicalXML(expected));
}

TEST(TextInputSourcesServiceTest, DefaultStandInFollowsHomeAndTestsCanOverrideIt) {
    TemporaryHome home;
    home.addNuvraInputMethod();
    const char* savedHome = std::getenv("HOME");
    std::string saved = savedHome ? savedHome : "";
    ::setenv("HOME", home.path().c_str(), 1);

    auto& shared = TextInputSourcesService::shared();
    auto sources =
        shared.TISCreateInputSourceList(TISPropertyKey::kTISPropertyBundleID, nuvraBundleID, true);
    EXPECT_EQ(sources.value().size(), 2u);
    EXPECT_EQ(shared.TISEnableInputSource(sources->front()), 0);
    EXPECT_TRUE(std::filesystem::exists(home.preferences()));

    FileBackedInputSources elsewhere({{}, (home.path() / "other.plist").string()});
    TextInputSourcesService::overrideForTesting(&elsewhere);
    EXPECT_EQ(&TextInputSourcesService::shared(), &elsewhere);
    TextInputSourcesService::overrideForTesting(nullptr);
    EXPECT_EQ(&TextInputSourcesService::shared(), &shared);

    if (savedHome) {
        ::setenv("HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
}

} // namespace
