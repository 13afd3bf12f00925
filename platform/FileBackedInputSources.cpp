#include "FileBackedInputSources.h"

#include "HomeFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------------------------------------
// Property-list plumbing (libplist C API)

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// Preference and Info.plist files are small; anything larger than this is not one of them.
constexpr std::uintmax_t maximumPlistBytes = 16u * 1024u * 1024u;

enum class FileRead { missing, unreadable, ok };

FileRead readSmallFile(const std::string& path, std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return (errno == ENOENT || errno == ENOTDIR) ? FileRead::missing : FileRead::unreadable;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<std::uintmax_t>(info.st_size) <= maximumPlistBytes;
    bytes.clear();
    char buffer[64 * 1024];
    while (ok) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 || bytes.size() + static_cast<size_t>(got) > maximumPlistBytes) {
            ok = false;
        } else if (got == 0) {
            break;
        } else {
            bytes.append(buffer, static_cast<size_t>(got));
        }
    }
    ::close(fd);
    return ok ? FileRead::ok : FileRead::unreadable;
}

PlistPtr parsePlist(const std::string& bytes) {
    plist_t root = nullptr; // libplist leaves it untouched on bad input
    if (!bytes.empty()) {
        // By format, with the calls every libplist has (2.3 changed plist_from_memory).
        const auto length = static_cast<uint32_t>(bytes.size());
        if (plist_is_binary(bytes.data(), length)) {
            plist_from_bin(bytes.data(), length, &root);
        } else {
            plist_from_xml(bytes.data(), length, &root);
        }
    }
    return PlistPtr(root);
}

bool isDictionary(plist_t node) {
    return node && plist_get_node_type(node) == PLIST_DICT;
}
bool isArray(plist_t node) {
    return node && plist_get_node_type(node) == PLIST_ARRAY;
}

std::optional<std::string> stringForKey(plist_t dict, const char* key) {
    plist_t node = isDictionary(dict) ? plist_dict_get_item(dict, key) : nullptr;
    if (!node || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    return text ? std::optional<std::string>(std::string(text, length)) : std::nullopt;
}

std::optional<uint64_t> unsignedForKey(plist_t dict, const char* key) {
    plist_t node = isDictionary(dict) ? plist_dict_get_item(dict, key) : nullptr;
    if (!node || plist_get_node_type(node) != PLIST_UINT) {
        return std::nullopt;
    }
    uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return value;
}

// ---------------------------------------------------------------------------------------------
// Installed sources

enum class SourceKind { keyboardLayout, inputMethod, inputMode };

struct FileBackedSource final : TISInputSource {
    SourceKind kind = SourceKind::keyboardLayout;
    std::string sourceID;
    std::string bundleID;   // input methods and modes
    std::string inputMode;  // modes: same as sourceID
    bool hasModes = false;  // input methods
    std::string layoutName; // layouts
    uint64_t layoutID = 0;  // layouts
};
using SourcePtr = std::shared_ptr<const FileBackedSource>;

SourcePtr builtInABCLayout() {
    auto abc = std::make_shared<FileBackedSource>();
    abc->kind = SourceKind::keyboardLayout;
    abc->sourceID = "com.apple.keylayout.ABC";
    abc->layoutName = "ABC";
    abc->layoutID = 252;
    return abc;
}

std::vector<std::string> sortedModeIDs(plist_t infoPlist) {
    std::vector<std::string> modes;
    plist_t component = plist_dict_get_item(infoPlist, "ComponentInputModeDict");
    plist_t modeList =
        isDictionary(component) ? plist_dict_get_item(component, "tsInputModeListKey") : nullptr;
    if (!isDictionary(modeList)) {
        return modes;
    }
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(modeList, &iter);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(modeList, iter, &key, &value);
        if (!key) {
            break;
        }
        modes.emplace_back(key);
        std::free(key);
    }
    std::free(iter);
    std::sort(modes.begin(), modes.end());
    return modes;
}

// The input method and its modes from one bundle, or nothing when the bundle has no readable
// Info.plist with an identifier.
std::vector<SourcePtr> sourcesOfBundle(const std::filesystem::path& bundle) {
    std::string bytes;
    if (readSmallFile(bundle / "Contents" / "Info.plist", bytes) != FileRead::ok) {
        return {};
    }
    PlistPtr info = parsePlist(bytes);
    std::optional<std::string> bundleID = stringForKey(info.get(), "CFBundleIdentifier");
    if (!bundleID || bundleID->empty()) {
        return {};
    }
    std::vector<std::string> modeIDs = sortedModeIDs(info.get());

    auto method = std::make_shared<FileBackedSource>();
    method->kind = SourceKind::inputMethod;
    method->sourceID = *bundleID;
    method->bundleID = *bundleID;
    method->hasModes = !modeIDs.empty();
    std::vector<SourcePtr> sources{method};
    for (const std::string& modeID : modeIDs) {
        auto mode = std::make_shared<FileBackedSource>();
        mode->kind = SourceKind::inputMode;
        mode->sourceID = modeID;
        mode->bundleID = *bundleID;
        mode->inputMode = modeID;
        sources.push_back(std::move(mode));
    }
    return sources;
}

