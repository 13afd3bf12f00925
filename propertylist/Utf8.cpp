#include "Utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace utf8 {
namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Length of the sequence that `lead` starts and the allowed range of its second byte, which is
// where overlongs, surrogates and values above U+10FFFF are told apart.
struct LeadInfo {
    int length;
    unsigned char secondMin;
    unsigned char secondMax;
};

LeadInfo describeLead(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {2, 0x80, 0xBF};
    }
    if (lead == 0xE0) {
        return {3, 0xA0, 0xBF}; // below would be overlong
    }
    if (lead == 0xED) {
        return {3, 0x80, 0x9F}; // above would be a surrogate
    }
    if (lead >= 0xE1 && lead <= 0xEF) {
        return {3, 0x80, 0xBF};
    }
    if (lead == 0xF0) {
        return {4, 0x90, 0xBF}; // below would be overlong
    }
    if (lead >= 0xF1 && lead <= 0xF3) {
        return {4, 0x80, 0xBF};
    }
    if (lead == 0xF4) {
        return {4, 0x80, 0x8F}; // above would pass U+10FFFF
    }
    return {0, 0, 0};
}

// Thirty-two bytes at a time while the text is plain ASCII, which tool output nearly always is: a
// large capture is checked at memory speed.
std::size_t skipAscii(const unsigned char* bytes, std::size_t at, std::size_t size) {
    constexpr std::uint64_t highBits = 0x8080808080808080ULL;
    while (at + 32 <= size) {
        std::uint64_t words[4];
        std::memcpy(words, bytes + at, sizeof words);
        if (((words[0] | words[1] | words[2] | words[3]) & highBits) != 0) {
            break;
        }
        at += 32;
    }
    while (at + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, bytes + at, sizeof word);
        if ((word & highBits) != 0) {
            break;
        }
        at += 8;
    }
    while (at < size && bytes[at] < 0x80) {
        ++at;
    }
    return at;
}

// Length of the well-formed sequence starting at `at`, or 0 when the bytes there are not one.
std::size_t sequenceLength(const unsigned char* bytes, std::size_t at, std::size_t size) {
    if (bytes[at] < 0x80) {
        return 1;
    }
    const LeadInfo lead = describeLead(bytes[at]);
    if (lead.length == 0 || size - at < static_cast<std::size_t>(lead.length)) {
        return 0;
    }
    const unsigned char second = bytes[at + 1];
    if (second < lead.secondMin || second > lead.secondMax) {
        return 0;
    }
    for (int i = 2; i < lead.length; ++i) {
        if (!isContinuation(bytes[at + static_cast<std::size_t>(i)])) {
            return 0;
        }
    }
    return static_cast<std::size_t>(lead.length);
}

// C0 controls, DEL, C1 controls (U+0080…U+009F) and the Unicode line and paragraph separators:
// the characters that break or rewrite a line where they are printed.
bool isLineBreaking(std::string_view character) {
    const auto first = static_cast<unsigned char>(character[0]);
    if (character.size() == 1) {
        return first < 0x20 || first == 0x7F;
    }
    return (character.size() == 2 && first == 0xC2 &&
            static_cast<unsigned char>(character[1]) < 0xA0) ||
           character == "\u2028" || character == "\u2029";
}

void appendHex(std::string& out, unsigned char byte) {
    constexpr char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

} // namespace

std::string visible(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequenceLength(bytes, at, text.size());
        if (length == 0) {
            appendHex(out, bytes[at]);
            ++at;
            continue;
        }
        const std::string_view character = text.substr(at, length);
        at += length;
        if (!isLineBreaking(character)) {
            out += character;
        } else if (character == "\n") {
            out += "\\n";
        } else if (character == "\r") {
            out += "\\r";
        } else if (character == "\t") {
            out += "\\t";
        } else {
            for (char byte : character) {
                appendHex(out, static_cast<unsigned char>(byte));
            }
        }
    }
    return out;
}

Prefix validPrefix(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t at = 0;
    for (;;) {
        at = skipAscii(bytes, at, size);
        if (at == size) {
            return {at, false};
        }
        const LeadInfo lead = describeLead(bytes[at]);
        if (lead.length == 0) {
            return {at, true};
        }
        if (size - at < static_cast<std::size_t>(lead.length)) {
            return {at, false}; // cut off by the end: more bytes may complete it
        }
        const unsigned char second = bytes[at + 1];
        if (second < lead.secondMin || second > lead.secondMax) {
            return {at, true};
        }
        for (int i = 2; i < lead.length; ++i) {
            if (!isContinuation(bytes[at + static_cast<std::size_t>(i)])) {
                return {at, true};
            }
        }
        at += static_cast<std::size_t>(lead.length);
    }
}

bool isValid(std::string_view text) {
    return validPrefix(text).length == text.size();
}

namespace {

// The length of `text` without a last character that the end cuts short.
std::size_t withoutCutCharacter(std::string_view text) {
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto c = static_cast<unsigned char>(text[text.size() - back]);
        if ((c & 0xC0) == 0x80) {
            continue;
        }
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? text.size() - back : text.size();
    }
    return text.size();
}

} // namespace

std::string shortened(std::string_view bytes, std::size_t limit) {
    // Only the start can be kept, so only the start is made visible: a flood costs nothing.
    std::string_view start = bytes.substr(0, std::min(bytes.size(), limit));
    if (start.size() < bytes.size()) {
        start = start.substr(0, withoutCutCharacter(start));
    }
    std::string text = visible(start);
    if (start.size() == bytes.size() && text.size() <= limit) {
        return text;
    }
    constexpr std::string_view mark = "\u2026";
    const std::size_t keep = limit > mark.size() ? limit - mark.size() : 0;
    if (text.size() > keep) {
        text.resize(withoutCutCharacter(std::string_view(text).substr(0, keep)));
    }
    return text + std::string(mark);
}

} // namespace utf8
