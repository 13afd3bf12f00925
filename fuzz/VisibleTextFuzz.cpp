// Any bytes made visible: the result is valid UTF-8 with no control character at all, so a name
// from disk can neither break a line nor spoil the text it is printed in.
#include "Utf8.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string shown = utf8::visible(bytes);
    if (!utf8::isValid(shown)) {
        std::abort();
    }
    for (char c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            std::abort();
        }
    }
    bool printableAscii = true;
    for (char c : bytes) {
        printableAscii = printableAscii && c >= 0x20 && c < 0x7F;
    }
    if (printableAscii && shown != bytes) {
        std::abort(); // ordinary text prints unchanged
    }
    return 0;
}
