#include "engine/AccessAdvice.h"

#include <atomic>

namespace AccessAdvice {
namespace {
std::atomic<Audience> current{Audience::windowUser};
}

void install(Audience audience) {
    current.store(audience);
}

std::string forRefusedRemoval() {
    if (current.load() == Audience::administrator) {
        return "macOS did not allow it. Allow nuvra-uninstall Full Disk Access with a privacy "
               "preferences profile, then run it again.";
    }
    return "macOS did not allow it. Allow nuvraUninstaller in System Settings \u2192 Privacy & "
           "Security \u2192 Full Disk Access, then uninstall again.";
}

} // namespace AccessAdvice
