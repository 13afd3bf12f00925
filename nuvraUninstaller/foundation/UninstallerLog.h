#pragma once

#include <functional>
#include <string>
#include <string_view>

// The session log in ~/Library/Logs/nuvraUninstaller and the crash diagnostics around it.
// This namespace is the process-wide facade; the work is done by SessionLog (SessionLog.h), which
// tests create afresh for each scenario.
namespace UninstallerLog {

// Appends "[yyyy-MM-dd HH:mm:ss] <message>\n". Never fails towards the caller.
void file(std::string_view message);

// Developer diagnostics to the unified system log (never to the file). `format` takes printf
// conversions ("%s" for text arguments).
void error(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Also hands every line to `observer` once it is written, until replaced; an empty function
// stops it. The headless command shows a run's lines as they are logged.
void mirrorTo(std::function<void(std::string_view)> observer);

// From now on hands every line to `sink` instead of the file, which is then never created: a
// process doing a share of another's run sends its lines to the process that keeps the log.
void divertTo(std::function<void(std::string_view)> sink);

void installCrashHandlers();
void fileSessionStart();
void fileSessionEnd();

// ~/Library/Logs/nuvraUninstaller/uninstall.log
std::string logFile();
// ~/Library/Logs/nuvraUninstaller: also where a session claims the account (InstanceClaim). A root
// run for another account: systemLogsFolder/UID, root's alone.
std::string logDirectory();
// A root run for every account keeps its own system-wide part in systemLogsFolder/system. Called
// before anything is logged.
void keepForTheSystem();
// Makes that folder as the log wants it; false when it is no safe place for a log or a claim.
bool prepareLogDirectory();

inline constexpr const char* systemLogsFolder = "/Library/Logs/nuvraUninstaller";

} // namespace UninstallerLog
