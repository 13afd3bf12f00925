// The per-user temporary folder macOS assigns ("/var/folders/…/T/").
#include "HomeFolder.h"

#include <unistd.h>
#include <vector>

namespace HomeFolder {

std::string systemTemporaryFolder() {
    const size_t size = confstr(_CS_DARWIN_USER_TEMP_DIR, nullptr, 0);
    if (size == 0)
        return {};
    std::vector<char> buffer(size);
    if (confstr(_CS_DARWIN_USER_TEMP_DIR, buffer.data(), buffer.size()) == 0)
        return {};
    return buffer.data();
}

} // namespace HomeFolder
