#include "foundation/Shell.h"

#include "Waiting.h"
#include "foundation/Deadlines.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

Shell::Result sh(const std::string& script, const std::optional<std::string>& input = {}) {
    return Shell::run("/bin/sh", {"-c", script}, input);
}

TEST(Shell, MergesBothStreamsInWriteOrderAndReportsExitStatus) {
    Shell::Result result = sh("echo one; echo two >&2; echo three; exit 3");
    EXPECT_EQ(result.terminationStatus, 3);
    EXPECT_EQ(result.output(), "one\ntwo\nthree\n");
    EXPECT_EQ(result.data.view(), result.output());

    Shell::Result errorOnly = sh("echo 'only here' >&2");
    EXPECT_EQ(errorOnly.terminationStatus, 0);
    EXPECT_EQ(errorOnly.output(), "only here\n");
}

TEST(Shell, SilentFailureIsAResultNotAnError) {
    Shell::Result result = Shell::run("/bin/false", {});
    EXPECT_EQ(result.terminationStatus, 1);
    EXPECT_EQ(result.output(), "");
    EXPECT_TRUE(result.data.empty());
}

TEST(Shell, ChildEndedBySignalReportsMinusTheSignal) {
    EXPECT_EQ(sh("kill -TERM $$").terminationStatus, -SIGTERM);
    EXPECT_EQ(sh("kill -KILL $$").terminationStatus, -SIGKILL);
}

TEST(Shell, ArgumentsArePassedVerbatimWithoutAShell) {
    Shell::Result result =
        Shell::run("/usr/bin/printf", {"[%s]", "two words", "*", "", "$HOME", "a\"b'c"});
    EXPECT_EQ(result.output(), "[two words][*][][$HOME][a\"b'c]");
}

TEST(Shell, ProgramsThatCannotStartThrowWithTheSystemsReason) {
    try {
        Shell::run("/no/such/program", {});
        FAIL() << "expected a launch error";
    } catch (const Shell::LaunchError& error) {
        EXPECT_EQ(error.errorNumber(), ENOENT);
        EXPECT_STREQ(error.what(), "/no/such/program: No such file or directory");
    }
    // A file that exists but may not be executed.
    EXPECT_THROW(Shell::run("/etc/hostname", {}), Shell::LaunchError);
    // No search path and no current-folder look-up.
    EXPECT_THROW(Shell::run("sh", {"-c", "true"}), Shell::LaunchError);
    EXPECT_THROW(Shell::run("/bin/echo", {std::string("cut\0short", 9)}), Shell::LaunchError);

    EXPECT_FALSE(Shell::runIgnoringLaunchFailure("/no/such/program", {}).has_value());
    std::optional<Shell::Result> started = Shell::runIgnoringLaunchFailure("/bin/false", {});
    ASSERT_TRUE(started.has_value());
    EXPECT_EQ(started->terminationStatus, 1);
}

TEST(Shell, InputIsFedAndEndsWithEndOfFile) {
    EXPECT_EQ(sh("cat; echo done", std::string("line\n")).output(), "line\ndone\n");
    // Empty input is still an input: the child sees end of file at once.
    EXPECT_EQ(sh("wc -c", std::string()).output(), "0\n");
}

TEST(Shell, InvalidUtf8KeepsTheRawBytesOnly) {
    Shell::Result result = Shell::run("/usr/bin/printf", {"ok\\377\\n"});
    EXPECT_EQ(result.output(), "");
    EXPECT_EQ(result.data, "ok\xff\n");

    Shell::Result accented = Shell::run("/usr/bin/printf", {"d\xc3\xa9j\xc3\xa0 \xe2\x80\x94"});
    EXPECT_EQ(accented.output(), "d\xc3\xa9j\xc3\xa0 \xe2\x80\x94");
}

// The text is checked as it arrives: a character split across two reads is still valid, and one
// cut off by the end of the output is not.
TEST(Shell, Utf8CheckSpansReads) {
    EXPECT_EQ(sh("printf 'd\\303'; sleep 0.2; printf '\\251j\\340'; sleep 0.2; printf '\\240\\200'")
                  .output(),
              "d\xc3\xa9j\xe0\xa0\x80");
    Shell::Result cutOff = sh("printf 'ok\\342\\200'");
    EXPECT_EQ(cutOff.output(), "");
    EXPECT_EQ(cutOff.data, "ok\xe2\x80");
}

TEST(Shell, CollectsLargeOutputWhole) {
    const std::size_t size = 48u << 20;
    Shell::Result result = Shell::run("/usr/bin/head", {"-c", std::to_string(size), "/dev/zero"});
    EXPECT_EQ(result.terminationStatus, 0);
    ASSERT_EQ(result.data.size(), size);
    EXPECT_EQ(result.data.view().find_first_not_of('\0'), std::string_view::npos);
}

