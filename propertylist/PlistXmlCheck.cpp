#include "PlistXmlCheck.h"

#include "PlistCalendar.h"

namespace plist::xml {
namespace {

bool hasNulReference(std::string_view bytes) {
    for (std::size_t at = bytes.find("&#"); at != std::string_view::npos;
         at = bytes.find("&#", at + 2)) {
        std::size_t digit = at + 2;
        if (digit < bytes.size() && (bytes[digit] == 'x' || bytes[digit] == 'X')) {
            ++digit;
        }
        const std::size_t start = digit;
        while (digit < bytes.size() && bytes[digit] == '0') {
            ++digit;
        }
        if (digit > start && digit < bytes.size() && bytes[digit] == ';') {
            return true;
        }
    }
    return false;
}

bool hasUnreadableDate(std::string_view bytes) {
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

} // namespace

bool wouldBeMisread(std::string_view bytes) {
    if (bytes.starts_with("bplist")) {
        return false;
    }
    return bytes.find('\0') != std::string_view::npos || hasNulReference(bytes) ||
           hasUnreadableDate(bytes);
}

} // namespace plist::xml
