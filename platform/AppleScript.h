#pragma once

#include <functional>
#include <optional>
#include <string>

// NSAppleScript, for exactly one kind of source:
//     do shell script "<AppleScript string literal>" with administrator privileges
// Anything else cannot be built, on every platform. On macOS the source runs through NSAppleScript;
// the Linux stand-in runs the unescaped command through the platform's elevation tool
// ("/usr/bin/pkexec /bin/sh -c <command>").
class AppleScript {
public:
    struct ErrorInfo {
        std::optional<std::string> message; // NSAppleScriptErrorMessage
        std::optional<long> number;         // NSAppleScriptErrorNumber
    };

    // None when the source is not of that one kind ("cannot be built").
    static std::optional<AppleScript> fromSource(const std::string& source);

    // Runs the script; none on success, else the error information. A dismissed password dialog
    // is error -128 "User canceled." (the stand-in: pkexec exit 126). Blocks until the script and
    // its dialog are done.
    std::optional<ErrorInfo> execute() const;

    // Whether execute() must be called on the main thread: NSAppleScript is documented as
    // main-thread-only; the stand-in is not. Always with a test's replacement, which stands in
    // for the strictest system.
    static bool requiresMainThread();

    // Tests replace what execute() does (given the unescaped command); an empty function restores
    // the system's.
    using Execution = std::function<std::optional<ErrorInfo>(const std::string& command)>;
    static void overrideExecutionForTesting(Execution replacement);

    // The command the script runs, unescaped.
    const std::string& shellCommand() const { return command_; }

private:
    // Each system's own part of the above.
    std::optional<ErrorInfo> systemExecute() const;
    static bool systemRequiresMainThread();

    AppleScript(std::string source, std::string command)
        : source_(std::move(source)), command_(std::move(command)) {}
    std::string source_;
    std::string command_;
};