// The child fills the output pipe before it reads anything; writing all input first would leave
// both sides waiting on each other forever.
TEST(Shell, ChildThatPrintsBeforeReadingDoesNotDeadlock) {
    const std::string input(8u << 20, 'i');
    Shell::Result result = sh("head -c 8388608 /dev/zero; wc -c", input);
    ASSERT_EQ(result.data.size(), (8u << 20) + 8);
    EXPECT_EQ(result.data.view().substr(8u << 20), "8388608\n");
}

TEST(Shell, ChildThatIgnoresItsInputDoesNotKillUs) {
    const std::string input(8u << 20, 'i');
    Shell::Result result = sh("echo bye", input);
    EXPECT_EQ(result.terminationStatus, 0);
    EXPECT_EQ(result.output(), "bye\n");

    // Nothing pending afterwards, and our signal mask is as it was.
    sigset_t pending;
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0);
}

TEST(Shell, ChildInheritsOnlyTheStandardStreams) {
    // Deliberately without close-on-exec, as a careless library would open it.
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 0);
    // The shell names each descriptor up to the stray one that it can duplicate, i.e. is open.
    const std::string listOpen = "i=0; while [ $i -le " + std::to_string(stray) +
                                 " ]; do (: <&$i) 2>/dev/null && echo $i; i=$((i+1)); done";
    EXPECT_EQ(sh(listOpen).output(), "0\n1\n2\n");
    EXPECT_EQ(sh(listOpen, std::string("x")).output(), "0\n1\n2\n");
    ::close(stray);
}

// With pipes inherited across concurrent spawns, one child would hold another's input open and
// `cat` would never see end of file.
TEST(Shell, ConcurrentCallsAreIndependent) {
    constexpr int threads = 8;
    std::vector<std::string> outputs(threads);
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back([i, &outputs] {
            for (int round = 0; round < 10; ++round) {
                outputs[i] =
                    Shell::run("/bin/cat", {}, std::string(100000, char('a' + i))).data.str();
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (int i = 0; i < threads; ++i) {
        EXPECT_EQ(outputs[i], std::string(100000, char('a' + i)));
    }
}

// A tool that never ends, or ends its output and lingers, is stopped at its deadline with every
// process it started, and the run says which tool it was; what a tool prints beyond what the
// caller keeps is read and dropped; a cancelled wait stops the tool at once.
TEST(Shell, EveryWaitEndsAtItsDeadlineOrWhenCancelled) {
    using namespace std::chrono_literals;
    const Deadlines::Values before = Deadlines::current();
    Deadlines::shortenForTesting({1s, 2s, 3s, 2s});
    Shell::takeMissedDeadlines();

    Shell::Options asDump;
    asDump.wait = Shell::Wait::longTool;
    asDump.shownName = "security";
    // The child starts a helper that keeps the output open, then waits for ever.
    const Shell::Result hung =
        Shell::run("/bin/sh", {"-c", "sleep 1000 & echo $!; exec sleep 1000"}, asDump);
    EXPECT_TRUE(hung.timedOut);
    EXPECT_EQ(hung.terminationStatus, -SIGKILL);
    pid_t helper = 0;
    std::istringstream(std::string(hung.output())) >> helper;
    ASSERT_GT(helper, 0);
    Waiting::untilEnded({helper}); // killed with its group, not left behind

    // Its output closed, the child still runs: the deadline still holds.
    const Shell::Result lingering = sh("exec >/dev/null 2>&1; exec sleep 1000");
    EXPECT_TRUE(lingering.timedOut);
    EXPECT_EQ(Shell::takeMissedDeadlines(),
              (std::vector<std::string>{"security did not answer within 2 s and was stopped.",
                                        "sh did not answer within 1 s and was stopped."}));

    Shell::Options small;
    small.keepAtMost = 10;
    const Shell::Result flood =
        Shell::run("/usr/bin/head", {"-c", std::to_string(64u << 20), "/dev/zero"}, small);
    EXPECT_EQ(flood.terminationStatus, 0);
    EXPECT_TRUE(flood.cut);
    EXPECT_EQ(flood.data.size(), 10u);

    Shell::Cancellation cancellation;
    Shell::Options cancellable;
    cancellable.wait = Shell::Wait::person;
    cancellable.cancellation = &cancellation;
    std::thread canceller([&] { cancellation.cancel(); });
    const Shell::Result stopped = Shell::run("/bin/sleep", {"1000"}, cancellable);
    canceller.join();
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_FALSE(stopped.timedOut);
    EXPECT_TRUE(Shell::takeMissedDeadlines().empty());
    Deadlines::shortenForTesting(before);
}

} // namespace
