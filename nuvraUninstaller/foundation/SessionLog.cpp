#include "SessionLog.h"

#include "CrashReportScan.h"
#include "LogTimestamp.h"
#include "SmallFile.h"
#include "Utf8.h"
#include "WriteAll.h"

#include <algorithm>
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
// A marker holds one timestamp. At most this much of it is read, whatever it is or links to.
constexpr std::size_t markerReadLimit = 4096;
// Longer than any timestamp we write, short enough to stay one ordinary log line.
constexpr std::size_t markerTextLimit = 40;

// Only a marker that could be our own timestamp is copied into the log: one line of printable
// ASCII. Anything else (line feeds, control characters, long text) could forge log lines.
bool isTimestampLike(const std::string& text) {
    return !text.empty() && text.size() <= markerTextLimit &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// A folder of this process's owner, made when missing: not a link, and written by no one else.
// The folder above it must be the owner's (or root's) and writable by no one else either, so that
// nobody can swap the folder for another once it has been judged.
bool makePrivateFolder(const std::string& folder) {
    const std::string parent = folder.substr(0, folder.find_last_of('/'));
    std::error_code ignored;
    std::filesystem::create_directories(parent, ignored);
    const auto isSafe = [](int fd, bool ownerOnly) {
        struct stat info {};
        return fd >= 0 && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) &&
               (info.st_uid == ::geteuid() || info.st_uid == 0) &&
               (info.st_mode & (ownerOnly ? 077 : 022)) == 0;
    };
    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (!isSafe(parentFd, false)) {
        if (parentFd >= 0)
            ::close(parentFd);
        return false;
    }
    const std::string name = folder.substr(folder.find_last_of('/') + 1);
    ::mkdirat(parentFd, name.c_str(), 0700);
    const int fd =
        ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(parentFd);
    struct stat info {};
    // An older version made it readable by all: ours, so made private now.
    if (fd >= 0 && ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid())
        ::fchmod(fd, 0700);
    const bool safe = isSafe(fd, true);
    if (fd >= 0)
        ::close(fd);
    return safe;
}

void createFolderWithParents(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
}

void removeFileIgnoringErrors(const std::string& path) {
    ::unlink(path.c_str());
}

// Appends a line whole or not at all: when the disk fills part-way, the part that did go in is
// cut off again, so the next line never continues a torn one. Callers hold the write lock.
void appendWhole(int descriptor, const std::string& line) {
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t count = ::write(descriptor, line.data() + written, line.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        written += static_cast<std::size_t>(count);
    }
    struct stat info {};
    if (written > 0 && written < line.size() && ::fstat(descriptor, &info) == 0 &&
        static_cast<std::size_t>(info.st_size) >= written)
        (void)::ftruncate(descriptor, info.st_size - static_cast<off_t>(written));
}

// A file left ending mid-line (by an older version, a crash or another writer) gets its line
// ended, so this session's first line starts on a line of its own.
void endUnfinishedLine(int descriptor) {
    struct stat info {};
    char last = '\n';
    if (::fstat(descriptor, &info) == 0 && info.st_size > 0 &&
        ::pread(descriptor, &last, 1, info.st_size - 1) == 1 && last != '\n')
        appendWhole(descriptor, "\n");
}

// Made in place, never through a temporary file that a crash could leave behind: a marker cut
// short by a crash still tells the next start that this session ended abnormally, which it did.
// Whatever had the name goes first (a link as a link), so nothing planted there is written through.
void writeFreshFile(const std::string& path, const std::string& content, mode_t mode) {
    removeFileIgnoringErrors(path);
    const int descriptor =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (descriptor < 0)
        return;
    writeAll(descriptor, content);
    ::close(descriptor);
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
    if (!prepareFolder()) {
        return; // no log rather than one that others could read or redirect
    }
    rotateIfTooLarge();
    // Never through a symbolic link: the log must not append to some other file. Readable too,
    // to see how the file ends.
    const int descriptor =
        ::open(logFile().c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, fileMode());
    if (descriptor >= 0) {
        ::fchmod(descriptor, fileMode());
        endUnfinishedLine(descriptor);
    }
    fileDescriptor_.store(descriptor);
}

bool SessionLog::prepareFolder() {
    if (!options_.ownerOnly) {
        createFolderWithParents(options_.logDirectory);
        return true;
    }
    return makePrivateFolder(options_.logDirectory);
}

mode_t SessionLog::fileMode() const {
    return options_.ownerOnly ? 0600 : 0644;
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
        appendWhole(descriptor, bytes);
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
    // A link counts by what it points to: a dangling one is no marker at all. The new marker
    // replaces the link itself later.
    struct stat target {};
    if (::stat(marker.c_str(), &target) != 0) {
        if (S_ISLNK(info.st_mode))
            return;
    }
    // Only a regular file is read, so a link to a pipe or a device cannot block or flood us.
    const auto startedAt = S_ISREG(target.st_mode)
                               ? SmallFile::read(marker, markerReadLimit, SmallFile::Links::follow)
                               : std::nullopt;
    if (startedAt && isTimestampLike(*startedAt))
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
    writeFreshFile(sessionMarkerFile(), LogTimestamp::format(options_.now()), fileMode());
}

void SessionLog::removeSessionMarker() {
    removeFileIgnoringErrors(sessionMarkerFile());
}
