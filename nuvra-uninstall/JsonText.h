#pragma once

#include <nlohmann/json.hpp>
#include <string>

// Objects keep their keys in the order written, so people reading the output see them as
// documented.
using Json = nlohmann::ordered_json;

// One JSON value as compact text on one line. Names read from disk may hold bytes that are not
// UTF-8; they are replaced (U+FFFD) rather than ending the output with an exception.
std::string jsonText(const Json& value);
