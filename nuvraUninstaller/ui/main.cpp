#include "GraphicalSession.h"
#include "InventoryMode.h"
#include "WindowSessionLoader.h"

#include <cstdio>

// Free of Qt: the inventory mode is decided before any GUI library is even loaded, so it works
// with no display at all and starts as fast as a plain command-line tool. Without a display the
// window could not open either, and the toolkit would abort with advice that does not apply.
int main(int argc, char** argv) {
    if (InventoryMode::isRequested(argc, argv)) {
        return InventoryMode::run();
    }
    if (!GraphicalSession::isAvailable(argc, argv)) {
        std::fputs("nuvraUninstaller: no display is available, so the window cannot open.\n"
                   "To list what would be removed without a window, run: nuvraUninstaller "
                   "--inventory\n",
                   stderr);
        return 1;
    }
    return WindowSessionLoader::run(argc, argv);
}
