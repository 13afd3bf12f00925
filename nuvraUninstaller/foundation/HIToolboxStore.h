#pragma once

#include "PlistValue.h"

#include <optional>
#include <string>

// The keyboard settings (preference domain "com.apple.HIToolbox"), read and replaced whole through
// "/usr/bin/defaults" export / import.
namespace HIToolboxStore {

// One export of the domain: what it holds, and the bytes the tool printed for it.
struct Snapshot {
    plist::Dictionary contents;
    std::string exported;
};

// The domain as exported, or none when it cannot be obtained.
std::optional<Snapshot> readSnapshot();

// The domain's contents, or none when they cannot be obtained.
std::optional<plist::Dictionary> read();

// Whether the account has a keyboard-settings file at all (a link counts). A domain that cannot be
// read while its file is there is damaged or unreadable, which is not the same as absent.
bool domainFileExists();

// Replaces the domain with `contents`; false when it cannot be serialised (then nothing runs), the
// tool cannot start, or it exits non-zero.
bool write(const plist::Dictionary& contents);

enum class Replacement {
    replaced,     // `after` is in place and reads back as written
    notAttempted, // nothing ran: `after` cannot be serialised
    noCopy,       // nothing ran: no copy of `before` could be kept
    keptAsBefore, // the import failed, but the domain still reads as `before`
    putBack,      // the import failed or read back wrong, and `before` was imported again
    lost          // `before` could not be put back: the copy is all that is left of it
};

// Replaces the domain read as `before` with `after` without ever losing the user's settings: the
// exported bytes of `before` are first kept in a file of their own at `copyPath` (nothing is
// replaced without that copy); the result is read back, and when the import failed or the domain
// does not read back as written, `before` is put back and read back in turn.
Replacement replace(const Snapshot& before, const plist::Dictionary& after,
                    const std::string& copyPath);

} // namespace HIToolboxStore
