#pragma once

#include <string>
#include <vector>

// The block of lines that opens every session in the log: who is running, on what.
struct SessionHeaderFacts {
    std::string appVersion;    // "?" when the bundle has none
    std::string appBuild;      // "?" when the bundle has none
    std::string systemVersion; // "major.minor.patch", empty when unknown
    std::string systemBuild;   // empty when unknown
    std::string machineModel;  // empty when unknown
    std::string architecture;  // what the program was built for: "x86_64", "arm64"

    // Read from the application bundle and the system-information stand-in.
    static SessionHeaderFacts current();
};

// Separator, version, system, machine, separator: five messages, without timestamps.
std::vector<std::string> sessionHeaderLines(const SessionHeaderFacts& facts);
