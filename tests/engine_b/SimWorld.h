#pragma once

#include "SimMac.h"

#include <string>
#include <vector>

// What the engine tests need beyond SimMac: the session log, planting and pinning down files, and
// an application bundle of their own.
namespace SimWorld {

// The session log's messages without their timestamps, one per logged line.
std::vector<std::string> sessionLogMessages();
// Those of one area ("  Apps:", "  Data:").
std::vector<std::string> sessionLogMessages(const std::string& prefix);

void makeFile(const std::string& path, const std::string& contents = "x");
// A minimal bundle folder with an executable and an Info.plist inside.
void makeBundle(const std::string& path);

// Makes `path` undeletable even for root: a read-only bind mount of it onto itself, which the
// test's private mount namespace throws away. Permission bits cannot do this (tests run as root)
// and the simulated Mac's tmpfs does not support the immutable attribute.
void pinDown(const std::string& path);

// An application bundle the test assembles, holding the built sourcectl.
std::string assembleAppBundle(const std::string& folder);

bool present(const std::string& path); // anything at path, links included

// The printed Keychain, as "security dump-keychain" shows it.
std::string keychainDump();

} // namespace SimWorld
