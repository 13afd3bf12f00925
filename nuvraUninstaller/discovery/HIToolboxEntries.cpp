#include "discovery/HIToolboxEntries.h"

#include "foundation/NuvraFootprint.h"

#include <algorithm>
#include <string_view>

namespace HIToolboxEntries {

const plist::Array* entryList(const plist::Dictionary& settings, const std::string& key) {
    const auto found = settings.find(key);
    if (found == settings.end()) {
        return nullptr;
    }
    const plist::Array* list = found->second.get<plist::Array>();
    if (list == nullptr) {
        return nullptr;
    }
    const bool allDictionaries = std::all_of(list->begin(), list->end(), [](const auto& entry) {
        return entry.template is<plist::Dictionary>();
    });
    return allDictionaries ? list : nullptr;
}

bool isProductEntry(const plist::Value& entry) {
    std::string description = plist::describe(entry);
    // ASCII folding is enough: no non-ASCII letter lower-cases into one of the needle's letters.
    std::transform(description.begin(), description.end(), description.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return description.find(NuvraFootprint::looseMatchNeedle) != std::string::npos;
}

int countProductEntries(const plist::Dictionary& settings) {
    int count = 0;
    for (const std::string& key : NuvraFootprint::hiToolboxKeys()) {
        if (const plist::Array* list = entryList(settings, key)) {
            count += static_cast<int>(std::count_if(list->begin(), list->end(), isProductEntry));
        }
    }
    return count;
}

} // namespace HIToolboxEntries
