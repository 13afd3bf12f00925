#include "WindowSessionLoader.h"

#include "Bundle.h"
#include "ui/WindowSession.h"

#include <cstdio>
#include <dlfcn.h>
#include <string>

namespace WindowSessionLoader {

int run(int argc, char** argv) {
    const auto bundle = Bundle::mainBundlePath();
    if (!bundle) {
        std::fprintf(stderr, "nuvraUninstaller: not inside its application bundle\n");
        return 1;
    }
    const std::string module = *bundle + "/Contents/Frameworks/" + NUVRA_WINDOW_MODULE;
    // Never unloaded: the session's objects live until the process ends.
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "nuvraUninstaller: cannot load the window: %s\n", ::dlerror());
        return 1;
    }
    using Entry = int (*)(int, char**);
    auto entry = reinterpret_cast<Entry>(::dlsym(handle, NUVRA_WINDOW_SESSION_ENTRY));
    if (entry == nullptr) {
        std::fprintf(stderr, "nuvraUninstaller: cannot load the window: %s\n", ::dlerror());
        return 1;
    }
    return entry(argc, argv);
}

} // namespace WindowSessionLoader
