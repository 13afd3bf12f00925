#include "UninstallerLog.h"

#include "Bundle.h"
#include "CrashHandlers.h"
#include "HomeFolder.h"
#include "SessionLog.h"
#include "TargetUser.h"
#include "UnifiedLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace UninstallerLog {
namespace {

// A root run for another account keeps its log with the system's, never in root's home or in
// the home it is cleaning: one folder per account, so that runs for two accounts never share a
// log or a claim, readable by root alone (it names another account's traces).
std::atomic<bool> forTheSystem{false};

SessionLog::Options logOptions() {
    const auto& account = TargetUser::otherAccount();
    if (!account && !forTheSystem) {
        return SessionLog::Options::forHome(HomeFolder::homeDirectory());
    }
    SessionLog::Options options;
    options.logDirectory = systemLogsFolder + std::string("/") +
                           (account ? std::to_string(account->uid) : std::string("system"));
    options.crashReportFolders = {"/Library/Logs/DiagnosticReports"};
    options.ownerOnly = true;
    return options;
}

// Created on first use and deliberately never destroyed: the crash handlers write through its
// file descriptor until the very end of the process, after static destructors have run.
SessionLog& sharedLog() {
    static SessionLog* const log = new SessionLog(logOptions());
    return *log;
}

const std::string& unifiedLogSubsystem() {
    static const std::string subsystem =
        Bundle::infoString("CFBundleIdentifier").value_or("ai.nuvra.NuvraUninstaller");
    return subsystem;
}

std::string formatted(const char* format, va_list arguments) {
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length <= 0)
        return {};
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::mutex mirrorLock;
std::function<void(std::string_view)>& mirror() {
    static std::function<void(std::string_view)> observer;
    return observer;
}

std::function<void(std::string_view)>& divertedSink() {
    static std::function<void(std::string_view)> sink;
    return sink;
}

} // namespace

void file(std::string_view message) {
    {
        std::lock_guard lock(mirrorLock);
        if (divertedSink()) {
            divertedSink()(message);
            return;
        }
    }
    sharedLog().file(message);
    std::lock_guard lock(mirrorLock);
    if (mirror()) {
        mirror()(message);
    }
}

void mirrorTo(std::function<void(std::string_view)> observer) {
    std::lock_guard lock(mirrorLock);
    mirror() = std::move(observer);
}

void divertTo(std::function<void(std::string_view)> sink) {
    std::lock_guard lock(mirrorLock);
    divertedSink() = std::move(sink);
}

void error(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string message = formatted(format, arguments);
    va_end(arguments);
    UnifiedLog::error(unifiedLogSubsystem(), "Uninstaller", message);
}

void installCrashHandlers() {
    CrashHandlers::install(sharedLog());
}

void fileSessionStart() {
    sharedLog().fileSessionStart();
}

void fileSessionEnd() {
    sharedLog().fileSessionEnd();
}

std::string logFile() {
    return sharedLog().logFile();
}

std::string logDirectory() {
    return sharedLog().logDirectory();
}

void keepForTheSystem() {
    forTheSystem = true;
}

bool prepareLogDirectory() {
    return sharedLog().prepareFolder();
}

} // namespace UninstallerLog
