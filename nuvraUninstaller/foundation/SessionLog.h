#pragma once

#include "SessionHeader.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// One session log: the file "uninstall.log" in its folder, rotated once per process, the session
// marker that tells an abnormal end, and the crash-report scan at session start. The process-wide
// UninstallerLog facade owns one; tests make their own in temporary folders.
class SessionLog {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    struct Options {
        std::string logDirectory;
        // Searched in this order at session start.
        std::vector<std::string> crashReportFolders;
        Clock now = [] { return std::chrono::system_clock::now(); };
        std::function<SessionHeaderFacts()> headerFacts = &SessionHeaderFacts::current;
        // For root's logs of other accounts' runs: the folder and its files are root's alone, and
        // the folder it lies in must be root's and writable by no one else, or nothing is logged.
        bool ownerOnly = false;

        // ~/Library/Logs/nuvraUninstaller, reports from the user's and the system's
        // DiagnosticReports.
        static Options forHome(const std::string& homeDirectory);
    };

    // A log larger than this is moved to "uninstall.old.log" when the file is first opened.
    static constexpr long long rotationThresholdBytes = 1'000'000;

    explicit SessionLog(Options options);
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // Appends "[timestamp] message\n" in one write, whole even when threads log at once. Opens
    // the file on first use; without a file every call is a no-op.
    void file(std::string_view message);

    void fileSessionStart();
    void fileSessionEnd();

    // Creates the log folder as the options say; false when it is not a safe place for the log.
    // Idempotent; the first write does it too.
    bool prepareFolder();

    const std::string& logDirectory() const { return options_.logDirectory; }
    std::string logFile() const;
    std::string oldLogFile() const;
    std::string sessionMarkerFile() const;

    // The open log file's descriptor (opening it if this is the first use), or -1 when there is
    // none. The crash handler writes through it without taking the lock.
    int descriptor();

private:
    void openIfNeeded();
    mode_t fileMode() const;
    void rotateIfTooLarge() const;
    void writeWhole(const std::string& bytes);

    void checkPreviousSession();
    void checkCrashReports();
    void writeSessionMarker();
    void removeSessionMarker();

    Options options_;
    std::mutex writeLock_;
    bool openAttempted_ = false;
    std::atomic<int> fileDescriptor_{-1};
};
