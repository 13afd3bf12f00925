#pragma once

#include <string>

// The system facts the session log header shows. On Linux there is no macOS version,
// so the documented fallbacks apply: empty text for a value the system cannot give.
namespace SystemInfo {

// "major.minor.patch" of macOS; on Linux the empty text.
std::string operatingSystemVersion();

// Text value of a sysctl name ("kern.osversion", "hw.model"); the empty text when it cannot be
// read. On Linux "kern.osversion" maps to the kernel release and "hw.model" to the DMI product
// name when readable.
std::string systemControlText(const char* name);

// The processor architecture the program was built for: "x86_64", "arm64", …
const char* buildArchitecture();

} // namespace SystemInfo
