#include "discovery/InstallerReceipts.h"

#include <algorithm>
#include <unordered_set>

namespace InstallerReceipts {
namespace {

constexpr std::string_view productPackagePrefix = "ai.nuvra.";

} // namespace

std::vector<std::string> productPackageIds(std::string_view listing) {
    std::vector<std::string> ids;
    std::unordered_set<std::string_view> seen; // views into `listing`, which outlives them
    while (!listing.empty()) {
        const std::size_t end = std::min(listing.find('\n'), listing.size());
        const std::string_view line = listing.substr(0, end);
        if (line.starts_with(productPackagePrefix) && seen.insert(line).second) {
            ids.emplace_back(line);
        }
        listing.remove_prefix(std::min(end + 1, listing.size()));
    }
    return ids;
}

} // namespace InstallerReceipts
