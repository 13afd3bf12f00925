#include "InventoryMode.h"
#include "WindowSessionLoader.h"

// Free of Qt: the inventory mode is decided before any GUI library is even loaded, so it works
// with no display at all and starts as fast as a plain command-line tool.
int main(int argc, char** argv) {
    if (InventoryMode::isRequested(argc, argv)) {
        return InventoryMode::run();
    }
    return WindowSessionLoader::run(argc, argv);
}
