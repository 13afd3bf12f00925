#pragma once

#include <cstddef>
#include <string_view>

namespace utf8 {

// Strict UTF-8: rejects overlong forms, surrogates (U+D800…U+DFFF), code points above U+10FFFF
// and truncated sequences, as the platform's decoder does.
bool isValid(std::string_view bytes);

// How far `bytes` holds whole valid sequences from its start. `invalid` tells a byte there that no
// continuation can make valid from a sequence merely cut off by the end of `bytes`, so text that
// arrives in pieces can be checked as it comes.
struct Prefix {
    std::size_t length;
    bool invalid;
};
Prefix validPrefix(std::string_view bytes);

} // namespace utf8
