#include "SessionLog.h"

#include "CrashReportScan.h"
#include "LogTimestamp.h"
#include "SmallFile.h"
#include "Utf8.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* crashReportNameFragment = "nuvraUninstaller";
// A marker holds one timestamp; anything far larger is not ours and is not copied into the log.
constexpr std::size_t markerReadLimit = 4096;

void createFolderWithParents(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
}

void removeFileIgnoringErrors(const std::string& path) {
    ::unlink(path.c_str());
}

bool writeAll(int descriptor, const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(descriptor, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// Written beside the target and renamed over it, so a reader never sees half a marker.
void writeFileAtomically(const std::string& path, const std::string& content) {
    std::string temporaryPath = path + ".XXXXXX";
    const int descriptor = ::mkostemp(temporaryPath.data(), O_CLOEXEC);
    if (descriptor < 0)
        return;
    const bool written = writeAll(descriptor, content.data(), content.size());
    ::fchmod(descriptor, 0644);
    ::close(descriptor);
    if (!written || ::rename(temporaryPath.c_str(), path.c_str()) != 0)
        removeFileIgnoringErrors(temporaryPath);
}

} // namespace

SessionLog::Options SessionLog::Options::forHome(const std::string& homeDirectory) {
    Options options;
    options.logDirectory = homeDirectory + "/Library/Logs/nuvraUninstaller";
    options.crashReportFolders = {homeDirectory + "/Library/Logs/DiagnosticReports",
                                  "/Library/Logs/DiagnosticReports"};
    return options;
}

SessionLog::SessionLog(Options options) : options_(std::move(options)) {
    LogTimestamp::refreshUtcOffset();
}

SessionLog::~SessionLog() {
    const int descriptor = fileDescriptor_.exchange(-1);
    if (descriptor >= 0)
        ::close(descriptor);
}

std::string SessionLog::logFile() const {
    return options_.logDirectory + "/uninstall.log";
}
std::string SessionLog::oldLogFile() const {
    return options_.logDirectory + "/uninstall.old.log";
}
std::string SessionLog::sessionMarkerFile() const {
    return options_.logDirectory + "/.session_active";
}

int SessionLog::descriptor() {
    std::lock_guard guard(writeLock_);
    openIfNeeded();
    return fileDescriptor_.load();
}

// Runs once per process and log, under the write lock.
void SessionLog::openIfNeeded() {
    if (openAttempted_)
        return;
    openAttempted_ = true;
    createFolderWithParents(options_.logDirectory);
    rotateIfTooLarge();
    // Never through a symbolic link: the log must not append to some other file.
    fileDescriptor_.store(
        ::open(logFile().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
}

void SessionLog::rotateIfTooLarge() const {
    struct stat info {};
    if (::lstat(logFile().c_str(), &info) != 0 || info.st_size <= rotationThresholdBytes)
        return;
    removeFileIgnoringErrors(oldLogFile());
    ::rename(logFile().c_str(), oldLogFile().c_str());
}

void SessionLog::file(std::string_view message) {
    std::string line = "[" + LogTimestamp::format(options_.now()) + "] ";
    line.append(message);
    line.push_back('\n');
    writeWhole(line);
}

void SessionLog::writeWhole(const std::string& bytes) {
    std::lock_guard guard(writeLock_);
    openIfNeeded();
    const int descriptor = fileDescriptor_.load();
    if (descriptor >= 0)
        writeAll(descriptor, bytes.data(), bytes.size());
}

void SessionLog::fileSessionStart() {
    checkPreviousSession();
    checkCrashReports();
    for (const std::string& line : sessionHeaderLines(options_.headerFacts()))
        file(line);
    writeSessionMarker();
}

void SessionLog::fileSessionEnd() {
    file("Session ended normally");
    removeSessionMarker();
}

void SessionLog::checkPreviousSession() {
    const std::string marker = sessionMarkerFile();
    struct stat info {};
    if (::lstat(marker.c_str(), &info) != 0)
        return;
    const auto startedAt = SmallFile::read(marker, markerReadLimit, SmallFile::Links::refuse);
    if (startedAt && utf8::isValid(*startedAt))
        file("\u26A0\uFE0F Previous session (started " + *startedAt + ") ended abnormally");
    else
        file("\u26A0\uFE0F Previous session ended abnormally");
    removeFileIgnoringErrors(marker);
}

void SessionLog::checkCrashReports() {
    const auto cutoff = options_.now() - std::chrono::hours(24);
    for (const CrashReport& report :
         crashReportsCreatedAfter(options_.crashReportFolders, crashReportNameFragment, cutoff)) {
        file("\u26A0\uFE0F System crash report found: " + utf8::visible(report.fileName) +
             " (created " + LogTimestamp::format(report.created) + ")");
    }
}

void SessionLog::writeSessionMarker() {
    writeFileAtomically(sessionMarkerFile(), LogTimestamp::format(options_.now()));
}

void SessionLog::removeSessionMarker() {
    removeFileIgnoringErrors(sessionMarkerFile());
}
