#include "engine/LaunchServicesDump.h"

#include "foundation/NuvraFootprint.h"

#include <unordered_set>

namespace LaunchServicesDump {
namespace {

constexpr std::string_view pathPrefix = "path:";
constexpr std::string_view identifierMarker = " (0x";

std::string_view trimSpacesAndTabs(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The bundle path a kept line names, or none when the line is not a product "path:" line.
std::optional<std::string_view> inputMethodPathOnLine(std::string_view rawLine) {
    const std::string_view line = trimSpacesAndTabs(rawLine);
    if (!line.starts_with(pathPrefix) ||
        line.find(NuvraFootprint::lsSweepNeedle) == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view path = trimSpacesAndTabs(line.substr(pathPrefix.size()));
    // The identifier comes last; a path may itself contain " (0x", so cut at the last one.
    if (const auto marker = path.rfind(identifierMarker); marker != std::string_view::npos) {
        path = path.substr(0, marker);
    }
    return path;
}

} // namespace

std::vector<std::string> inputMethodPaths(std::string_view dump) {
    std::vector<std::string> paths;
    std::unordered_set<std::string_view> seen;
    std::size_t start = 0;
    while (start < dump.size()) {
        std::size_t end = dump.find('\n', start);
        if (end == std::string_view::npos) {
            end = dump.size();
        }
        if (const auto path = inputMethodPathOnLine(dump.substr(start, end - start))) {
            // Views into `dump` stay valid for the whole loop, so the set needs no copies.
            if (seen.insert(*path).second) {
                paths.emplace_back(*path);
            }
        }
        start = end + 1;
    }
    return paths;
}

bool isInsideBundle(std::string_view path, std::string_view bundlePath) {
    while (bundlePath.size() > 1 && bundlePath.ends_with('/')) {
        bundlePath.remove_suffix(1);
    }
    if (bundlePath.empty() || !path.starts_with(bundlePath)) {
        return false;
    }
    return path.size() == bundlePath.size() || path[bundlePath.size()] == '/' || bundlePath == "/";
}

std::vector<std::string> strayInputMethodPaths(std::string_view dump,
                                               const std::optional<std::string>& ownBundlePath) {
    std::vector<std::string> stray;
    for (std::string& path : inputMethodPaths(dump)) {
        if (!ownBundlePath || !isInsideBundle(path, *ownBundlePath)) {
            stray.push_back(std::move(path));
        }
    }
    return stray;
}

} // namespace LaunchServicesDump
