#include "discovery/KeychainDump.h"

#include <set>

namespace KeychainDump {
namespace {

constexpr std::string_view accountAttribute = "\"acct\"<blob>=\"";
constexpr std::string_view productAccountPrefix = "ai.nuvra.";

// The quoted account value in one line, or empty when the line has none or leaves it unclosed.
std::string_view accountIn(std::string_view line) {
    const size_t start = line.find(accountAttribute);
    if (start == std::string_view::npos) {
        return {};
    }
    const std::string_view rest = line.substr(start + accountAttribute.size());
    const size_t end = rest.find('"');
    if (end == std::string_view::npos) {
        return {};
    }
    return rest.substr(0, end);
}

} // namespace

std::vector<std::string> parseNuvraAccounts(std::string_view dump) {
    std::set<std::string, std::less<>> accounts;
    while (!dump.empty()) {
        const size_t newline = dump.find('\n');
        const std::string_view line = dump.substr(0, newline);
        dump = newline == std::string_view::npos ? std::string_view{} : dump.substr(newline + 1);

        const std::string_view account = accountIn(line);
        if (account.starts_with(productAccountPrefix) && !accounts.contains(account)) {
            accounts.emplace(account);
        }
    }
    return {accounts.begin(), accounts.end()};
}

} // namespace KeychainDump
