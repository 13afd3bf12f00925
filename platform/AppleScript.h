#pragma once

#include <optional>
#include <string>

// Stand-in for NSAppleScript. It understands exactly one kind of source:
//     do shell script "<AppleScript string literal>" with administrator privileges
// and runs the unescaped command through the platform's elevation tool
// ("/usr/bin/pkexec /bin/sh -c <command>"). Anything else cannot be compiled.
class AppleScript {
public:
    struct ErrorInfo {
        std::optional<std::string> message; // NSAppleScriptErrorMessage
        std::optional<long> number;         // NSAppleScriptErrorNumber
    };

    // None when the source is not a script this stand-in understands ("cannot be built").
    static std::optional<AppleScript> fromSource(const std::string& source);

    // Runs the script; none on success, else the error information. A dismissed password dialog
    // (pkexec exit 126) is error -128 "User canceled.".
    std::optional<ErrorInfo> execute() const;

    const std::string& shellCommand() const { return command_; }

private:
    explicit AppleScript(std::string command) : command_(std::move(command)) {}
    std::string command_;
};
