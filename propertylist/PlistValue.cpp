#include "PlistValue.h"

#include "PlistBinaryCheck.h"
#include "PlistCalendar.h"
#include "PlistXmlCheck.h"
#include "Utf8.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
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

// What one of libplist's writers made of `node`, as bytes we own; nothing when it wrote nothing.
// Its buffer is malloc'd (libplist 2.3 dropped plist_to_xml_free and plist_to_bin_free, and made
// the writers return a status, which is why they are passed as callables).
template <class Writer> std::optional<std::string> written(plist_t node, Writer write) {
    char* bytes = nullptr;
    std::uint32_t length = 0;
    write(node, &bytes, &length);
    const Malloced<char> owned(bytes);
    if (bytes == nullptr) {
        return std::nullopt;
    }
    return std::string(bytes, length);
}

std::optional<std::string> writtenXml(plist_t node) {
    return written(
        node, [](plist_t n, char** out, std::uint32_t* length) { plist_to_xml(n, out, length); });
}

std::optional<std::string> writtenBinary(plist_t node) {
    return written(
        node, [](plist_t n, char** out, std::uint32_t* length) { plist_to_bin(n, out, length); });
}

// The element of an XML rendering of `node` between <tag> and </tag>. libplist keeps details its
// accessors do not expose (an integer's sign above 2^63, a date beyond ±68 years from 2001), but
// its XML writer prints them faithfully.
std::optional<std::string> xmlElementText(plist_t node, const std::string& tag) {
    const Node copy(plist_copy(node));
    const std::optional<std::string> xml = writtenXml(copy.get());
    if (!xml) {
        return std::nullopt;
    }
    const std::string& text = *xml;
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

// Text is UTF-8 without NUL, or no property list can carry it: libplist's binary writer stops a
// text at its first invalid byte and its XML writer produces a file no reader accepts. Reading
// refuses such text too, so whatever parse() returns can be written back byte for byte.
bool isWritableText(const std::string& text) {
    return text.find('\0') == std::string::npos && utf8::isValid(text);
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

// libplist's own date accessor hands out whole seconds and microseconds within ±68 years of 2001
// only, and its XML reader mangles years outside 1…9999. Its binary form, though, holds the
// date's exact seconds as a big-endian double, so dates travel through that form both ways.
constexpr unsigned char binaryDateMarker = 0x33;
constexpr std::size_t binaryHeaderSize = 8; // "bplist00"

std::optional<Value> dateFromNode(plist_t node) {
    const Node copy(plist_copy(node));
    const std::optional<std::string> written = writtenBinary(copy.get());
    if (!written) {
        return std::nullopt;
    }
    const std::string& binary = *written;
    // The only object follows the header: the marker, then eight bytes.
    if (binary.size() < binaryHeaderSize + 9 ||
        static_cast<unsigned char>(binary[binaryHeaderSize]) != binaryDateMarker) {
        return std::nullopt;
    }
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        bits = (bits << 8) | static_cast<unsigned char>(binary[binaryHeaderSize + 1 + i]);
    }
    double seconds = 0;
    std::memcpy(&seconds, &bits, sizeof seconds);
    if (!std::isfinite(seconds)) {
        return std::nullopt; // no writer takes it back
    }
    return Value(Date{seconds});
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
        if (!isWritableText(key.get())) {
            return std::nullopt; // see isWritableText
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
        std::string copy = text == nullptr ? std::string() : std::string(text, length);
        if (!isWritableText(copy)) {
            return std::nullopt; // see isWritableText
        }
        return Value(std::move(copy));
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

enum class Format { xml, binary };

Node toNode(const Value& value, int depth, Format format);

Node integerNode(std::uint64_t unsignedValue) {
    if (unsignedValue <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return Node(plist_new_uint(unsignedValue));
    }
    // plist_new_uint would print this as a negative number.
    return nodeFromXml("<integer>" + std::to_string(unsignedValue) + "</integer>");
}

// A one-object binary property list holding the date, read back by libplist.
Node dateNode(Date date) {
    std::string binary = "bplist00";
    binary.push_back(static_cast<char>(binaryDateMarker));
    std::uint64_t bits = 0;
    std::memcpy(&bits, &date.secondsSinceReferenceDate, sizeof bits);
    for (int shift = 56; shift >= 0; shift -= 8) {
        binary.push_back(static_cast<char>((bits >> shift) & 0xFF));
    }
    const std::size_t offsetTableStart = binary.size();
    binary.push_back(static_cast<char>(binaryHeaderSize)); // the object's offset
    // Trailer: six unused bytes, offset and reference widths, object count, root, table start.
    binary.append(6, '\0');
    binary.push_back(1);
    binary.push_back(1);
    for (std::uint64_t field :
         {std::uint64_t{1}, std::uint64_t{0}, static_cast<std::uint64_t>(offsetTableStart)}) {
        for (int shift = 56; shift >= 0; shift -= 8) {
            binary.push_back(static_cast<char>((field >> shift) & 0xFF));
        }
    }
    plist_t node = nullptr;
    plist_from_bin(binary.data(), static_cast<std::uint32_t>(binary.size()), &node);
    return Node(node);
}

Node arrayNode(const Array& array, int depth, Format format) {
    Node node(plist_new_array());
    for (const Value& item : array) {
        Node child = toNode(item, depth + 1, format);
        if (!child) {
            return nullptr;
        }
        plist_array_append_item(node.get(), child.release());
    }
    return node;
}

Node dictionaryNode(const Dictionary& dictionary, int depth, Format format) {
    Node node(plist_new_dict());
    for (const auto& [key, item] : dictionary) {
        if (!isWritableText(key)) {
            return nullptr;
        }
        Node child = toNode(item, depth + 1, format);
        if (!child) {
            return nullptr;
        }
        plist_dict_set_item(node.get(), key.c_str(), child.release());
    }
    return node;
}

// Null when some part is "nothing" or cannot be written in `format` without changing it.
Node toNode(const Value& value, int depth, Format format) {
    if (depth > maximumDepth) {
        return nullptr;
    }
    const Value::Storage& storage = value.storage();
    if (const auto* text = std::get_if<std::string>(&storage)) {
        return isWritableText(*text) ? Node(plist_new_string(text->c_str())) : nullptr;
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
        // XML holds whole seconds of the years 1…9999 (the format has no fractions; libplist
        // mangles other years); binary holds any finite date exactly.
        const double seconds = date->secondsSinceReferenceDate;
        if (!std::isfinite(seconds) ||
            (format == Format::xml && !calendar::isWithinWritableYears(seconds))) {
            return nullptr;
        }
        // libplist's XML writer would cut the fraction towards zero; whole seconds are the
        // floor, as for every other date before them.
        return dateNode(format == Format::xml ? Date{std::floor(seconds)} : *date);
    }
    if (const auto* array = std::get_if<Array>(&storage)) {
        return arrayNode(*array, depth, format);
    }
    if (const auto* dictionary = std::get_if<Dictionary>(&storage)) {
        return dictionaryNode(*dictionary, depth, format);
    }
    return nullptr;
}

} // namespace

std::optional<Value> parse(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    if (binary::hasTextWithNul(bytes) || xml::wouldBeMisread(bytes)) {
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
    Node node = toNode(value, 0, Format::xml);
    if (!node) {
        return std::nullopt;
    }
    return writtenXml(node.get());
}

std::optional<std::string> toBinary(const Value& value) {
    Node node = toNode(value, 0, Format::binary);
    if (!node) {
        return std::nullopt;
    }
    return writtenBinary(node.get());
}

} // namespace plist
