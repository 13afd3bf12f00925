// How the privileged removal script is put together, read back and judged. A mistake here runs
// the wrong command as root; the simulated-Mac tests run an awkward path through the real shell.
#include "AppleScript.h"
#include "engine/PrivilegedRunner.h"
#include "foundation/MainThreadQueue.h"

#include <gtest/gtest.h>
#include <thread>

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

// The command-line program has no event loop: its main thread serves a plain queue while the run
// goes on in a worker. A main-thread-only script runner must still be called on that main thread,
// and its refusal must reach main as the engine's error.
TEST(PrivilegedScript, TheCommandLineQueueRunsTheScriptOnItsMainThread) {
    const std::thread::id mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::string ranCommand;
    AppleScript::overrideExecutionForTesting([&](const std::string& command) {
        ranOn = std::this_thread::get_id();
        ranCommand = command;
        return std::optional<AppleScript::ErrorInfo>(
            AppleScript::ErrorInfo{"User canceled.", -128});
    });
    std::thread::id workedOn;
    std::thread::id postedOn; // posted as the work ends: must still run, on main, before return
    try {
        MainThreadQueue::runWorkOnWorker([&] {
            workedOn = std::this_thread::get_id();
            struct PostOnExit {
                std::thread::id& target;
                ~PostOnExit() {
                    MainThread::post([&to = target] { to = std::this_thread::get_id(); });
                }
            } postOnExit{postedOn};
            PrivilegedRunner::runScriptAsAdmin("/R/uninstall.sh");
        });
        ADD_FAILURE() << "the dismissed dialog was not reported";
    } catch (const EngineError& error) {
        EXPECT_EQ(error.kind(), EngineError::Kind::adminCancelled);
    }
    AppleScript::overrideExecutionForTesting({});
    EXPECT_NE(workedOn, mainThread);
    EXPECT_EQ(ranOn, mainThread);
    EXPECT_EQ(postedOn, mainThread);
    EXPECT_EQ(ranCommand, "/bin/bash '/R/uninstall.sh'");
}
