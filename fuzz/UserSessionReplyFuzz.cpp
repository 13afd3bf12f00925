// Any line the user's process could send a root run: read without a crash, and whatever is taken
// from it is text that can neither break a line of the root process's output nor of its log,
// except the line breaks of a log entry, after which nothing passes for a stamped entry.
#include "../nuvra-uninstall/InventoryReport.cpp"
#include "../nuvra-uninstall/JsonText.cpp"
#include "../nuvra-uninstall/UserSessionProtocol.cpp"
#include "../nuvraUninstaller/discovery/InventoryItem.cpp"
#include "../nuvraUninstaller/discovery/UninstallInventory.cpp"

#include <cstdint>
#include <cstdlib>

namespace {

void requireOneLine(const std::string& text) {
    if (!utf8::isValid(text)) {
        std::abort();
    }
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto reply = UserSessionProtocol::parseReply(line);
    if (!reply) {
        return 0;
    }
    using Kind = UserSessionProtocol::Reply::Kind;
    if (reply->kind == Kind::log) {
        std::size_t start = 0;
        for (std::size_t end; (end = reply->text.find('\n', start)) != std::string::npos;
             start = end + 1) {
            requireOneLine(reply->text.substr(start, end - start));
            if (end + 2 < reply->text.size() && reply->text[end + 1] == '[' &&
                reply->text[end + 2] >= '0' && reply->text[end + 2] <= '9') {
                std::abort();
            }
        }
        requireOneLine(reply->text.substr(start));
    } else if (reply->kind == Kind::error) {
        requireOneLine(reply->text);
    }
    for (const std::string& sentence : reply->sentences) {
        requireOneLine(sentence);
    }
    for (const InventoryItem& item : reply->inventory.items) {
        requireOneLine(item.id);
        requireOneLine(item.title);
        requireOneLine(item.detail);
    }
    return 0;
}
