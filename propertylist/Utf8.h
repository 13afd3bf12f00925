#pragma once

#include <string_view>

namespace utf8 {

// Strict UTF-8: rejects overlong forms, surrogates (U+D800…U+DFFF), code points above U+10FFFF
// and truncated sequences, as the platform's decoder does.
bool isValid(std::string_view bytes);

} // namespace utf8
