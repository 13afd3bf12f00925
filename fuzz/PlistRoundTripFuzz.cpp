// Any bytes: parse() never crashes, and whatever it accepts both writers give back unchanged
// (XML keeps whole seconds of a date, as the format does) or, for XML only, refuse a date
// outside the years it can hold.
#include "PlistCalendar.h"
#include "PlistValue.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Value equality, except that reals compare bit for bit (so -0 and 0 differ) with every NaN
// alike, and, for the XML comparison, dates by their whole seconds.
bool same(const plist::Value& a, const plist::Value& b, bool wholeSeconds) {
    if (a.storage().index() != b.storage().index()) {
        return false;
    }
    if (const auto* real = a.get<double>()) {
        const double other = *b.get<double>();
        // XML spells every NaN "nan": its sign and payload are no value anyone stores.
        if (std::isnan(*real)) {
            return std::isnan(other);
        }
        return std::memcmp(real, &other, sizeof(double)) == 0;
    }
    if (const auto* date = a.get<plist::Date>()) {
        const double left = date->secondsSinceReferenceDate;
        const double right = b.get<plist::Date>()->secondsSinceReferenceDate;
        return wholeSeconds ? std::floor(left) == std::floor(right) : left == right;
    }
    if (const auto* array = a.get<plist::Array>()) {
        const auto& other = *b.get<plist::Array>();
        if (array->size() != other.size()) {
            return false;
        }
        for (std::size_t i = 0; i < array->size(); ++i) {
            if (!same((*array)[i], other[i], wholeSeconds)) {
                return false;
            }
        }
        return true;
    }
    if (const auto* dictionary = a.get<plist::Dictionary>()) {
        const auto& other = *b.get<plist::Dictionary>();
        if (dictionary->size() != other.size()) {
            return false;
        }
        for (auto left = dictionary->begin(), right = other.begin(); left != dictionary->end();
             ++left, ++right) {
            if (left->first != right->first || !same(left->second, right->second, wholeSeconds)) {
                return false;
            }
        }
        return true;
    }
    return a == b;
}

bool hasDateXmlCannotHold(const plist::Value& value) {
    if (const auto* date = value.get<plist::Date>()) {
        return !plist::calendar::isWithinWritableYears(date->secondsSinceReferenceDate);
    }
    if (const auto* array = value.get<plist::Array>()) {
        for (const plist::Value& item : *array) {
            if (hasDateXmlCannotHold(item)) {
                return true;
            }
        }
    }
    if (const auto* dictionary = value.get<plist::Dictionary>()) {
        for (const auto& entry : *dictionary) {
            if (hasDateXmlCannotHold(entry.second)) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<plist::Value> value =
        plist::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!value) {
        return 0;
    }
    (void)plist::describe(*value);

    const std::optional<std::string> binary = plist::toBinary(*value);
    if (!binary) {
        std::abort(); // parse() accepted something the binary writer refuses
    }
    const std::optional<plist::Value> fromBinary = plist::parse(*binary);
    if (!fromBinary || !same(*value, *fromBinary, false)) {
        std::abort(); // the binary writer changed a value
    }

    const std::optional<std::string> xml = plist::toXml(*value);
    if (!xml) {
        if (!hasDateXmlCannotHold(*value)) {
            std::abort(); // the XML writer refused something it can hold
        }
        return 0;
    }
    const std::optional<plist::Value> fromXml = plist::parse(*xml);
    if (!fromXml || !same(*value, *fromXml, true)) {
        std::abort(); // the XML writer changed a value
    }
    return 0;
}
