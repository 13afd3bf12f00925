#pragma once

#include <string_view>

// Writes every byte, retrying short and interrupted writes; false when the descriptor takes no
// more (closed pipe, full disk), with errno set.
bool writeAll(int descriptor, std::string_view bytes);
