#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace utf8 {

// Strict UTF-8: rejects overlong forms, surrogates (U+D800…U+DFFF), code points above U+10FFFF
// and truncated sequences, as the platform's decoder does.
bool isValid(std::string_view bytes);

// Text from outside (a file name, a tool's output) made safe to print on one line: characters
// print unchanged, except line feed, carriage return and tab as \n, \r, \t, every other control
// character and the Unicode line and paragraph separators as their UTF-8 bytes in \xHH form, and
// every byte that is not part of well-formed UTF-8 as \xHH.
std::string visible(std::string_view bytes);

// Text from outside made visible (above) and cut to at most `limit` bytes at a character
// boundary, "…" marking a cut: what a message, a log line or a JSON line keeps of it.
std::string shortened(std::string_view bytes, std::size_t limit);

// How far `bytes` holds whole valid sequences from its start. `invalid` tells a byte there that no
// continuation can make valid from a sequence merely cut off by the end of `bytes`, so text that
// arrives in pieces can be checked as it comes.
struct Prefix {
    std::size_t length;
    bool invalid;
};
Prefix validPrefix(std::string_view bytes);

} // namespace utf8
