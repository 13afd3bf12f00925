#include "SystemInfo.h"

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

std::string kernelRelease() {
    utsname names{};
    if (::uname(&names) != 0)
        return {};
    return names.release;
}

} // namespace

// Linux is not macOS and has no macOS version to report: the documented fallback is empty text.
std::string operatingSystemVersion() {
    return {};
}

// Linux has no sysctl names of the macOS kind; these two are the nearest honest equivalents.
// Every other name is a value that cannot be read.
std::string systemControlText(const char* name) {
    const std::string_view wanted = name != nullptr ? name : "";
    if (wanted == "kern.osversion")
        return kernelRelease();
    if (wanted == "hw.model")
        return firstLineOf("/sys/class/dmi/id/product_name");
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
