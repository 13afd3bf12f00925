#include "Bundle.h"

#include "PlistFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace Bundle {
namespace {

// An Info.plist is a few kilobytes; refuse to load anything absurd.
constexpr std::size_t infoPlistSizeLimit = 4 * 1024 * 1024;

std::mutex overrideLock;
std::optional<std::string> overriddenBundlePath;

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string parentFolder(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::optional<std::string> executablePath() {
    std::string buffer(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size())
        return std::nullopt;
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

// <x>.app/Contents/MacOS/<exe> → <x>.app
std::optional<std::string> bundleOfExecutable(const std::string& executable) {
    const std::string macOSFolder = parentFolder(executable);
    if (!endsWith(macOSFolder, "/Contents/MacOS"))
        return std::nullopt;
    const std::string bundle = parentFolder(parentFolder(macOSFolder));
    if (!endsWith(bundle, ".app"))
        return std::nullopt;
    return bundle;
}

} // namespace

std::optional<std::string> mainBundlePath() {
    {
        std::lock_guard guard(overrideLock);
        if (overriddenBundlePath)
            return overriddenBundlePath;
    }
    const auto executable = executablePath();
    return executable ? bundleOfExecutable(*executable) : std::nullopt;
}

std::optional<std::string> resourcePath(const std::string& name, const std::string& type) {
    const auto bundle = mainBundlePath();
    if (!bundle || name.empty())
        return std::nullopt;
    const std::string path =
        *bundle + "/Contents/Resources/" + name + (type.empty() ? "" : "." + type);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return path;
}

std::optional<std::string> infoString(const std::string& key) {
    const auto bundle = mainBundlePath();
    if (!bundle)
        return std::nullopt;
    return PlistFile::textEntry(*bundle + "/Contents/Info.plist", key, infoPlistSizeLimit);
}

void overrideMainBundlePathForTesting(std::optional<std::string> path) {
    std::lock_guard guard(overrideLock);
    overriddenBundlePath = std::move(path);
}

} // namespace Bundle
