#include "CrashReportScan.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

namespace {

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool containsIgnoringCase(std::string_view text, std::string_view fragment) {
    const auto found = std::search(text.begin(), text.end(), fragment.begin(), fragment.end(),
                                   [](char a, char b) { return asciiLower(a) == asciiLower(b); });
    return found != text.end() || fragment.empty();
}

std::optional<std::chrono::system_clock::time_point> birthTime(int folderDescriptor,
                                                               const char* name) {
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

void scanFolder(const std::string& folder, std::string_view nameFragment,
                std::chrono::system_clock::time_point cutoff, std::vector<CrashReport>& found) {
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr)
        return;
    while (const dirent* entry = readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || !containsIgnoringCase(name, nameFragment))
            continue;
        const auto created = birthTime(dirfd(listing), entry->d_name);
        if (created && *created > cutoff)
            found.push_back({std::string(name), *created});
    }
    closedir(listing);
}

} // namespace

std::vector<CrashReport> crashReportsCreatedAfter(const std::vector<std::string>& folders,
                                                  std::string_view nameFragment,
                                                  std::chrono::system_clock::time_point cutoff) {
    std::vector<CrashReport> found;
    for (const std::string& folder : folders)
        scanFolder(folder, nameFragment, cutoff, found);
    return found;
}
