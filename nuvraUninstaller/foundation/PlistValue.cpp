#include "foundation/PlistValue.h"

#include "foundation/PlistBinaryCheck.h"
#include "foundation/PlistCalendar.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace plist {
namespace {

// Deeper nesting than this is no real preference file; refusing it keeps a crafted file from
// exhausting the stack in our recursion.
constexpr int maximumDepth = 512;

struct NodeDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeDeleter>;

struct MallocDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Malloced = std::unique_ptr<T, MallocDeleter>;

// The element of an XML rendering of `node` between <tag> and </tag>. libplist keeps details its
// accessors do not expose (an integer's sign above 2^63, a date beyond ±68 years from 2001), but
// its XML writer prints them faithfully.
std::optional<std::string> xmlElementText(plist_t node, const std::string& tag) {
    Node copy(plist_copy(node));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(copy.get(), &xml, &length);
    if (xml == nullptr) {
        return std::nullopt;
    }
    const std::string text(xml, length);
    std::free(xml); // malloc'd; libplist 2.3 dropped plist_to_xml_free
    const std::string open = "<" + tag + ">";
    const std::size_t start = text.find(open);
    const std::size_t end = text.find("</" + tag + ">");
    if (start == std::string::npos || end == std::string::npos || end < start) {
        return std::nullopt;
    }
    return text.substr(start + open.size(), end - start - open.size());
}

// Builds a node from an XML fragment, for the values libplist's constructors cannot express.
Node nodeFromXml(const std::string& element) {
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">" + element + "</plist>";
    plist_t node = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &node);
    return Node(node);
}

std::optional<Value> fromNode(plist_t node, int depth);

std::optional<Value> integerFromNode(plist_t node) {
    std::uint64_t raw = 0;
    plist_get_uint_val(node, &raw);
    if (raw <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return Value(static_cast<std::int64_t>(raw));
    }
    // Above 2^63 the bits are either a negative number or a large unsigned one; only the node's
    // printed form tells which.
    std::optional<std::string> text = xmlElementText(node, "integer");
    if (!text) {
        return std::nullopt;
    }
    if (!text->empty() && text->front() == '-') {
        return Value(static_cast<std::int64_t>(raw));
    }
    return Value(raw);
}

std::optional<Value> dateFromNode(plist_t node) {
    std::int32_t seconds = 0;
    std::int32_t microseconds = 0;
    plist_get_date_val(node, &seconds, &microseconds);
    const bool clamped = seconds == std::numeric_limits<std::int32_t>::min() ||
                         seconds == std::numeric_limits<std::int32_t>::max();
    if (!clamped) {
        // libplist splits a date before 2001 into truncated seconds and the fraction's magnitude
        // (-0.25 s comes back as 0 and 250000), so the fraction takes the sign of the seconds.
        // Within the single second before 2001 the sign is lost; no real file holds such a date.
        const double fraction = microseconds / 1e6;
        return Value(Date{seconds < 0 ? seconds - fraction : seconds + fraction});
    }
    std::optional<std::string> text = xmlElementText(node, "date");
    std::optional<double> parsed = text ? calendar::parseIsoText(*text) : std::nullopt;
    if (!parsed) {
        return std::nullopt;
    }
    return Value(Date{*parsed});
}

std::optional<Value> arrayFromNode(plist_t node, int depth) {
    Array array;
    array.reserve(plist_array_get_size(node));
    plist_array_iter iterator = nullptr;
    plist_array_new_iter(node, &iterator);
    Malloced<void> ownedIterator(iterator);
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(node, iterator, &item);
        if (item == nullptr) {
            break;
        }
        std::optional<Value> value = fromNode(item, depth + 1);
        if (!value) {
            return std::nullopt;
        }
        array.push_back(std::move(*value));
    }
    return Value(std::move(array));
}

std::optional<Value> dictionaryFromNode(plist_t node, int depth) {
    Dictionary dictionary;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(node, &iterator);
    Malloced<void> ownedIterator(iterator);
    for (;;) {
        char* rawKey = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iterator, &rawKey, &item);
        Malloced<char> key(rawKey);
        if (item == nullptr || key == nullptr) {
            break;
        }
        std::optional<Value> value = fromNode(item, depth + 1);
        if (!value) {
            return std::nullopt;
        }
        dictionary.insert_or_assign(std::string(key.get()), std::move(*value));
    }
    return Value(std::move(dictionary));
}

std::optional<Value> fromNode(plist_t node, int depth) {
    if (depth > maximumDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        return Value(flag != 0);
    }
    case PLIST_UINT:
        return integerFromNode(node);
    case PLIST_REAL: {
        double real = 0;
        plist_get_real_val(node, &real);
        return Value(real);
    }
    case PLIST_STRING: {
        std::uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return Value(text == nullptr ? std::string() : std::string(text, length));
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        std::uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        Malloced<char> owned(bytes);
        // Empty data from XML comes back as a null pointer with length 0.
        return Value(Data{bytes == nullptr ? std::string() : std::string(bytes, length)});
    }
    case PLIST_DATE:
        return dateFromNode(node);
    case PLIST_ARRAY:
        return arrayFromNode(node, depth);
    case PLIST_DICT:
        return dictionaryFromNode(node, depth);
    default:
        // Keyed-archive identifiers and anything unknown are no value we could write back.
        return std::nullopt;
    }
}

