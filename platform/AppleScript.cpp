#include "AppleScript.h"

#include <mutex>
#include <string_view>

// Reading the one script form is shared by every platform: the application never runs anything
// else with administrator rights, so the real AppleScript backend refuses other sources too.

namespace {

std::mutex replacementLock;
AppleScript::Execution replacementForTesting;

constexpr std::string_view sourcePrefix = "do shell script \"";
constexpr std::string_view sourceSuffix = "\" with administrator privileges";

// Unescapes the body of an AppleScript string literal up to its closing quote. Returns the text
// and the index just past the closing quote; none for an unterminated literal or an escape
// AppleScript does not know.
std::optional<std::pair<std::string, size_t>> unescapeLiteral(std::string_view source,
                                                              size_t start) {
    std::string text;
    for (size_t i = start; i < source.size(); ++i) {
        const char c = source[i];
        if (c == '"') {
            return std::pair{text, i + 1};
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++i == source.size()) {
            return std::nullopt;
        }
        switch (source[i]) {
        case '"':
            text += '"';
            break;
        case '\\':
            text += '\\';
            break;
        case 'n':
            text += '\n';
            break;
        case 't':
            text += '\t';
            break;
        case 'r':
            text += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<AppleScript> AppleScript::fromSource(const std::string& source) {
    const std::string_view text = source;
    if (!text.starts_with(sourcePrefix)) {
        return std::nullopt;
    }
    const auto literal = unescapeLiteral(text, sourcePrefix.size());
    // The closing quote belongs to the suffix, so compare from just before the literal's end.
    if (!literal || text.substr(literal->second - 1) != sourceSuffix) {
        return std::nullopt;
    }
    return AppleScript(source, literal->first);
}

std::optional<AppleScript::ErrorInfo> AppleScript::execute() const {
    Execution replacement;
    {
        std::lock_guard guard(replacementLock);
        replacement = replacementForTesting;
    }
    return replacement ? replacement(command_) : systemExecute();
}

bool AppleScript::requiresMainThread() {
    std::lock_guard guard(replacementLock);
    return replacementForTesting || systemRequiresMainThread();
}

void AppleScript::overrideExecutionForTesting(Execution replacement) {
    std::lock_guard guard(replacementLock);
    replacementForTesting = std::move(replacement);
}
