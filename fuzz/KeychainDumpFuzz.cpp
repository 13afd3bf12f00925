// Any bytes as "security dump-keychain" output: read without a crash, and every account taken
// from it is a product account that stays inside one quoted value, counted once per line at most.
#include "../nuvraUninstaller/discovery/KeychainDump.cpp"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view dump(reinterpret_cast<const char*>(data), size);
    const auto counts = KeychainDump::countNuvraAccounts(dump);
    std::size_t lines = 1;
    for (char c : dump) {
        lines += c == '\n' ? 1 : 0;
    }
    std::size_t items = 0;
    for (const auto& [account, count] : counts) {
        if (!account.starts_with("ai.nuvra.") || account.find('"') != std::string::npos ||
            account.find('\n') != std::string::npos || count == 0) {
            std::abort();
        }
        items += count;
    }
    if (items > lines || KeychainDump::parseNuvraAccounts(dump).size() != counts.size()) {
        std::abort();
    }
    return 0;
}
