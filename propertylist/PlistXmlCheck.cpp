#include "PlistXmlCheck.h"

#include "PlistCalendar.h"

namespace plist::xml {

bool hasUnreadableDate(std::string_view bytes) {
    if (bytes.starts_with("bplist")) {
        return false;
    }
    constexpr std::string_view open = "<date>";
    constexpr std::string_view close = "</date>";
    for (std::size_t at = bytes.find(open); at != std::string_view::npos;
         at = bytes.find(open, at + open.size())) {
        const std::size_t start = at + open.size();
        const std::size_t end = bytes.find(close, start);
        if (end == std::string_view::npos ||
            !calendar::parseIsoText(bytes.substr(start, end - start))) {
            return true;
        }
    }
    return false;
}

} // namespace plist::xml