bool hasNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

Node toNode(const Value& value, int depth);

Node integerNode(std::uint64_t unsignedValue) {
    if (unsignedValue <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return Node(plist_new_uint(unsignedValue));
    }
    // plist_new_uint would print this as a negative number.
    return nodeFromXml("<integer>" + std::to_string(unsignedValue) + "</integer>");
}

Node dateNode(Date date) {
    const double seconds = date.secondsSinceReferenceDate;
    if (!std::isfinite(seconds)) {
        return nullptr;
    }
    const double whole = std::floor(seconds);
    if (whole > std::numeric_limits<std::int32_t>::min() &&
        whole < std::numeric_limits<std::int32_t>::max()) {
        auto microseconds = static_cast<std::int32_t>(std::lround((seconds - whole) * 1e6));
        auto wholeSeconds = static_cast<std::int32_t>(whole);
        if (microseconds == 1000000) {
            microseconds = 0;
            ++wholeSeconds;
        }
        return Node(plist_new_date(wholeSeconds, microseconds));
    }
    // Beyond ±68 years from 2001 the numeric constructor cannot hold the date; XML can.
    if (std::fabs(whole) > 1e15) {
        return nullptr;
    }
    return nodeFromXml("<date>" + calendar::isoText(whole) + "</date>");
}

Node arrayNode(const Array& array, int depth) {
    Node node(plist_new_array());
    for (const Value& item : array) {
        Node child = toNode(item, depth + 1);
        if (!child) {
            return nullptr;
        }
        plist_array_append_item(node.get(), child.release());
    }
    return node;
}

Node dictionaryNode(const Dictionary& dictionary, int depth) {
    Node node(plist_new_dict());
    for (const auto& [key, item] : dictionary) {
        if (hasNul(key)) {
            return nullptr;
        }
        Node child = toNode(item, depth + 1);
        if (!child) {
            return nullptr;
        }
        plist_dict_set_item(node.get(), key.c_str(), child.release());
    }
    return node;
}

// Null when some part is "nothing" or cannot be written without changing it (a NUL inside a
// text would silently cut it short).
Node toNode(const Value& value, int depth) {
    if (depth > maximumDepth) {
        return nullptr;
    }
    const Value::Storage& storage = value.storage();
    if (const auto* text = std::get_if<std::string>(&storage)) {
        return hasNul(*text) ? nullptr : Node(plist_new_string(text->c_str()));
    }
    if (const auto* signedValue = std::get_if<std::int64_t>(&storage)) {
        // Stored as the two's complement; libplist writes values above 2^63 of this kind as
        // negative numbers again.
        return Node(plist_new_uint(static_cast<std::uint64_t>(*signedValue)));
    }
    if (const auto* unsignedValue = std::get_if<std::uint64_t>(&storage)) {
        return integerNode(*unsignedValue);
    }
    if (const auto* real = std::get_if<double>(&storage)) {
        return Node(plist_new_real(*real));
    }
    if (const auto* flag = std::get_if<bool>(&storage)) {
        return Node(plist_new_bool(*flag ? 1 : 0));
    }
    if (const auto* data = std::get_if<Data>(&storage)) {
        return Node(plist_new_data(data->bytes.data(), data->bytes.size()));
    }
    if (const auto* date = std::get_if<Date>(&storage)) {
        return dateNode(*date);
    }
    if (const auto* array = std::get_if<Array>(&storage)) {
        return arrayNode(*array, depth);
    }
    if (const auto* dictionary = std::get_if<Dictionary>(&storage)) {
        return dictionaryNode(*dictionary, depth);
    }
    return nullptr;
}

} // namespace

std::optional<Value> parse(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    if (binary::hasTextWithNul(bytes)) {
        return std::nullopt;
    }
    // libplist leaves the output untouched on bad input, so it must start out null.
    plist_t root = nullptr;
    // By format, with the calls every libplist has (2.3 changed plist_from_memory's arguments).
    const auto length = static_cast<std::uint32_t>(bytes.size());
    if (plist_is_binary(bytes.data(), length)) {
        plist_from_bin(bytes.data(), length, &root);
    } else {
        plist_from_xml(bytes.data(), length, &root);
    }
    if (root == nullptr) {
        return std::nullopt;
    }
    Node owned(root);
    return fromNode(root, 0);
}

std::optional<std::string> toXml(const Value& value) {
    Node node = toNode(value, 0);
    if (!node) {
        return std::nullopt;
    }
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(node.get(), &xml, &length);
    if (xml == nullptr) {
        return std::nullopt;
    }
    std::string text(xml, length);
    std::free(xml); // malloc'd; libplist 2.3 dropped plist_to_xml_free
    return text;
}

std::optional<std::string> toBinary(const Value& value) {
    Node node = toNode(value, 0);
    if (!node) {
        return std::nullopt;
    }
    char* binary = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node.get(), &binary, &length);
    if (binary == nullptr) {
        return std::nullopt;
    }
    std::string bytes(binary, length);
    std::free(binary); // malloc'd; libplist 2.3 dropped plist_to_bin_free
    return bytes;
}

} // namespace plist
