#include "FileBirthTime.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace FileBirthTime {

// statx reports a birth time only where the file system keeps one (STATX_BTIME in the mask).
std::optional<std::chrono::system_clock::time_point> of(int folderDescriptor, const char* name) {
    struct statx info {};
    if (statx(folderDescriptor, name, AT_SYMLINK_NOFOLLOW, STATX_BTIME, &info) != 0)
        return std::nullopt;
    if ((info.stx_mask & STATX_BTIME) == 0)
        return std::nullopt;
    const auto sinceEpoch = std::chrono::seconds(info.stx_btime.tv_sec) +
                            std::chrono::nanoseconds(info.stx_btime.tv_nsec);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceEpoch));
}

} // namespace FileBirthTime
