#include "CrashReportScan.h"

#include "FileBirthTime.h"

#include <algorithm>
#include <dirent.h>

namespace {

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool containsIgnoringCase(std::string_view text, std::string_view fragment) {
    const auto found = std::search(text.begin(), text.end(), fragment.begin(), fragment.end(),
                                   [](char a, char b) { return asciiLower(a) == asciiLower(b); });
    return found != text.end() || fragment.empty();
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
        const auto created = FileBirthTime::of(dirfd(listing), entry->d_name);
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
