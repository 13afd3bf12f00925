// How the privileged removal script is put together, read back and judged. A mistake here runs
// the wrong command as root, so the round trip goes all the way through a real shell.
#include "AppleScript.h"
#include "engine/PrivilegedRunner.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(PrivilegedScript, QuotesForTheShellThenEscapesForAppleScript) {
    EXPECT_EQ(PrivilegedRunner::shellQuoted("/a b/it's"), "'/a b/it'\\''s'");
    EXPECT_EQ(PrivilegedRunner::appleScriptEscaped(R"(say "hi" \ bye)"), R"(say \"hi\" \\ bye)");
    // The backslashes produced by shell quoting are themselves escaped for AppleScript.
    EXPECT_EQ(
        PrivilegedRunner::scriptSource("/R/it's \"x\"\\.sh"),
        R"(do shell script "/bin/bash '/R/it'\\''s \"x\"\\.sh'" with administrator privileges)");
}

TEST(PrivilegedScript, StandInReadsBackExactlyTheCommandThatWasBuilt) {
    for (const std::string path : {"/plain/uninstall.sh", "/it's/\"q\"/back\\slash/$HOME `x`.sh",
                                   "/tab\there/new\nline.sh", "/ends/with/backslash\\"}) {
        const auto script = AppleScript::fromSource(PrivilegedRunner::scriptSource(path));
        ASSERT_TRUE(script) << path;
        EXPECT_EQ(script->shellCommand(), "/bin/bash " + PrivilegedRunner::shellQuoted(path));
    }
}

TEST(PrivilegedScript, StandInUnescapesLiteralsAndRejectsAnythingElse) {
    const auto escapes = AppleScript::fromSource(
        R"(do shell script "a\tb\nc\rd\"e\\f" with administrator privileges)");
    ASSERT_TRUE(escapes);
    EXPECT_EQ(escapes->shellCommand(), "a\tb\nc\rd\"e\\f");

    for (const std::string source : {
             R"(do shell script "ls")",                                        // no privileges
             R"(do shell script "ls" with administrator privileges and more)", // trailing text
             R"(do shell script "ls" & "x" with administrator privileges)",    // concatenation
             R"(do shell script "l\qs" with administrator privileges)",        // unknown escape
             R"(do shell script "ls with administrator privileges)",           // unterminated
             R"(display dialog "ls" with administrator privileges)",
         }) {
        EXPECT_FALSE(AppleScript::fromSource(source)) << source;
    }
}

// The built command, run by a real shell, reaches bash with the awkward path as one argument.
TEST(PrivilegedScript, AwkwardScriptPathRunsThroughTheShellUnchanged) {
    const fs::path folder = fs::temp_directory_path() /
                            ("engine-b-quoting-" + std::to_string(getpid())) / "it's \"a\" \\dir";
    fs::create_directories(folder);
    const fs::path marker = folder.parent_path() / "ran";
    const fs::path script = folder / "un'install \"x\" \\.sh";
    std::ofstream(script) << "echo \"$0\" > '" << marker.string() << "'\n";

    const auto parsed = AppleScript::fromSource(PrivilegedRunner::scriptSource(script.string()));
    ASSERT_TRUE(parsed);
    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", parsed->shellCommand().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    std::string ranAs;
    std::getline(std::ifstream(marker), ranAs);
    EXPECT_EQ(ranAs, script.string());
    fs::remove_all(folder.parent_path());
}

TEST(PrivilegedScript, DismissedDialogAndAnyCancelMessageMeanAdminCancelled) {
    using Info = AppleScript::ErrorInfo;
    for (const Info& info : {Info{"User canceled.", -128}, Info{std::nullopt, -128},
                             Info{"Authentication CANCELLED by user", 1},
                             Info{"request was Cancel-led", std::nullopt}}) {
        EXPECT_EQ(PrivilegedRunner::classify(info).kind(), EngineError::Kind::adminCancelled);
    }

    const EngineError failed = PrivilegedRunner::classify(Info{"Could not remove /tmp/nuvra.", 1});
    EXPECT_EQ(failed.kind(), EngineError::Kind::failed);
    EXPECT_EQ(failed.sentence(), "Privileged removal failed: Could not remove /tmp/nuvra.");
    EXPECT_EQ(PrivilegedRunner::classify(Info{std::nullopt, 127}).sentence(),
              "Privileged removal failed: Unknown error");
}
