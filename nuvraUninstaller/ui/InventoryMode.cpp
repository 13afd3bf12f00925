#include "InventoryMode.h"

#include <cstring>

namespace InventoryMode {

bool isRequested(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--inventory") == 0) {
            return true;
        }
    }
    return false;
}

int run() { return 0; }

} // namespace InventoryMode
