#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The six Text Input Sources (Carbon HIToolbox) operations the uninstaller and sourcectl use,
// under their macOS names so that a macOS build maps them one to one onto the real API.
// Everything else goes through this seam: on macOS the Carbon functions themselves, on Linux the
// stand-in in FileBackedInputSources.

enum class TISPropertyKey {
    kTISPropertyInputSourceID,
    kTISPropertyBundleID,
    kTISPropertyInputSourceIsEnabled,
    kTISPropertyInputSourceIsSelectCapable,
};

// A property value: text, a Boolean, or nothing when the source lacks the property.
using TISPropertyValue = std::variant<std::monostate, std::string, bool>;

// Opaque handle to one input source (TISInputSourceRef). Only the implementation that made it
// looks inside.
struct TISInputSource {
    virtual ~TISInputSource() = default;
};
using TISInputSourceRef = std::shared_ptr<const TISInputSource>;

using OSStatus = std::int32_t;

class TextInputSources {
public:
    virtual ~TextInputSources() = default;

    // Sources whose `filterKey` property equals `filterValue` (a one-pair filter dictionary), in
    // the platform's order; disabled ones too when `includeAllInstalled`. None when the query
    // fails.
    virtual std::optional<std::vector<TISInputSourceRef>>
    TISCreateInputSourceList(TISPropertyKey filterKey, const std::string& filterValue,
                             bool includeAllInstalled) = 0;

    virtual TISPropertyValue TISGetInputSourceProperty(const TISInputSourceRef& source,
                                                       TISPropertyKey key) = 0;

    // The source used for typing, or nullptr.
    virtual TISInputSourceRef TISCopyCurrentKeyboardInputSource() = 0;

    virtual OSStatus TISSelectInputSource(const TISInputSourceRef& source) = 0;
    virtual OSStatus TISEnableInputSource(const TISInputSourceRef& source) = 0;
    virtual OSStatus TISDisableInputSource(const TISInputSourceRef& source) = 0;
};

namespace TextInputSourcesService {

// The process-wide implementation (the system's on macOS, the file-backed stand-in on Linux),
// unless a test installed another.
TextInputSources& shared();

// Tests install an in-memory fake; nullptr restores the default. Not owned.
void overrideForTesting(TextInputSources* replacement);

// Whether calls must be made on the main (UI) thread: always with a test's fake, and where the
// system's own implementation says so.
bool requiresMainThread();

// Each system's own part of the above: its implementation (a process-wide object) and whether that
// must be called on the main thread.
TextInputSources& systemSources();
bool systemRequiresMainThread();

} // namespace TextInputSourcesService
