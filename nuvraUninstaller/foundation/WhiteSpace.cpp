#include "foundation/WhiteSpace.h"

namespace WhiteSpace {

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(characters) - first + 1));
}

} // namespace WhiteSpace
