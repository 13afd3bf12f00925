#include "GraphicalSession.h"

#include <cstdlib>
#include <string_view>

namespace GraphicalSession {
namespace {

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// One entry of a platform list such as "wayland;xcb" or "xcb:option=value".
bool platformReachable(std::string_view platform) {
    const std::string_view name = platform.substr(0, platform.find(':'));
    if (name.starts_with("xcb")) {
        return isSet("DISPLAY");
    }
    if (name.starts_with("wayland")) {
        return isSet("WAYLAND_DISPLAY");
    }
    return !name.empty(); // offscreen, vnc, framebuffer…: no display server needed
}

} // namespace

bool isAvailable(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-platform" || argument == "-display") {
            return true; // chosen by the caller; the toolkit reports its own failures
        }
    }
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (chosen == nullptr || *chosen == '\0') {
        return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY");
    }
    std::string_view platforms = chosen;
    while (!platforms.empty()) {
        const std::size_t end = platforms.find(';');
        if (platformReachable(platforms.substr(0, end))) {
            return true;
        }
        platforms = end == std::string_view::npos ? std::string_view() : platforms.substr(end + 1);
    }
    return false;
}

} // namespace GraphicalSession
