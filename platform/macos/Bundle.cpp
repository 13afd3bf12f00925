// The application bundle on macOS, through Core Foundation's CFBundle.
#include "Bundle.h"

#include "CoreFoundationSupport.h"

#include <mutex>
#include <string_view>
#include <vector>

namespace Bundle {
namespace {

std::mutex overrideLock;
std::optional<std::string> overriddenBundlePath;

std::optional<std::string> filePath(CFURLRef url) {
    std::vector<UInt8> buffer(4096);
    if (!CFURLGetFileSystemRepresentation(url, 1, buffer.data(),
                                          static_cast<CFIndex>(buffer.size())))
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(buffer.data()));
}

// Runs `use` with the bundle the look-ups read: the test bundle when one is set, else the main
// bundle. A main bundle whose folder is not an ".app" (a bare tool) counts as none.
template <typename Use> auto withBundle(Use use) -> decltype(use(CFBundleRef{})) {
    std::optional<std::string> overridden;
    {
        std::lock_guard guard(overrideLock);
        overridden = overriddenBundlePath;
    }
    if (!overridden) {
        const CFBundleRef main = CFBundleGetMainBundle(); // not ours to release
        if (main == nullptr)
            return std::nullopt;
        return use(main);
    }
    const std::string& path = *overridden;
    const CoreFoundationObject<CFURLRef> url(CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
        static_cast<CFIndex>(path.size()), 1));
    if (!url)
        return std::nullopt;
    const CoreFoundationObject<CFBundleRef> bundle(CFBundleCreate(kCFAllocatorDefault, url.get()));
    if (!bundle)
        return std::nullopt;
    return use(bundle.get());
}

bool isApplicationFolder(std::string_view path) {
    constexpr std::string_view suffix = ".app";
    return path.size() > suffix.size() && path.substr(path.size() - suffix.size()) == suffix;
}

} // namespace

std::optional<std::string> mainBundlePath() {
    return withBundle([](CFBundleRef bundle) -> std::optional<std::string> {
        const CoreFoundationObject<CFURLRef> url(CFBundleCopyBundleURL(bundle));
        if (!url)
            return std::nullopt;
        auto path = filePath(url.get());
        if (!path || !isApplicationFolder(*path))
            return std::nullopt;
        return path;
    });
}

std::optional<std::string> resourcePath(const std::string& name, const std::string& type) {
    if (name.empty() || !mainBundlePath())
        return std::nullopt;
    return withBundle([&](CFBundleRef bundle) -> std::optional<std::string> {
        const CoreFoundationObject<CFStringRef> resourceName = makeCFString(name);
        const CoreFoundationObject<CFStringRef> resourceType = makeCFString(type);
        if (!resourceName || !resourceType)
            return std::nullopt;
        const CoreFoundationObject<CFURLRef> url(CFBundleCopyResourceURL(
            bundle, resourceName.get(), type.empty() ? nullptr : resourceType.get(), nullptr));
        if (!url)
            return std::nullopt;
        return filePath(url.get());
    });
}

std::optional<std::string> infoString(const std::string& key) {
    if (!mainBundlePath())
        return std::nullopt;
    return withBundle([&](CFBundleRef bundle) -> std::optional<std::string> {
        const CoreFoundationObject<CFStringRef> cfKey = makeCFString(key);
        if (!cfKey)
            return std::nullopt;
        // Borrowed from the bundle's information dictionary (Get rule).
        const CFTypeRef value = CFBundleGetValueForInfoDictionaryKey(bundle, cfKey.get());
        if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID())
            return std::nullopt;
        return utf8Text(static_cast<CFStringRef>(value));
    });
}

void overrideMainBundlePathForTesting(std::optional<std::string> path) {
    std::lock_guard guard(overrideLock);
    overriddenBundlePath = std::move(path);
}

} // namespace Bundle
