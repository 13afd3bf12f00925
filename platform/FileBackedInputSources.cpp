#include "FileBackedInputSources.h"

#include "HomeFolder.h"
#include "PlistValue.h"
#include "SmallFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------------------------------------
// Reading property-list files

// Preference and Info.plist files are small; anything larger than this is not one of them.
constexpr std::size_t maximumPlistBytes = 16u * 1024u * 1024u;

const plist::Value* valueForKey(const plist::Dictionary& dictionary, const std::string& key) {
    auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : &found->second;
}

const plist::Dictionary* dictionaryForKey(const plist::Dictionary& dictionary,
                                          const std::string& key) {
    const plist::Value* value = valueForKey(dictionary, key);
    return value ? value->get<plist::Dictionary>() : nullptr;
}

std::optional<std::string> stringForKey(const plist::Value& value, const std::string& key) {
    const plist::Dictionary* dictionary = value.get<plist::Dictionary>();
    const plist::Value* item = dictionary ? valueForKey(*dictionary, key) : nullptr;
    const std::string* text = item ? item->get<std::string>() : nullptr;
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

std::optional<std::uint64_t> unsignedForKey(const plist::Value& value, const std::string& key) {
    const plist::Dictionary* dictionary = value.get<plist::Dictionary>();
    const plist::Value* item = dictionary ? valueForKey(*dictionary, key) : nullptr;
    if (!item) {
        return std::nullopt;
    }
    if (const auto* signedValue = item->get<std::int64_t>()) {
        return static_cast<std::uint64_t>(*signedValue);
    }
    if (const auto* unsignedValue = item->get<std::uint64_t>()) {
        return *unsignedValue;
    }
    return std::nullopt;
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

std::vector<std::string> sortedModeIDs(const plist::Dictionary& infoPlist) {
    std::vector<std::string> modes;
    const plist::Dictionary* component = dictionaryForKey(infoPlist, "ComponentInputModeDict");
    const plist::Dictionary* modeList =
        component ? dictionaryForKey(*component, "tsInputModeListKey") : nullptr;
    if (modeList) {
        for (const auto& entry : *modeList) {
            modes.push_back(entry.first); // the map keeps them sorted
        }
    }
    return modes;
}

// The input method and its modes from one bundle, or nothing when the bundle has no readable
// Info.plist with an identifier.
std::vector<SourcePtr> sourcesOfBundle(const std::filesystem::path& bundle) {
    const auto bytes = SmallFile::read(bundle / "Contents" / "Info.plist", maximumPlistBytes);
    if (!bytes) {
        return {};
    }
    std::optional<plist::Value> info = plist::parse(*bytes);
    const plist::Dictionary* infoDictionary = info ? info->get<plist::Dictionary>() : nullptr;
    if (!infoDictionary) {
        return {};
    }
    std::optional<std::string> bundleID = stringForKey(*info, "CFBundleIdentifier");
    if (!bundleID || bundleID->empty()) {
        return {};
    }
    std::vector<std::string> modeIDs = sortedModeIDs(*infoDictionary);

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

bool entryNames(const plist::Value& entry, const FileBackedSource& source) {
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

plist::Value newEntry(const FileBackedSource& source) {
    switch (source.kind) {
    case SourceKind::keyboardLayout:
        return plist::Dictionary{{kindKey, "Keyboard Layout"},
                                 {layoutIDKey, plist::Value(source.layoutID)},
                                 {layoutNameKey, source.layoutName}};
    case SourceKind::inputMethod:
        return plist::Dictionary{{bundleIDKey, source.bundleID},
                                 {kindKey, "Keyboard Input Method"}};
    case SourceKind::inputMode:
        return plist::Dictionary{{bundleIDKey, source.bundleID},
                                 {inputModeKey, source.inputMode},
                                 {kindKey, "Input Mode"}};
    }
    return {};
}

bool arrayHasEntryFor(const plist::Array* array, const FileBackedSource& source) {
    return array && std::any_of(array->begin(), array->end(), [&](const plist::Value& entry) {
               return entryNames(entry, source);
           });
}

// Removes every entry naming `source`; returns how many went.
std::size_t removeEntriesFor(plist::Array& array, const FileBackedSource& source) {
    return std::erase_if(array,
                         [&](const plist::Value& entry) { return entryNames(entry, source); });
}

// ---------------------------------------------------------------------------------------------
// The preferences file

struct Preferences {
    plist::Dictionary root;
    bool binary = true;
    bool existed = false;

    const plist::Array* array(const std::string& key) const {
        const plist::Value* value = valueForKey(root, key);
        return value ? value->get<plist::Array>() : nullptr;
    }
};

// Nothing when the file exists but is not a property-list dictionary we can write back exactly
// (a damaged or foreign file, or one holding text that is not UTF-8): callers must not write it
// then, or the file would lose what it holds.
std::optional<Preferences> loadPreferences(const std::string& path) {
    const SmallFile::Contents file = SmallFile::load(path, maximumPlistBytes);
    switch (file.outcome) {
    case SmallFile::Contents::Outcome::missing:
        return Preferences{plist::Dictionary{}, true, false};
    case SmallFile::Contents::Outcome::unreadable:
        return std::nullopt;
    case SmallFile::Contents::Outcome::read:
        break;
    }
    const std::string& bytes = file.bytes;
    std::optional<plist::Value> root = plist::parse(bytes);
    plist::Dictionary* dictionary = root ? root->get<plist::Dictionary>() : nullptr;
    if (!dictionary) {
        return std::nullopt;
    }
    return Preferences{std::move(*dictionary), bytes.starts_with("bplist"), true};
}

std::optional<std::string> serialise(const Preferences& preferences) {
    const plist::Value root(preferences.root);
    return preferences.binary ? plist::toBinary(root) : plist::toXml(root);
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

// Where a rewrite of `path` puts its new contents first: hidden, and named so that nothing but
// one of our own temporary files can look like one ("." + name + ".tmp-" + six characters).
std::string temporaryPrefix(const std::filesystem::path& path) {
    return "." + path.filename().string() + ".tmp-";
}

// A writer holds a lock on its temporary file from its creation until the rename. One that nobody
// holds was left by a writer that died before its rename (a crash, a kill): removed here, so that
// no full copy of the user's keyboard settings stays behind. Only plain files of our own go.
void removeStrandedTemporaries(const std::filesystem::path& path) {
    const std::string prefix = temporaryPrefix(path);
    const std::string folder = path.parent_path().string();
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) {
        return;
    }
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + 6 || !name.starts_with(prefix)) {
            continue;
        }
        const int fd =
            ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlinkat(folderFd, name.c_str(), 0);
        }
        ::close(fd);
    }
    ::close(folderFd);
}

// Temporary file beside the target, then rename: readers see the old or the new file, never half.
bool savePreferences(const std::string& path, const Preferences& preferences) {
    std::optional<std::string> serialised = serialise(preferences);
    if (!serialised) {
        return false;
    }
    const std::string& bytes = *serialised;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    removeStrandedTemporaries(path);

    std::string temporary =
        (std::filesystem::path(path).parent_path() / (temporaryPrefix(path) + "XXXXXX")).string();
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // Held until the file is renamed or removed: it marks the file as one still being written.
    // (Between creation and lock another writer's sweep may take it; the rename then fails and
    // the preferences stay as they were.)
    ::flock(fd, LOCK_EX);
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
    // Renamed while still locked, so no sweep takes it for a stranded one first.
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    ::close(fd);
    return ok;
}

// The array under `key`, created when missing; nullptr when the key holds something else, which
// is not ours to replace.
plist::Array* arrayForWriting(plist::Dictionary& root, const std::string& key) {
    auto [position, inserted] = root.try_emplace(key, plist::Array{});
    return position->second.get<plist::Array>();
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
    const plist::Array* enabled = preferences ? preferences->array(enabledKey) : nullptr;

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
        return preferences && arrayHasEntryFor(preferences->array(enabledKey), *own);
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
    const plist::Array* selected = preferences ? preferences->array(selectedKey) : nullptr;
    if (selected && !selected->empty()) {
        for (const SourcePtr& source : installed) {
            if (entryNames(selected->front(), *source)) {
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
    plist::Array* history = arrayForWriting(preferences->root, historyKey);
    if (!history) {
        return ioErr;
    }
    preferences->root.insert_or_assign(selectedKey, plist::Array{newEntry(*own)});
    removeEntriesFor(*history, *own);
    history->insert(history->begin(), newEntry(*own));
    return savePreferences(path, *preferences) ? noErr : ioErr;
}

OSStatus FileBackedInputSources::TISEnableInputSource(const TISInputSourceRef& source) {
    const FileBackedSource* own = ownSource(source);
    if (!own) {
        return paramErr;
    }
    std::string path = currentLocations().preferencesFile;
    std::optional<Preferences> preferences = loadPreferences(path);
    plist::Array* enabled = preferences ? arrayForWriting(preferences->root, enabledKey) : nullptr;
    if (!enabled) {
        return ioErr;
    }
    if (arrayHasEntryFor(enabled, *own)) {
        return noErr;
    }
    enabled->push_back(newEntry(*own));
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
    auto enabledValue = preferences->root.find(enabledKey);
    if (enabledValue == preferences->root.end()) {
        return noErr; // nothing is enabled, so nothing to write
    }
    plist::Array* enabled = enabledValue->second.get<plist::Array>();
    if (!enabled) {
        return ioErr;
    }
    if (removeEntriesFor(*enabled, *own) == 0) {
        return noErr;
    }
    return savePreferences(path, *preferences) ? noErr : ioErr;
}
