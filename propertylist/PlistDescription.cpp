#include "PlistCalendar.h"
#include "PlistValue.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace plist {
namespace {

// Renders in the platform's old-style property-list description: nested braces and parentheses,
// four spaces per level, texts quoted unless they are plain words. Texts are kept verbatim apart
// from escaping quotes and backslashes, so every key and text value can be found by a needle.
class Describer {
public:
    std::string take() { return std::move(out_); }

    void value(const Value& v, int depth) {
        const Value::Storage& storage = v.storage();
        if (const auto* text = std::get_if<std::string>(&storage)) {
            quoted(*text);
        } else if (const auto* signedValue = std::get_if<std::int64_t>(&storage)) {
            out_ += std::to_string(*signedValue);
        } else if (const auto* unsignedValue = std::get_if<std::uint64_t>(&storage)) {
            out_ += std::to_string(*unsignedValue);
        } else if (const auto* real = std::get_if<double>(&storage)) {
            number(*real);
        } else if (const auto* flag = std::get_if<bool>(&storage)) {
            out_ += *flag ? "1" : "0";
        } else if (const auto* data = std::get_if<Data>(&storage)) {
            bytes(*data);
        } else if (const auto* date = std::get_if<Date>(&storage)) {
            out_ += calendar::descriptionText(date->secondsSinceReferenceDate);
        } else if (const auto* array = std::get_if<Array>(&storage)) {
            list(*array, depth);
        } else if (const auto* dictionary = std::get_if<Dictionary>(&storage)) {
            map(*dictionary, depth);
        } else {
            out_ += "<nothing>";
        }
    }

private:
    void indent(int depth) { out_.append(static_cast<std::size_t>(depth) * 4, ' '); }

    static bool isPlainWord(const std::string& text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '$' || c == '.' || c == '/' || c == ':' || c == '-';
        });
    }

    void quoted(const std::string& text) {
        if (isPlainWord(text)) {
            out_ += text;
            return;
        }
        out_ += '"';
        for (char c : text) {
            if (c == '"' || c == '\\') {
                out_ += '\\';
            }
            out_ += c;
        }
        out_ += '"';
    }

    void number(double real) {
        char text[32];
        auto [end, error] = std::to_chars(text, text + sizeof text, real);
        out_.append(text, error == std::errc() ? end : text);
    }

    void bytes(const Data& data) {
        constexpr std::size_t shown = 32;
        out_ += "{length = " + std::to_string(data.bytes.size()) + ", bytes = 0x";
        char hex[3];
        for (std::size_t i = 0; i < std::min(data.bytes.size(), shown); ++i) {
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(data.bytes[i]));
            out_ += hex;
        }
        out_ += data.bytes.size() > shown ? "...}" : "}";
    }

    void list(const Array& array, int depth) {
        out_ += "(\n";
        for (std::size_t i = 0; i < array.size(); ++i) {
            indent(depth + 1);
            value(array[i], depth + 1);
            out_ += i + 1 < array.size() ? ",\n" : "\n";
        }
        indent(depth);
        out_ += ')';
    }

    void map(const Dictionary& dictionary, int depth) {
        out_ += "{\n";
        for (const auto& [key, item] : dictionary) {
            indent(depth + 1);
            quoted(key);
            out_ += " = ";
            value(item, depth + 1);
            out_ += ";\n";
        }
        indent(depth);
        out_ += '}';
    }

    std::string out_;
};

} // namespace

std::string describe(const Value& value) {
    Describer describer;
    describer.value(value, 0);
    return describer.take();
}

} // namespace plist
