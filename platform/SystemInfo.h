#pragma once

#include <string>

// The system facts the session log header shows. On Linux there is no macOS version unless the
// machine plays a Mac (the simulated Mac); otherwise the documented fallbacks apply: empty text
// for a value the system cannot give.
namespace SystemInfo {

// "major.minor.patch" of macOS; on Linux the version file's when present, else the empty text.
std::string operatingSystemVersion();

// Text value of a sysctl name ("kern.osversion", "hw.model"); the empty text when it cannot be
// read. On Linux "kern.osversion" is the version file's build, else the kernel release, and
// "hw.model" the simulated Mac's model name, else the DMI product name when readable.
std::string systemControlText(const char* name);

// The processor architecture the program was built for: "x86_64", "arm64", …
const char* buildArchitecture();

} // namespace SystemInfo
