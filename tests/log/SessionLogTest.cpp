#include "foundation/SessionLog.h"

#include "FileBirthTime.h"
#include "LogTestSupport.h"
#include "foundation/LogTimestamp.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using std::chrono::system_clock;

const std::string warningMark = "\u26A0\uFE0F ";
const SessionHeaderFacts knownFacts{"2.3.1", "417", "14.5.0", "23F79", "Mac15,6", "arm64"};

SessionLog::Options optionsIn(const TemporaryFolder& folder,
                              system_clock::time_point now = system_clock::now()) {
    SessionLog::Options options;
    options.logDirectory = folder / "Logs/nuvraUninstaller";
    options.crashReportFolders = {folder / "UserReports", folder / "SystemReports"};
    options.now = [now] { return now; };
    options.headerFacts = [] { return knownFacts; };
    return options;
}

std::vector<std::string> messagesIn(const std::string& logFile) {
    std::vector<std::string> messages;
    for (const std::string& line : readLines(logFile))
        messages.push_back(messageOf(line));
    return messages;
}

long countOf(const std::vector<std::string>& messages, const std::string& wanted) {
    return std::count(messages.begin(), messages.end(), wanted);
}

TEST(SessionLog, SessionStartWritesTheHeaderInTimestampedLinesAndLeavesAMarker) {
    TemporaryFolder folder;
    const auto now = system_clock::now();
    SessionLog log(optionsIn(folder, now));
    log.fileSessionStart();

    const std::string separator = [] {
        std::string text;
        for (int i = 0; i < 60; ++i)
            text += "\u2500";
        return text;
    }();
    const std::vector<std::string> expected = {separator, "nuvra Uninstaller v2.3.1 (build 417)",
                                               "macOS 14.5.0 (23F79)", "Machine: Mac15,6 [arm64]",
                                               separator};
    EXPECT_EQ(messagesIn(log.logFile()), expected);
    const std::string stamp = LogTimestamp::format(now);
    for (const std::string& line : readLines(log.logFile()))
        EXPECT_EQ(line.substr(0, 22), "[" + stamp + "] ");
    EXPECT_EQ(readWholeFile(log.sessionMarkerFile()), stamp);
}

