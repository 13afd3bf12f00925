// Birth times on macOS: every stat result carries one (st_birthtimespec).
#include "FileBirthTime.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace FileBirthTime {

std::optional<std::chrono::system_clock::time_point> of(int folderDescriptor, const char* name) {
    struct stat info {};
    if (fstatat(folderDescriptor, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    const auto sinceEpoch = std::chrono::seconds(info.st_birthtimespec.tv_sec) +
                            std::chrono::nanoseconds(info.st_birthtimespec.tv_nsec);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceEpoch));
}

} // namespace FileBirthTime
