#include "InventoryMode.h"

#include "discovery/InventoryScanner.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace InventoryMode {

bool isRequested(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--inventory") == 0) {
            return true;
        }
    }
    return false;
}

int run() {
    const std::string output = InventoryScanner::scan().summaryText() + "\n";
    std::fwrite(output.data(), 1, output.size(), stdout);
    std::fflush(stdout);
    return 0;
}

} // namespace InventoryMode