std::vector<std::filesystem::path> sortedBundlesIn(const std::string& folder) {
    std::vector<std::filesystem::path> bundles;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::filesystem::path& path = it->path();
        if (path.extension() == ".app") {
            bundles.push_back(path);
        }
    }
    std::sort(bundles.begin(), bundles.end());
    return bundles;
}

std::vector<SourcePtr> installedSources(const FileBackedInputSources::Locations& locations) {
    std::vector<SourcePtr> sources{builtInABCLayout()};
    std::vector<std::string> seen{sources.front()->sourceID};
    for (const std::string& folder : locations.inputMethodFolders) {
        for (const std::filesystem::path& bundle : sortedBundlesIn(folder)) {
            for (SourcePtr& source : sourcesOfBundle(bundle)) {
                // The same input method in the system and the user folder is one source.
                if (std::find(seen.begin(), seen.end(), source->sourceID) != seen.end()) {
                    continue;
                }
                seen.push_back(source->sourceID);
                sources.push_back(std::move(source));
            }
        }
    }
    return sources;
}

// ---------------------------------------------------------------------------------------------
// HIToolbox preference entries

constexpr const char* enabledKey = "AppleEnabledInputSources";
constexpr const char* selectedKey = "AppleSelectedInputSources";
constexpr const char* historyKey = "AppleInputSourceHistory";

constexpr const char* kindKey = "InputSourceKind";
constexpr const char* bundleIDKey = "Bundle ID";
constexpr const char* inputModeKey = "Input Mode";
constexpr const char* layoutIDKey = "KeyboardLayout ID";
constexpr const char* layoutNameKey = "KeyboardLayout Name";

bool entryNames(plist_t entry, const FileBackedSource& source) {
    std::optional<std::string> kind = stringForKey(entry, kindKey);
    switch (source.kind) {
    case SourceKind::keyboardLayout:
        return kind == "Keyboard Layout" &&
               (stringForKey(entry, layoutNameKey) == source.layoutName ||
                unsignedForKey(entry, layoutIDKey) == source.layoutID);
    case SourceKind::inputMethod:
        return kind == "Keyboard Input Method" &&
               stringForKey(entry, bundleIDKey) == source.bundleID;
    case SourceKind::inputMode:
        return kind == "Input Mode" && stringForKey(entry, bundleIDKey) == source.bundleID &&
               stringForKey(entry, inputModeKey) == source.inputMode;
    }
    return false;
}

PlistPtr newEntry(const FileBackedSource& source) {
    plist_t entry = plist_new_dict();
    switch (source.kind) {
    case SourceKind::keyboardLayout:
        plist_dict_set_item(entry, kindKey, plist_new_string("Keyboard Layout"));
        plist_dict_set_item(entry, layoutIDKey, plist_new_uint(source.layoutID));
        plist_dict_set_item(entry, layoutNameKey, plist_new_string(source.layoutName.c_str()));
        break;
    case SourceKind::inputMethod:
        plist_dict_set_item(entry, bundleIDKey, plist_new_string(source.bundleID.c_str()));
        plist_dict_set_item(entry, kindKey, plist_new_string("Keyboard Input Method"));
        break;
    case SourceKind::inputMode:
        plist_dict_set_item(entry, bundleIDKey, plist_new_string(source.bundleID.c_str()));
        plist_dict_set_item(entry, inputModeKey, plist_new_string(source.inputMode.c_str()));
        plist_dict_set_item(entry, kindKey, plist_new_string("Input Mode"));
        break;
    }
    return PlistPtr(entry);
}

bool arrayHasEntryFor(plist_t array, const FileBackedSource& source) {
    uint32_t count = isArray(array) ? plist_array_get_size(array) : 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (entryNames(plist_array_get_item(array, i), source)) {
            return true;
        }
    }
    return false;
}

// Removes every entry naming `source`; returns how many went.
uint32_t removeEntriesFor(plist_t array, const FileBackedSource& source) {
    uint32_t removed = 0;
    for (uint32_t i = plist_array_get_size(array); i-- > 0;) {
        if (entryNames(plist_array_get_item(array, i), source)) {
            plist_array_remove_item(array, i);
            ++removed;
        }
    }
    return removed;
}

