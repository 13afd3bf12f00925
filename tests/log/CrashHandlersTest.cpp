#include "foundation/CrashHandlers.h"

#include "LogTestSupport.h"
#include "foundation/LogTimestamp.h"
#include "foundation/SessionLog.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const std::string crashMark = "\u203C\uFE0F CRASH: ";

// Runs `crash` in a forked child whose session log lives in `logFolder`, with the crash handlers
// installed; returns the child's wait status.
int statusOfCrashingChild(const std::string& logFolder, const std::function<void()>& crash) {
    const pid_t child = fork();
    if (child == 0) {
        const rlimit noCoreFile{0, 0};
        setrlimit(RLIMIT_CORE, &noCoreFile);
        SessionLog::Options options;
        options.logDirectory = logFolder;
        auto* log = new SessionLog(std::move(options)); // lives until the process dies
        CrashHandlers::install(*log);
        log->file("before the crash");
        crash();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

void writeIntoInaccessiblePage() {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
}

// Recurses until the stack is gone; the always-true test hides that from the compiler.
[[gnu::noinline]] int recurseUntilTheStackOverflows(int depth) {
    volatile char padding[1024];
    padding[0] = static_cast<char>(depth);
    if (padding[0] != 127 || depth >= 0)
        return recurseUntilTheStackOverflows(depth + 1) + padding[0];
    return 0;
}

[[gnu::noinline]] void throwFromDepth(int depth, const std::function<void()>& thrower) {
    if (depth == 0)
        thrower();
    else
        throwFromDepth(depth - 1, thrower);
    asm volatile(""); // keeps each level a real frame
}

bool killedBy(int status, int signalNumber) {
    return WIFSIGNALED(status) && WTERMSIG(status) == signalNumber;
}

TEST(CrashHandlers, FatalSignalLogsATimestampedLineAndStillKillsTheProcess) {
    struct Case {
        const char* name;
        int signalNumber;
        void (*crash)();
    };
    const Case cases[] = {
        {"SIGSEGV", SIGSEGV, writeIntoInaccessiblePage},
        {"SIGABRT", SIGABRT, [] { std::abort(); }},
        {"SIGSEGV", SIGSEGV, [] { recurseUntilTheStackOverflows(0); }},
        {"SIGBUS", SIGBUS, [] { std::raise(SIGBUS); }},
        {"SIGFPE", SIGFPE, [] { std::raise(SIGFPE); }},
        {"SIGILL", SIGILL, [] { std::raise(SIGILL); }},
        {"SIGTRAP", SIGTRAP, [] { std::raise(SIGTRAP); }},
    };
    for (const Case& c : cases) {
        TemporaryFolder folder;
        const auto before = std::chrono::system_clock::now();
        const int status = statusOfCrashingChild(folder.path(), c.crash);
        const auto after = std::chrono::system_clock::now();

        EXPECT_TRUE(killedBy(status, c.signalNumber)) << c.name << " status " << status;
        const auto lines = readLines(folder / "uninstall.log");
        ASSERT_EQ(lines.size(), 2u) << c.name;
        EXPECT_EQ(messageOf(lines[0]), "before the crash");
        EXPECT_EQ(messageOf(lines[1]), crashMark + c.name);
        // The handler's own clock arithmetic must agree with the ordinary local-time format.
        const std::string stamp = lines[1].substr(1, LogTimestamp::textLength);
        EXPECT_TRUE(stamp == LogTimestamp::format(before) || stamp == LogTimestamp::format(after))
            << stamp;
    }
}

TEST(CrashHandlers, EscapingExceptionLogsTypeMessageAndTenStackLines) {
    struct Case {
        std::string expectedHeadline;
        std::function<void()> thrower;
    };
    const Case cases[] = {
        {"std::runtime_error \u2014 disk on fire",
         [] { throw std::runtime_error("disk on fire"); }},
        {"std::logic_error \u2014 unknown", [] { throw std::logic_error(""); }},
        {"int \u2014 unknown", [] { throw 42; }},
    };
    for (const Case& c : cases) {
        TemporaryFolder folder;
        // On its own thread, so that the exception really escapes (the test body would catch it).
        const int status = statusOfCrashingChild(
            folder.path(), [&] { std::thread([&] { throwFromDepth(20, c.thrower); }).join(); });

        EXPECT_TRUE(killedBy(status, SIGABRT)) << c.expectedHeadline << " status " << status;
        const auto lines = readLines(folder / "uninstall.log");
        ASSERT_EQ(lines.size(), 13u) << c.expectedHeadline;
        EXPECT_EQ(messageOf(lines[1]), crashMark + c.expectedHeadline);
        // The stack starts at the thrower, not inside the handler or the C++ runtime.
        EXPECT_EQ(messageOf(lines[2]).find("libstdc++"), std::string::npos) << lines[2];
        for (std::size_t i = 2; i < 12; ++i) {
            EXPECT_TRUE(messageOf(lines[i]).starts_with("  ")) << lines[i];
            EXPECT_GT(messageOf(lines[i]).size(), 2u);
        }
        // The runtime then aborts, as it would have without the handler.
        EXPECT_EQ(messageOf(lines[12]), crashMark + "SIGABRT");
    }
}

TEST(CrashHandlers, SignalsWithoutAKnownNameAreNumbered) {
    char name[16];
    EXPECT_EQ(std::string(name, static_cast<std::size_t>(CrashHandlers::signalName(SIGTRAP, name))),
              "SIGTRAP");
    EXPECT_EQ(std::string(name, static_cast<std::size_t>(CrashHandlers::signalName(64, name))),
              "SIG64");
}

} // namespace
