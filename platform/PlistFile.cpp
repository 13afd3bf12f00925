#include "PlistFile.h"

#include "PlistValue.h"
#include "SmallFile.h"

namespace PlistFile {

std::optional<std::string> textEntry(const std::string& path, const std::string& key,
                                     std::size_t limit) {
    const auto bytes = SmallFile::read(path, limit);
    const auto root = bytes ? plist::parse(*bytes) : std::nullopt;
    const plist::Dictionary* entries = root ? root->get<plist::Dictionary>() : nullptr;
    if (entries == nullptr) {
        return std::nullopt;
    }
    const auto entry = entries->find(key);
    const std::string* text = entry != entries->end() ? entry->second.get<std::string>() : nullptr;
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

} // namespace PlistFile
