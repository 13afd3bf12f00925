#pragma once

#include "TextInputSources.h"

#include <optional>
#include <string>
#include <vector>

// Text Input Sources for platforms without HIToolbox, kept in the files macOS itself uses so that
// sourcectl, the scanner and the keyboard-settings store all see one state.
//
// Installed sources, in this order:
//   1. the built-in layout "com.apple.keylayout.ABC";
//   2. for every "*.app" in each input-method folder (folders in their order, bundle names sorted
//      byte-wise) with a readable Contents/Info.plist carrying CFBundleIdentifier: the input
//      method itself (source id = bundle id), then one input mode per key of
//      ComponentInputModeDict → tsInputModeListKey (sorted; source id = the key).
//      A source id already seen in an earlier folder is not listed twice.
//
// State lives in the HIToolbox preferences file (XML or binary), in the entry shapes macOS uses:
//   enabled  = an entry in "AppleEnabledInputSources";
//   current  = the first entry of "AppleSelectedInputSources" that names an installed source,
//              else ABC;
//   select   = "AppleSelectedInputSources" becomes [entry], and the entry moves to the front of
//              "AppleInputSourceHistory".
// Rewrites touch only those entries; every other key and value is kept as it was, and the file is
// replaced atomically in its original format (new files are binary, like cfprefsd writes them).
// A temporary file that a writer killed before its rename left beside the file is removed by the
// next rewrite.
//
// Statuses: 0 on success; paramErr (-50) for a handle this class did not make or for selecting an
// input method that has modes (only its modes and layouts are select-capable); ioErr (-36) when
// the preferences file cannot be read as a dictionary or cannot be written — an unreadable file is
// never overwritten, so a damaged file is not replaced by an empty one.
class FileBackedInputSources final : public TextInputSources {
public:
    struct Locations {
        std::vector<std::string> inputMethodFolders;
        std::string preferencesFile;
    };

    // The user's real locations, resolved from the home folder on every call (HOME may change).
    FileBackedInputSources();
    // Fixed locations, for tests.
    explicit FileBackedInputSources(Locations locations);

    // "/Library/Input Methods", "~/Library/Input Methods" and
    // "~/Library/Preferences/com.apple.HIToolbox.plist" for the current home folder.
    static Locations defaultLocations();

    static constexpr OSStatus noErr = 0;
    static constexpr OSStatus paramErr = -50;
    static constexpr OSStatus ioErr = -36;

    std::optional<std::vector<TISInputSourceRef>>
    TISCreateInputSourceList(TISPropertyKey filterKey, const std::string& filterValue,
                             bool includeAllInstalled) override;
    TISPropertyValue TISGetInputSourceProperty(const TISInputSourceRef& source,
                                               TISPropertyKey key) override;
    TISInputSourceRef TISCopyCurrentKeyboardInputSource() override;
    OSStatus TISSelectInputSource(const TISInputSourceRef& source) override;
    OSStatus TISEnableInputSource(const TISInputSourceRef& source) override;
    OSStatus TISDisableInputSource(const TISInputSourceRef& source) override;

private:
    Locations currentLocations() const;

    std::optional<Locations> fixedLocations_;
};
