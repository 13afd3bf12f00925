// On a Mac the window exists only inside a window server session: a login over SSH or a launch
// daemon has none, and the toolkit would abort there.
#include "GraphicalSession.h"

#include <CoreGraphics/CoreGraphics.h>

namespace GraphicalSession {

bool isAvailable(int, char**) {
    CFDictionaryRef session = CGSessionCopyCurrentDictionary();
    if (session == nullptr) {
        return false;
    }
    CFRelease(session);
    return true;
}

} // namespace GraphicalSession
