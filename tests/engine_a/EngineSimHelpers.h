#pragma once

#include "PlistValue.h"

#include <cstddef>
#include <string>
#include <vector>

// Small tools shared by the engine's simulated-Mac tests.
namespace EngineSim {

// Session-log messages (timestamps removed) written after the log had `fromSize` bytes; lines of
// a multi-line message come back as lines of their own.
std::vector<std::string> logMessages(std::size_t fromSize = 0);
std::size_t logSize();

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& contents, unsigned mode = 0644);

// Lays out <bundlePath>/Contents/{MacOS,Resources}, puts `sourcectl` into Resources when given
// (a script text), and makes it the application's main bundle.
void useBundle(const std::string& bundlePath, const std::string* sourcectlScript);

// A sourcectl stand-in that records each call's arguments in `recordFile`.
std::string recordingSourcectl(const std::string& recordFile);

// Replaces the keyboard settings and forgets the calls this made.
void setKeyboardSettings(const plist::Dictionary& settings);

// The command lines of the simulated Mac's live processes, arguments joined by spaces.
std::vector<std::string> runningCommandLines();

bool contains(const std::vector<std::string>& lines, const std::string& line);

} // namespace EngineSim
