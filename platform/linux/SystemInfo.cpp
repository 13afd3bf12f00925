#include "SystemInfo.h"

#include "PlistFile.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <sys/utsname.h>

namespace SystemInfo {
namespace {

// First line of a small text file, without its line feed; empty when unreadable.
std::string firstLineOf(const char* path) {
    std::FILE* stream = std::fopen(path, "re");
    if (stream == nullptr)
        return {};
    char buffer[256] = {};
    const bool read = std::fgets(buffer, sizeof buffer, stream) != nullptr;
    std::fclose(stream);
    if (!read)
        return {};
    return std::string(buffer, std::strcspn(buffer, "\n"));
}

// A Linux machine that plays a Mac (the simulated Mac) provides macOS's version file at its real
// path, and the model name that sysctl's hw.model gives on a Mac in a file of its own.
constexpr const char* systemVersionPath = "/System/Library/CoreServices/SystemVersion.plist";
constexpr const char* simulatedModelPath = "/usr/libexec/sim/hw.model";

// A text entry of the version file; empty when the file, the entry or its text is missing.
std::string systemVersionEntry(const char* key) {
    return PlistFile::textEntry(systemVersionPath, key, 64 * 1024).value_or("");
}

std::string kernelRelease() {
    utsname names{};
    if (::uname(&names) != 0)
        return {};
    return names.release;
}

} // namespace

// Plain Linux has no macOS version to report: the documented fallback is empty text.
std::string operatingSystemVersion() {
    return systemVersionEntry("ProductVersion");
}

// Linux has no sysctl names of the macOS kind. A machine playing a Mac answers the two the header
// reads as a Mac would (kern.osversion is the build of the version file); otherwise the nearest
// honest Linux equivalents. Every other name is a value that cannot be read.
std::string systemControlText(const char* name) {
    const std::string_view wanted = name != nullptr ? name : "";
    if (wanted == "kern.osversion") {
        const std::string build = systemVersionEntry("ProductBuildVersion");
        return build.empty() ? kernelRelease() : build;
    }
    if (wanted == "hw.model") {
        const std::string model = firstLineOf(simulatedModelPath);
        return model.empty() ? firstLineOf("/sys/class/dmi/id/product_name") : model;
    }
    return {};
}

const char* buildArchitecture() {
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__aarch64__)
    return "arm64";
#elif defined(__i386__)
    return "i386";
#elif defined(__arm__)
    return "arm";
#else
    return "unknown";
#endif
}

} // namespace SystemInfo
