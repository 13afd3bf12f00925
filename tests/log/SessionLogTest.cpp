#include "foundation/SessionLog.h"

#include "FileBirthTime.h"
#include "LogTestSupport.h"
#include "foundation/CrashReportScan.h"
#include "foundation/LogTimestamp.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

TEST(SessionLog, MarkerThatIsNotOneLineOfTimestampTextGivesThePlainLineAndIsReplaced) {
    const auto markerSetups = {
        +[](const std::string& marker) { writeWholeFile(marker, "2024-01-01 \xff\xfe 10:00:00"); },
        +[](const std::string& marker) { writeWholeFile(marker, std::string(100'000, '7')); },
        // Would forge a line of its own, or rewrite the terminal line it is shown on.
        +[](const std::string& marker) {
            writeWholeFile(marker, "x\n[2024-01-01 10:00:01] Uninstall finished (residues: 0)");
        },
        +[](const std::string& marker) { writeWholeFile(marker, "\x1b[2K2024-01-01 10:00:00"); },
        +[](const std::string& marker) { ASSERT_EQ(mkfifo(marker.c_str(), 0600), 0); },
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

TEST(SessionLog, MarkerLinkCountsByWhatItPointsTo) {
    TemporaryFolder folder;
    SessionLog log(optionsIn(folder));
    std::filesystem::create_directories(folder / "Logs/nuvraUninstaller");
    writeWholeFile(folder / "elsewhere", "2024-01-01 10:00:00");
    ASSERT_EQ(symlink((folder / "elsewhere").c_str(), log.sessionMarkerFile().c_str()), 0);
    log.fileSessionStart();
    EXPECT_EQ(messagesIn(log.logFile()).front(),
              warningMark + "Previous session (started 2024-01-01 10:00:00) ended abnormally");
    EXPECT_EQ(readWholeFile(folder / "elsewhere"), "2024-01-01 10:00:00");

    TemporaryFolder other;
    SessionLog dangling(optionsIn(other));
    std::filesystem::create_directories(other / "Logs/nuvraUninstaller");
    ASSERT_EQ(symlink("/nonexistent/target", dangling.sessionMarkerFile().c_str()), 0);
    dangling.fileSessionStart();
    for (const std::string& message : messagesIn(dangling.logFile()))
        EXPECT_EQ(message.find("Previous session"), std::string::npos) << message;
    struct stat info {};
    ASSERT_EQ(lstat(dangling.sessionMarkerFile().c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

// A full disk, played by a file-size limit in a child: after `before` (if any) is written, the log
// may grow by only ten bytes, and a longer line is cut short.
void writeOnAlmostFullDisk(const SessionLog::Options& options, const char* before) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SessionLog log(options);
        if (before != nullptr)
            log.file(before);
        signal(SIGXFSZ, SIG_IGN);
        struct stat info {};
        const off_t size = stat(log.logFile().c_str(), &info) == 0 ? info.st_size : 0;
        const rlimit limit{static_cast<rlim_t>(size) + 10, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        log.file("a line too long for the space that is left");
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
}

TEST(SessionLog, ALineGoesInWholeOrNotAtAllAndANewSessionStartsOnItsOwnLine) {
    TemporaryFolder folder;
    const SessionLog::Options options = optionsIn(folder);
    std::filesystem::create_directories(options.logDirectory);
    const std::string logFile = options.logDirectory + "/uninstall.log";
    writeWholeFile(logFile, "[2026-12-09 18:00:00] earlier line\n[2026-12-09 18:");
    writeOnAlmostFullDisk(options, "first"); // "first" ends the torn line first

    SessionLog next(options);
    next.file("next session");
    const std::string content = readWholeFile(logFile);
    const std::vector<std::string> lines = readLines(logFile);
    ASSERT_EQ(lines.size(), 4u) << content;
    EXPECT_EQ(lines[1], "[2026-12-09 18:");
    EXPECT_EQ(messageOf(lines[2]), "first");
    EXPECT_EQ(messageOf(lines[3]), "next session");
    EXPECT_EQ(content.back(), '\n');

    // A brand-new log whose very first line is cut short is left empty, not holding a fragment.
    TemporaryFolder freshFolder;
    const SessionLog::Options fresh = optionsIn(freshFolder);
    writeOnAlmostFullDisk(fresh, nullptr);
    const std::string freshLog = fresh.logDirectory + "/uninstall.log";
    EXPECT_TRUE(std::filesystem::exists(freshLog));
    EXPECT_EQ(readWholeFile(freshLog), "");
}

TEST(SessionLog, RotatesOnlyALogLargerThanOneMillionBytes) {
    for (const std::size_t size : {std::size_t{1'000'000}, std::size_t{1'000'001}}) {
        TemporaryFolder folder;
        SessionLog log(optionsIn(folder));
        std::filesystem::create_directories(folder / "Logs/nuvraUninstaller");
        const std::string previousContent = std::string(size - 1, 'x') + "\n";
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

    // Exactly 24 hours old is no longer "later than the cut-off"; a nanosecond younger still is.
    const std::vector<std::string> userReports{folder / "UserReports"};
    EXPECT_TRUE(crashReportsCreatedAfter(userReports, "nuvra_", *born).empty());
    EXPECT_EQ(
        crashReportsCreatedAfter(userReports, "nuvra_", *born - std::chrono::nanoseconds(1)).size(),
        1u);
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
