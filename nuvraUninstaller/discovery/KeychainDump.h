#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Reading the product's account names out of "security dump-keychain" output.
namespace KeychainDump {

// How many items name each account starting with "ai.nuvra." in `dump`, by account in ascending
// order. Each line contributes the value of its first `"acct"<blob>="…"` attribute, if the line
// closes the quote. One pass over the text; only kept values are copied.
std::map<std::string, std::size_t, std::less<>> countNuvraAccounts(std::string_view dump);

// The same accounts, each once, in ascending order.
std::vector<std::string> parseNuvraAccounts(std::string_view dump);

} // namespace KeychainDump
