#include "foundation/HIToolboxStore.h"

#include "foundation/SystemTools.h"
#include "foundation/UserCommand.h"

namespace HIToolboxStore {
namespace {

constexpr const char* domain = "com.apple.HIToolbox";

} // namespace

std::optional<plist::Dictionary> read() {
    // "-" makes the tool print the domain to its output; it shares the pipe with its error
    // stream, so a warning there spoils the parse and the read fails rather than guessing.
    std::optional<Shell::Result> result =
        UserCommand::run(SystemTools::defaults, {"export", domain, "-"});
    if (!result || result->terminationStatus != 0 || result->data.empty()) {
        return std::nullopt;
    }
    std::optional<plist::Value> contents = plist::parse(result->data);
    if (!contents) {
        return std::nullopt;
    }
    plist::Dictionary* dictionary = contents->get<plist::Dictionary>();
    if (dictionary == nullptr) {
        return std::nullopt;
    }
    return std::move(*dictionary);
}

bool write(const plist::Dictionary& contents) {
    // Serialise first: a value that cannot be written must not replace the domain with anything.
    std::optional<std::string> xml = plist::toXml(plist::Value(contents));
    if (!xml) {
        return false;
    }
    std::optional<Shell::Result> result =
        UserCommand::run(SystemTools::defaults, {"import", domain, "-"}, *xml);
    return result && result->terminationStatus == 0;
}

} // namespace HIToolboxStore
