#pragma once

#include "engine/EngineError.h"
#include "engine/ScriptOutput.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Runs the uninstaller's removal script (uninstall.sh, built into the program) as root. Root is
// handed the script's text inside the command itself, never a path: nothing it runs can be
// swapped by whoever may write the application's bundle.
//
// The window asks for the administrator password through the system's own dialog, as a child
// process (/usr/bin/osascript with a do-shell-script command), waited for on one background worker
// that is created on first use and kept until exit, so at most one privileged script runs at a
// time and no thread with a user interface ever waits for it.
namespace PrivilegedRunner {

using Sentences = std::vector<std::string>;

// Blocks the caller until the script has finished, the user has declined or the wait was
// abandoned. Returns the script's warnings (a /tmp/nuvra it could not remove). Throws EngineError:
// adminCancelled when the dialog was dismissed, failed with a sentence otherwise.
Sentences runScriptAsAdmin();

// For a process that already runs as root (an administrator's run for another account): runs
// the script with /bin/bash directly, no dialog, within a tool's deadline. Throws
// EngineError::failed when it cannot start, or reports an error, with what it printed.
Sentences runScriptAsRoot();

// The window is closing: a dialog still waiting (now or later in this process) is closed, and
// its step ends as a failure that says so. Safe to call at any time, from any thread.
void abandonWaiting();

// The pieces of the command, exposed because getting them wrong runs the wrong command as root:
// the script's text quoted for the shell, then the whole command escaped for AppleScript.
std::string shellQuoted(std::string_view text);
std::string appleScriptEscaped(std::string_view text);
std::string scriptSource(std::string_view scriptText);

// Turns a failure of the script (ScriptOutput.h) into the engine's error.
EngineError classify(const ScriptError& error);

} // namespace PrivilegedRunner
