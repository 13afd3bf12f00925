// Linux assigns no per-user temporary folder: without $TMPDIR it is "/tmp/".
#include "HomeFolder.h"

namespace HomeFolder {

std::string systemTemporaryFolder() {
    return {};
}

} // namespace HomeFolder