// ---------------------------------------------------------------------------------------------
// The preferences file

struct Preferences {
    PlistPtr root; // always a dictionary
    bool binary = true;
    bool existed = false;
};

// Nothing when the file exists but is not a property-list dictionary: callers must not write it
// then, or a damaged (or foreign) file would be replaced by a nearly empty one.
std::optional<Preferences> loadPreferences(const std::string& path) {
    std::string bytes;
    switch (readSmallFile(path, bytes)) {
    case FileRead::missing:
        return Preferences{PlistPtr(plist_new_dict()), true, false};
    case FileRead::unreadable:
        return std::nullopt;
    case FileRead::ok:
        break;
    }
    PlistPtr root = parsePlist(bytes);
    if (!isDictionary(root.get())) {
        return std::nullopt;
    }
    bool binary = plist_is_binary(bytes.data(), static_cast<uint32_t>(bytes.size())) != 0;
    return Preferences{std::move(root), binary, true};
}

std::string serialise(const Preferences& preferences) {
    char* data = nullptr;
    uint32_t length = 0;
    std::string bytes;
    if (preferences.binary) {
        plist_to_bin(preferences.root.get(), &data, &length);
        if (data) {
            bytes.assign(data, length);
            std::free(data); // malloc'd; libplist 2.3 dropped plist_to_bin_free
        }
    } else {
        plist_to_xml(preferences.root.get(), &data, &length);
        if (data) {
            bytes.assign(data, length);
            std::free(data); // malloc'd; libplist 2.3 dropped plist_to_xml_free
        }
    }
    return bytes;
}

bool writeAll(int fd, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        written += static_cast<size_t>(n);
    }
    return true;
}

// Temporary file beside the target, then rename: readers see the old or the new file, never half.
bool savePreferences(const std::string& path, const Preferences& preferences) {
    std::string bytes = serialise(preferences);
    if (bytes.empty()) {
        return false;
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);

    std::string temporary = path + ".XXXXXX";
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    struct stat original {};
    bool ok = true;
    if (preferences.existed && ::stat(path.c_str(), &original) == 0) {
        // Keep the file's owner and mode; a different owner is only possible when run as root,
        // and failing to hand the file back would leave the user unable to change it.
        ok = (original.st_uid == ::geteuid() ||
              ::fchown(fd, original.st_uid, original.st_gid) == 0) &&
             ::fchmod(fd, original.st_mode & 07777) == 0;
    }
    ok = ok && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

// The array under `key`, created when missing; nullptr when the key holds something else, which
// is not ours to replace.
plist_t arrayForWriting(plist_t root, const char* key) {
    plist_t array = plist_dict_get_item(root, key);
    if (!array) {
        plist_dict_set_item(root, key, plist_new_array());
        return plist_dict_get_item(root, key);
    }
    return isArray(array) ? array : nullptr;
}

const FileBackedSource* ownSource(const TISInputSourceRef& source) {
    return dynamic_cast<const FileBackedSource*>(source.get());
}

std::string booleanText(bool value) {
    return value ? "true" : "false";
}

} // namespace

// -------------------------------------------------------------------------------------------------

FileBackedInputSources::FileBackedInputSources() = default;

FileBackedInputSources::FileBackedInputSources(Locations locations)
    : fixedLocations_(std::move(locations)) {}

FileBackedInputSources::Locations FileBackedInputSources::defaultLocations() {
    std::string home = HomeFolder::homeDirectory();
    if (home == "/") {
        home.clear(); // keeps "//Library/…" out of the paths
    }
    return Locations{{"/Library/Input Methods", home + "/Library/Input Methods"},
                     home + "/Library/Preferences/com.apple.HIToolbox.plist"};
}

FileBackedInputSources::Locations FileBackedInputSources::currentLocations() const {
    return fixedLocations_ ? *fixedLocations_ : defaultLocations();
}

std::optional<std::vector<TISInputSourceRef>> FileBackedInputSources::TISCreateInputSourceList(
    TISPropertyKey filterKey, const std::string& filterValue, bool includeAllInstalled) {
    Locations locations = currentLocations();
    std::optional<Preferences> preferences = loadPreferences(locations.preferencesFile);
    plist_t enabled =
        preferences ? plist_dict_get_item(preferences->root.get(), enabledKey) : nullptr;

    std::vector<TISInputSourceRef> matches;
    for (SourcePtr& source : installedSources(locations)) {
        bool isEnabled = arrayHasEntryFor(enabled, *source);
        if (!includeAllInstalled && !isEnabled) {
            continue;
        }
        TISPropertyValue value;
        switch (filterKey) {
        case TISPropertyKey::kTISPropertyInputSourceIsEnabled:
            value = booleanText(isEnabled);
            break;
        case TISPropertyKey::kTISPropertyInputSourceIsSelectCapable:
            value = booleanText(!(source->kind == SourceKind::inputMethod && source->hasModes));
            break;
        default:
            value = TISGetInputSourceProperty(source, filterKey);
        }
        if (const auto* text = std::get_if<std::string>(&value); text && *text == filterValue) {
            matches.push_back(std::move(source));
        }
    }
    return matches;
}

