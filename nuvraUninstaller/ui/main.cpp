#include "InventoryMode.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (InventoryMode::isRequested(argc, argv)) {
        return InventoryMode::run();
    }
    std::puts("The uninstaller window is not available in this build; use --inventory.");
    return 0;
}