TEST(SessionLog, PreviousSessionLineAppearsOnlyAfterAnAbnormalEnd) {
    TemporaryFolder folder;
    const auto crashedRunStart = system_clock::from_time_t(1'700'000'000);
    {
        SessionLog crashedRun(optionsIn(folder, crashedRunStart));
        crashedRun.fileSessionStart(); // and never ends
    }
    const std::string abnormal = warningMark + "Previous session (started " +
                                 LogTimestamp::format(crashedRunStart) + ") ended abnormally";
    {
        SessionLog cleanRun(optionsIn(folder));
        cleanRun.fileSessionStart();
        cleanRun.file("Uninstall started");
        cleanRun.fileSessionEnd();
        EXPECT_FALSE(std::filesystem::exists(cleanRun.sessionMarkerFile()));
        EXPECT_EQ(messagesIn(cleanRun.logFile()).back(), "Session ended normally");
    }
    SessionLog nextRun(optionsIn(folder));
    nextRun.fileSessionStart();

    const auto messages = messagesIn(nextRun.logFile());
    EXPECT_EQ(countOf(messages, abnormal), 1);
    EXPECT_EQ(
        std::count_if(messages.begin(), messages.end(),
                      [](const std::string& m) { return m.find("Previous session") != m.npos; }),
        1);
}

TEST(SessionLog, UnreadableOrNonUtf8MarkerGivesThePlainLineAndIsReplaced) {
    const auto markerSetups = {
        +[](const std::string& marker) { writeWholeFile(marker, "2024-01-01 \xff\xfe 10:00:00"); },
        +[](const std::string& marker) {
            ASSERT_EQ(symlink("/nonexistent/target", marker.c_str()), 0);
        },
        +[](const std::string& marker) { writeWholeFile(marker, std::string(100'000, '7')); },
    };
    for (const auto setUpMarker : markerSetups) {
        TemporaryFolder folder;
        const auto now = system_clock::now();
        SessionLog log(optionsIn(folder, now));
        std::filesystem::create_directories(folder / "Logs/nuvraUninstaller");
        setUpMarker(log.sessionMarkerFile());

        log.fileSessionStart();

        const auto messages = messagesIn(log.logFile());
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.front(), warningMark + "Previous session ended abnormally");
        // The old marker is gone; the one left now is this session's own.
        struct stat info {};
        ASSERT_EQ(lstat(log.sessionMarkerFile().c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(readWholeFile(log.sessionMarkerFile()), LogTimestamp::format(now));
    }
}

TEST(SessionLog, RotatesOnlyALogLargerThanOneMillionBytes) {
    for (const std::size_t size : {std::size_t{1'000'000}, std::size_t{1'000'001}}) {
        TemporaryFolder folder;
        SessionLog log(optionsIn(folder));
        std::filesystem::create_directories(folder / "Logs/nuvraUninstaller");
        const std::string previousContent(size, 'x');
        writeWholeFile(log.logFile(), previousContent);
        writeWholeFile(log.oldLogFile(), "an older generation\n");

        log.file("first line of this run");

        const std::string current = readWholeFile(log.logFile());
        if (size == 1'000'000) {
            EXPECT_EQ(current.size(), size + 22 + std::string("first line of this run\n").size());
            EXPECT_EQ(readWholeFile(log.oldLogFile()), "an older generation\n");
        } else {
            EXPECT_EQ(messagesIn(log.logFile()),
                      std::vector<std::string>{"first line of this run"});
            EXPECT_EQ(readWholeFile(log.oldLogFile()), previousContent);
        }
    }
}

TEST(SessionLog, ListsFreshCrashReportsOfTheApplicationFromBothFolders) {
    TemporaryFolder folder;
    std::filesystem::create_directories(folder / "UserReports");
    std::filesystem::create_directories(folder / "SystemReports");
    writeWholeFile(folder / "UserReports/NUVRAUNINSTALLER_2024-05-01.ips", "");
    writeWholeFile(folder / "UserReports/nuvra_2024-05-01.ips", ""); // another program
    writeWholeFile(folder / "SystemReports/nuvraUninstaller-x86.crash", "");

    const auto born =
        FileBirthTime::of(AT_FDCWD, (folder / "UserReports/nuvra_2024-05-01.ips").c_str());
    if (!born)
        GTEST_SKIP() << "this file system keeps no birth times";
    // Birth times cannot be set back, so the clock moves forward instead.
    const system_clock::time_point createdAbout = std::chrono::floor<std::chrono::seconds>(*born);

    SessionLog dayLater(optionsIn(folder, createdAbout + std::chrono::hours(23)));
    dayLater.fileSessionStart();
    const auto messages = messagesIn(dayLater.logFile());
    const std::string prefix = warningMark + "System crash report found: ";
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0], prefix + "NUVRAUNINSTALLER_2024-05-01.ips (created " +
                               LogTimestamp::format(createdAbout) + ")");
    EXPECT_EQ(messages[1].substr(0, prefix.size() + 28), prefix + "nuvraUninstaller-x86.crash (");
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [&](const std::string& m) { return m.starts_with(prefix); }),
              2);

    TemporaryFolder otherLogs;
    auto options = optionsIn(otherLogs, createdAbout + std::chrono::hours(25));
    options.crashReportFolders = {folder / "UserReports", folder / "SystemReports"};
    SessionLog twoDaysLater(std::move(options));
    twoDaysLater.fileSessionStart();
    for (const std::string& message : messagesIn(twoDaysLater.logFile()))
        EXPECT_FALSE(message.starts_with(prefix)) << message;
}

TEST(SessionLog, WithoutALogFolderTheSessionRunsAndWritesNothing) {
    TemporaryFolder folder;
    writeWholeFile(folder / "blocker", "a file where a folder should be");
    auto options = optionsIn(folder);
    options.logDirectory = folder / "blocker/Logs/nuvraUninstaller";
    SessionLog log(std::move(options));

    log.fileSessionStart();
    log.file("Uninstall started");
    log.fileSessionEnd();

    EXPECT_EQ(log.descriptor(), -1);
    EXPECT_EQ(readWholeFile(folder / "blocker"), "a file where a folder should be");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(SessionLog, LinesFromManyThreadsArriveWholeAndNoneIsLost) {
    TemporaryFolder folder;
    SessionLog log(optionsIn(folder));
    constexpr int threadCount = 8;
    constexpr int linesPerThread = 10'000;
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < linesPerThread; ++i)
                log.file("  Worker " + std::to_string(t) + ": line " + std::to_string(i) +
                         " — done ✅");
        });
    }
    for (auto& thread : threads)
        thread.join();

    const std::regex wholeLine(
        R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\]   Worker (\d): line (\d+) — done ✅$)");
    std::set<std::pair<int, int>> seen;
    for (const std::string& line : readLines(log.logFile())) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, wholeLine)) << line;
        seen.insert({std::stoi(match[1]), std::stoi(match[2])});
    }
    EXPECT_EQ(seen.size(), std::size_t{threadCount * linesPerThread});
}

} // namespace
