#include "engine/ScriptOutput.h"

#include "Utf8.h"

#include <charconv>

namespace {

// A message keeps this much of what a tool printed; a flood of output is not a message.
constexpr std::size_t longestMessage = 4096;

// The first `most` non-empty lines of `text` (ended by line feeds or carriage returns), without
// surrounding blanks.
std::vector<std::string_view> linesOf(std::string_view text, std::size_t most) {
    std::vector<std::string_view> lines;
    while (!text.empty() && lines.size() < most) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string_view::npos) {
            line = line.substr(first, line.find_last_not_of(" \t") - first + 1);
            lines.push_back(line);
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

} // namespace

std::string messageOf(std::string_view output) {
    std::string joined;
    for (std::string_view line : linesOf(output, longestMessage)) {
        if (!joined.empty()) {
            joined += ' ';
        }
        joined += line;
        if (joined.size() > longestMessage) {
            break;
        }
    }
    return utf8::shortened(joined, longestMessage);
}

ScriptError scriptErrorOf(std::string_view output) {
    // "0:123: execution error: The message. (-128)"; a message may span lines.
    constexpr std::string_view marker = "execution error: ";
    const std::size_t at = output.rfind(marker);
    if (at == std::string_view::npos) {
        return {messageOf(output), std::nullopt};
    }
    std::string_view text = output.substr(at + marker.size());
    text = text.substr(0, text.find_last_not_of(" \t\r\n") + 1);
    const std::size_t open = text.rfind(" (");
    if (open != std::string_view::npos && text.ends_with(')')) {
        long number = 0;
        const std::string_view digits = text.substr(open + 2, text.size() - open - 3);
        const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (parsed.ec == std::errc() && parsed.ptr == digits.data() + digits.size()) {
            return {messageOf(text.substr(0, open)), number};
        }
    }
    return {messageOf(text), std::nullopt};
}

std::vector<std::string> warningsIn(std::string_view output) {
    // The script names a folder and a few receipts at most; anything more is noise.
    std::vector<std::string> warnings;
    for (std::string_view line : linesOf(output, 8)) {
        warnings.push_back(utf8::shortened(line, longestMessage));
    }
    return warnings;
}
