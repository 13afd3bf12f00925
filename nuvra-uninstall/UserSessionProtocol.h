#pragma once

#include "discovery/UninstallInventory.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a root run and the process doing the user's share of it say to each other, one line at a
// time. The root process sends one request per line: "scan", or a step's raw id (for removeApps
// only the user's own bundles). The user's process answers with any number of {"log": text}
// lines (its session-log lines, for the root process's log) and then exactly one of
// {"sentences": [texts]}, {"inventory": [items]} or {"error": text}.
//
// The user's process runs as that user, who may take it over: the root side reads its replies as
// untrusted text. Lines are bounded, anything not exactly of these shapes is refused, and every
// text is made visible (utf8::visible; a log entry keeps its line breaks, its lines escaped).
namespace UserSessionProtocol {

inline constexpr const char* scanRequest = "scan";
// Claims the account's one uninstall session for the rest of the process's life.
inline constexpr const char* claimRequest = "claim";
inline constexpr std::size_t longestLine = 4 * 1024 * 1024;

std::string logLine(std::string_view message);
std::string sentencesLine(const std::vector<std::string>& sentences);
std::string inventoryLine(const UninstallInventory& inventory);
std::string errorLine(std::string_view message);

struct Reply {
    enum class Kind { log, sentences, inventory, error };

    Kind kind = Kind::log;
    std::string text;                   // log, error
    std::vector<std::string> sentences; // sentences
    UninstallInventory inventory;       // inventory
};

// None for a line that is not one of the replies above.
std::optional<Reply> parseReply(std::string_view line);

} // namespace UserSessionProtocol
