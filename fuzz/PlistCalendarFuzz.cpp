// Any text as an XML date and any eight bytes as a date's seconds: no overflow (UBSan), and every
// date that is read back is one the XML form can hold again.
#include "PlistCalendar.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const std::optional<double> seconds = plist::calendar::parseIsoText(text)) {
        if (!plist::calendar::isWithinWritableYears(*seconds)) {
            std::abort();
        }
        (void)plist::calendar::descriptionText(*seconds);
    }
    if (size >= sizeof(double)) {
        double seconds = 0;
        std::memcpy(&seconds, data, sizeof seconds);
        (void)plist::calendar::isWithinWritableYears(seconds);
        (void)plist::calendar::descriptionText(seconds);
    }
    return 0;
}
