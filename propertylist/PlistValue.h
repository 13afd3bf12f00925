#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A property-list value: dictionary, array, string, signed or unsigned 64-bit integer, real,
// Boolean, data or date, converted to and from libplist. A default-constructed Value is "nothing":
// it is not a property-list type and cannot be serialised.
namespace plist {

class Value;
using Array = std::vector<Value>;
using Dictionary = std::map<std::string, Value>;

struct Data {
    std::string bytes;
    bool operator==(const Data&) const = default;
};

// Seconds since 2001-01-01 00:00:00 UTC, as property lists store dates.
struct Date {
    double secondsSinceReferenceDate = 0;
    bool operator==(const Date&) const = default;
};

class Value {
public:
    using Storage = std::variant<std::monostate, std::string, std::int64_t, std::uint64_t, double,
                                 bool, Data, Date, Array, Dictionary>;

    Value() = default;
    Value(std::string s) : storage_(std::move(s)) {}
    Value(const char* s) : storage_(std::string(s)) {}
    Value(std::int64_t i) : storage_(i) {}
    Value(int i) : storage_(static_cast<std::int64_t>(i)) {}
    Value(std::uint64_t u) : storage_(u) {}
    Value(double d) : storage_(d) {}
    Value(bool b) : storage_(b) {}
    Value(Data d) : storage_(std::move(d)) {}
    Value(Date d) : storage_(d) {}
    Value(Array a) : storage_(std::move(a)) {}
    Value(Dictionary d) : storage_(std::move(d)) {}

    const Storage& storage() const { return storage_; }
    Storage& storage() { return storage_; }

    template <class T> bool is() const { return std::holds_alternative<T>(storage_); }
    template <class T> const T* get() const { return std::get_if<T>(&storage_); }
    template <class T> T* get() { return std::get_if<T>(&storage_); }

    bool operator==(const Value& other) const { return storage_ == other.storage_; }

private:
    Storage storage_;
};

// Parses XML or binary property-list bytes; none when the bytes are not a property list, hold a
// type no property list may carry (such as a keyed-archive identifier), or hold something the
// writers below could not give back unchanged: a key or text that is not UTF-8 or holds a NUL, a
// date that is not finite, an XML date outside the years 1 through 9999. Integers come back
// signed unless they only fit unsigned (above 2^63 - 1), since the file does not record which.
std::optional<Value> parse(std::string_view bytes);

// Serialises as an XML 1.0 property list; none when the value holds "nothing" anywhere, or any
// text parse() would refuse, or a date outside the years 1 through 9999. Dates keep whole
// seconds, as the format does.
std::optional<std::string> toXml(const Value& value);

// Serialises as a binary property list, every text and date exactly; none when the value holds
// "nothing" anywhere, or any text or date parse() would refuse.
std::optional<std::string> toBinary(const Value& value);

// A text rendering of the whole value that contains every key and every text value at every
// depth, used to recognise the product's entries by a needle.
std::string describe(const Value& value);

} // namespace plist
