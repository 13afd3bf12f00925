#include "SmallFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SmallFile {

Contents load(const std::string& path, std::size_t limit, Links links) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (links == Links::refuse ? O_NOFOLLOW : 0);
    const int descriptor = ::open(path.c_str(), flags);
    if (descriptor < 0) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        return {missing ? Contents::Outcome::missing : Contents::Outcome::unreadable, {}};
    }
    Contents contents{Contents::Outcome::read, {}};
    struct stat info {};
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > limit) {
        contents.outcome = Contents::Outcome::unreadable;
    }
    char buffer[65536];
    while (contents.outcome == Contents::Outcome::read) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 || contents.bytes.size() + static_cast<std::size_t>(count) > limit) {
            contents.outcome = Contents::Outcome::unreadable;
        } else if (count == 0) {
            break;
        } else {
            contents.bytes.append(buffer, static_cast<std::size_t>(count));
        }
    }
    ::close(descriptor);
    if (contents.outcome != Contents::Outcome::read) {
        contents.bytes.clear();
    }
    return contents;
}

std::optional<std::string> read(const std::string& path, std::size_t limit, Links links) {
    Contents contents = load(path, limit, links);
    if (contents.outcome != Contents::Outcome::read) {
        return std::nullopt;
    }
    return std::move(contents.bytes);
}

} // namespace SmallFile
