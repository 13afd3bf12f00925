// Whatever the privileged removal printed (osascript's report, the script's lines, a flood): read
// without a crash, and every message and warning taken from it is one bounded, visible line.
#include "../nuvraUninstaller/engine/ScriptOutput.cpp"

#include <cstdint>
#include <cstdlib>

namespace {

void requireOneBoundedLine(const std::string& text) {
    if (!utf8::isValid(text) || text.size() > 4096) {
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
    const std::string_view output(reinterpret_cast<const char*>(data), size);
    requireOneBoundedLine(scriptErrorOf(output).message);
    const auto warnings = warningsIn(output);
    if (warnings.size() > 8) {
        std::abort();
    }
    for (const std::string& warning : warnings) {
        requireOneBoundedLine(warning);
    }
    return 0;
}
