#pragma once

// What the command's exit status tells a management tool. 64 and 70 are the BSD conventions for
// bad usage and internal errors (sysexits.h), which such tools already know.
enum class ExitStatus : int {
    nothingLeft = 0,   // inventory: nothing to remove; run: verification found nothing
    tracesRemain = 1,  // inventory: traces present; run: residues remain
    stepFailed = 3,    // a step failed (administrator access not granted, damaged bundle)
    badUsage = 64,     // unknown option or user, --user without root, no way to confirm
    internalError = 70 // anything else that went wrong in the command itself
};

inline int code(ExitStatus status) {
    return static_cast<int>(status);
}
