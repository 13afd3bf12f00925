#include "foundation/Utf8.h"

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

} // namespace

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

} // namespace utf8
