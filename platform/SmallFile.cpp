#include "SmallFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace SmallFile {

std::optional<std::string> read(const std::string& path, std::size_t limit, Links links) {
    const int flags = O_RDONLY | O_CLOEXEC | (links == Links::refuse ? O_NOFOLLOW : 0);
    const int descriptor = ::open(path.c_str(), flags);
    if (descriptor < 0) {
        return std::nullopt;
    }
    std::string content;
    char buffer[8192];
    bool failed = false;
    while (true) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 || content.size() + static_cast<std::size_t>(count) > limit) {
            failed = true;
            break;
        }
        if (count == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(descriptor);
    if (failed) {
        return std::nullopt;
    }
    return content;
}

} // namespace SmallFile
