#pragma once

#include <string>
#include <string_view>
#include <vector>

// Reading the product's account names out of "security dump-keychain" output.
namespace KeychainDump {

// Distinct account values starting with "ai.nuvra." found in `dump`, in ascending order. Each
// line contributes the value of its first `"acct"<blob>="…"` attribute, if the line closes the
// quote. One pass over the text; only kept values are copied.
std::vector<std::string> parseNuvraAccounts(std::string_view dump);

} // namespace KeychainDump
