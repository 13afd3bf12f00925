#include "WindowSessionLoader.h"

#include "AlertDialog.h"
#include "Bundle.h"
#include "LoadableModule.h"
#include "Utf8.h"
#include "foundation/InstanceClaim.h"
#include "foundation/UninstallerLog.h"
#include "ui/WindowSession.h"

#include <cctype>
#include <cstdio>
#include <dlfcn.h>
#include <string>

namespace WindowSessionLoader {
namespace {

// Long enough to be read; a box nobody answers must not keep the process for ever.
constexpr int alertTimeoutSeconds = 300;

// One line on standard error and the same in the session log, whatever is wrong with the module:
// a damaged bundle must never end in silence.
// (The loader's messages name the module's path, as the damage message does.)
int cannotLoad(const std::string& reason) {
    std::fprintf(stderr, "nuvraUninstaller: cannot load the window: %s\n", reason.c_str());
    UninstallerLog::file("Window module could not be loaded: " + utf8::visible(reason));
    return 1;
}

// A start from Finder has no terminal: the reason goes into a message box too, or the person who
// double-clicked would see nothing happen at all.
int refuseStart(std::string reason) {
    std::fprintf(stderr, "nuvraUninstaller: %s.\n", reason.c_str());
    if (!reason.empty()) {
        reason.front() =
            static_cast<char>(std::toupper(static_cast<unsigned char>(reason.front())));
    }
    AlertDialog::show("nuvra Uninstaller cannot open", reason + ".", alertTimeoutSeconds);
    return 1;
}

} // namespace

int run(int argc, char** argv) {
    const auto bundle = Bundle::mainBundlePath();
    if (!bundle) {
        std::fprintf(stderr, "nuvraUninstaller: not inside its application bundle\n");
        return 1;
    }
    // Before anything is logged: a second start leaves the running session's log alone.
    const InstanceClaim::Result claim =
        InstanceClaim::claim(UninstallerLog::logDirectory(), InstanceClaim::Role::window);
    if (claim.outcome == InstanceClaim::Result::Outcome::broughtForward) {
        return 0;
    }
    if (claim.outcome == InstanceClaim::Result::Outcome::refused) {
        return refuseStart(claim.refusal);
    }
    // The log's last words cover the module from its first instruction, its loading included.
    UninstallerLog::installCrashHandlers();
    const std::string module = *bundle + "/Contents/Frameworks/" + NUVRA_WINDOW_MODULE;
    if (const auto damage = LoadableModule::damage(module)) {
        return cannotLoad(module + " is damaged (" + *damage + ")");
    }
    // Never unloaded: the session's objects live until the process ends.
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        return cannotLoad(::dlerror());
    }
    using Entry = int (*)(int, char**, int);
    auto entry = reinterpret_cast<Entry>(::dlsym(handle, NUVRA_WINDOW_SESSION_ENTRY));
    if (entry == nullptr) {
        return cannotLoad(::dlerror());
    }
    return entry(argc, argv, claim.activationSocket);
}

} // namespace WindowSessionLoader
