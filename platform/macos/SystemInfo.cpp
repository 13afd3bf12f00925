// System facts on macOS, from the kernel's sysctl names.
#include "SystemInfo.h"

#include <algorithm>
#include <sys/sysctl.h>
#include <vector>

namespace SystemInfo {

std::string operatingSystemVersion() {
    return systemControlText("kern.osproductversion");
}

// The size is asked first, so a long value is never cut short.
std::string systemControlText(const char* name) {
    if (name == nullptr)
        return {};
    std::size_t size = 0;
    if (sysctlbyname(name, nullptr, &size, nullptr, 0) != 0 || size == 0)
        return {};
    std::vector<char> buffer(size);
    if (sysctlbyname(name, buffer.data(), &size, nullptr, 0) != 0)
        return {};
    return std::string(buffer.data(), std::find(buffer.data(), buffer.data() + size, '\0'));
}

const char* buildArchitecture() {
#if defined(__arm64__)
    return "arm64";
#elif defined(__x86_64__)
    return "x86_64";
#else
    return "unknown";
#endif
}

} // namespace SystemInfo
