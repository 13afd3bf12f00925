// Any bytes as "pkgutil --pkgs" output: read without a crash, and every id taken from it is one
// whole line that starts with the product's prefix, each at most once.
#include "../nuvraUninstaller/discovery/InstallerReceipts.cpp"

#include <cstdint>
#include <cstdlib>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view listing(reinterpret_cast<const char*>(data), size);
    const auto ids = InstallerReceipts::productPackageIds(listing);
    std::set<std::string> lines;
    for (std::size_t start = 0; start <= listing.size();) {
        const std::size_t end = std::min(listing.find('\n', start), listing.size());
        lines.emplace(listing.substr(start, end - start));
        start = end + 1;
    }
    const std::set<std::string> distinct(ids.begin(), ids.end());
    for (const std::string& id : ids) {
        if (!id.starts_with("ai.nuvra.") || !lines.contains(id)) {
            std::abort();
        }
    }
    if (distinct.size() != ids.size()) {
        std::abort();
    }
    return 0;
}
