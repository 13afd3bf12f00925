#include "discovery/KeychainDump.h"

#include <algorithm>

namespace KeychainDump {
namespace {

constexpr std::string_view accountAttribute = "\"acct\"<blob>=\"";
constexpr std::string_view productAccountPrefix = "ai.nuvra.";

} // namespace

std::map<std::string, std::size_t, std::less<>> countNuvraAccounts(std::string_view dump) {
    std::map<std::string, std::size_t, std::less<>> counts;
    // Jumping from one attribute to the next and then past the end of its line visits each line's
    // first attribute only, without splitting the dump into lines. The attribute holds no line
    // feed, so a match never spans two lines.
    size_t position = 0;
    while ((position = dump.find(accountAttribute, position)) != std::string_view::npos) {
        const size_t valueStart = position + accountAttribute.size();
        const size_t lineEnd = std::min(dump.find('\n', valueStart), dump.size());
        const std::string_view rest = dump.substr(valueStart, lineEnd - valueStart);
        const size_t closingQuote = rest.find('"');
        if (closingQuote != std::string_view::npos) {
            const std::string_view account = rest.substr(0, closingQuote);
            if (account.starts_with(productAccountPrefix)) {
                if (const auto known = counts.find(account); known != counts.end()) {
                    ++known->second;
                } else {
                    counts.emplace(account, 1);
                }
            }
        }
        position = lineEnd;
    }
    return counts;
}

std::vector<std::string> parseNuvraAccounts(std::string_view dump) {
    std::vector<std::string> accounts;
    for (auto& [account, count] : countNuvraAccounts(dump)) {
        accounts.push_back(account);
    }
    return accounts;
}

} // namespace KeychainDump