TISPropertyValue FileBackedInputSources::TISGetInputSourceProperty(const TISInputSourceRef& source,
                                                                   TISPropertyKey key) {
    const FileBackedSource* own = ownSource(source);
    if (!own) {
        return {};
    }
    switch (key) {
    case TISPropertyKey::kTISPropertyInputSourceID:
        return own->sourceID;
    case TISPropertyKey::kTISPropertyBundleID:
        if (own->bundleID.empty()) {
            return {};
        }
        return own->bundleID;
    case TISPropertyKey::kTISPropertyInputSourceIsEnabled: {
        std::optional<Preferences> preferences =
            loadPreferences(currentLocations().preferencesFile);
        return preferences &&
               arrayHasEntryFor(plist_dict_get_item(preferences->root.get(), enabledKey), *own);
    }
    case TISPropertyKey::kTISPropertyInputSourceIsSelectCapable:
        // An input method with modes is chosen through its modes, never by itself.
        return !(own->kind == SourceKind::inputMethod && own->hasModes);
    }
    return {};
}

TISInputSourceRef FileBackedInputSources::TISCopyCurrentKeyboardInputSource() {
    Locations locations = currentLocations();
    std::vector<SourcePtr> installed = installedSources(locations);
    std::optional<Preferences> preferences = loadPreferences(locations.preferencesFile);
    plist_t selected =
        preferences ? plist_dict_get_item(preferences->root.get(), selectedKey) : nullptr;
    if (isArray(selected) && plist_array_get_size(selected) > 0) {
        plist_t first = plist_array_get_item(selected, 0);
        for (const SourcePtr& source : installed) {
            if (entryNames(first, *source)) {
                return source;
            }
        }
    }
    return installed.front(); // ABC, as a Mac falls back to it
}

OSStatus FileBackedInputSources::TISSelectInputSource(const TISInputSourceRef& source) {
    const FileBackedSource* own = ownSource(source);
    if (!own || (own->kind == SourceKind::inputMethod && own->hasModes)) {
        return paramErr;
    }
    std::string path = currentLocations().preferencesFile;
    std::optional<Preferences> preferences = loadPreferences(path);
    if (!preferences) {
        return ioErr;
    }
    plist_t root = preferences->root.get();
    plist_t history = arrayForWriting(root, historyKey);
    if (!history) {
        return ioErr;
    }
    plist_t selected = plist_new_array();
    plist_array_append_item(selected, newEntry(*own).release());
    plist_dict_set_item(root, selectedKey, selected);

    removeEntriesFor(history, *own);
    plist_array_insert_item(history, newEntry(*own).release(), 0);
    return savePreferences(path, *preferences) ? noErr : ioErr;
}

OSStatus FileBackedInputSources::TISEnableInputSource(const TISInputSourceRef& source) {
    const FileBackedSource* own = ownSource(source);
    if (!own) {
        return paramErr;
    }
    std::string path = currentLocations().preferencesFile;
    std::optional<Preferences> preferences = loadPreferences(path);
    plist_t enabled = preferences ? arrayForWriting(preferences->root.get(), enabledKey) : nullptr;
    if (!enabled) {
        return ioErr;
    }
    if (arrayHasEntryFor(enabled, *own)) {
        return noErr;
    }
    plist_array_append_item(enabled, newEntry(*own).release());
    return savePreferences(path, *preferences) ? noErr : ioErr;
}

OSStatus FileBackedInputSources::TISDisableInputSource(const TISInputSourceRef& source) {
    const FileBackedSource* own = ownSource(source);
    if (!own) {
        return paramErr;
    }
    std::string path = currentLocations().preferencesFile;
    std::optional<Preferences> preferences = loadPreferences(path);
    if (!preferences) {
        return ioErr;
    }
    plist_t enabled = plist_dict_get_item(preferences->root.get(), enabledKey);
    if (!enabled) {
        return noErr; // nothing is enabled, so nothing to write
    }
    if (!isArray(enabled)) {
        return ioErr;
    }
    if (removeEntriesFor(enabled, *own) == 0) {
        return noErr;
    }
    return savePreferences(path, *preferences) ? noErr : ioErr;
}
