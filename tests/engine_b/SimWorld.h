#pragma once

#include <string>
#include <vector>

// What the engine tests need from the simulated Mac they run in: its call log, the session log,
// the administrator dialog's behaviour, and ways to plant or pin down files.
namespace SimWorld {

using Call = std::vector<std::string>;

// Every tool call so far, argument vector with the tool's path first.
std::vector<Call> calls();
std::vector<Call> callsTo(const std::string& toolPath);

// The session log's messages without their timestamps, one per logged line.
std::vector<std::string> sessionLogMessages();

// "approve", "dismiss" or "fail": what the password dialog does from now on.
void setPkexecMode(const std::string& mode);

void makeFile(const std::string& path, const std::string& contents = "x");
// A minimal bundle folder with an executable and an Info.plist inside.
void makeBundle(const std::string& path);

// Makes `path` undeletable even for root: a read-only bind mount of it onto itself, which the
// test's private mount namespace throws away. Permission bits cannot do this (tests run as root)
// and the simulated Mac's tmpfs does not support the immutable attribute.
void pinDown(const std::string& path);

// An application bundle the test assembles: the built sourcectl and, optionally, the removal
// script from the sources.
std::string assembleAppBundle(const std::string& folder, bool withScript);

bool present(const std::string& path); // anything at path, links included

// Plants a scene of sim/scene ("full", "footprint", …) without its running processes unless asked
// to; the call log is emptied afterwards.
void plantScene(const std::string& name, bool withProcesses = false);

// What a shell command printed on standard output.
std::string outputOf(const std::string& command);

} // namespace SimWorld
