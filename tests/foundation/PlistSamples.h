#pragma once

#include "PlistValue.h"

#include <limits>
#include <ostream>

// A keyboard-settings domain as macOS keeps it: the four input-source lists (with the product's
// entries among the system's), next to unrelated keys of every property-list type.
inline plist::Dictionary realisticHIToolboxDomain() {
    using namespace plist;
    Dictionary layoutABC{{"InputSourceKind", "Keyboard Layout"},
                         {"KeyboardLayout ID", Value(std::int64_t{252})},
                         {"KeyboardLayout Name", "ABC"}};
    Dictionary layoutRussian{{"InputSourceKind", "Keyboard Layout"},
                             {"KeyboardLayout ID", Value(std::int64_t{-31000})}, // negative on Macs
                             {"KeyboardLayout Name", "Russian \xe2\x80\x94 PC"}};
    Dictionary nuvraMode{{"Bundle ID", "ai.nuvra.inputmethod.NuvraInput"},
                         {"Input Mode", "ai.nuvra.inputmethod.NuvraInput.default"},
                         {"InputSourceKind", "Input Mode"}};
    Dictionary nuvraMethod{{"Bundle ID", "ai.nuvra.inputmethod.NuvraInput"},
                           {"InputSourceKind", "Non Keyboard Input Method"}};
    return Dictionary{
        {"AppleEnabledInputSources", Array{layoutABC, layoutRussian, nuvraMethod, nuvraMode}},
        {"AppleSelectedInputSources", Array{nuvraMode}},
        {"AppleInputSourceHistory", Array{nuvraMode, layoutABC}},
        {"AppleDisabledInputSources", Array{}},
        {"AppleCurrentKeyboardLayoutInputSourceID", "com.apple.keylayout.ABC"},
        {"AppleFnUsageType", Value(std::int64_t{2})},
        {"AppleDictationAutoEnable", true},
        {"AppleGlobalTextInputProperties", Dictionary{}},
        {"InitialKeyRepeat", Value(std::int64_t{15})},
        {"HugeUnsigned", Value(std::numeric_limits<std::uint64_t>::max())},
        {"SmallestSigned", Value(std::numeric_limits<std::int64_t>::min())},
        {"KeyRepeatRate", 1.0},
        {"Scale", 0.1},
        {"LastSync", Date{723456789.0}},
        {"FarFuture", Date{63113904000.0}}, // year 4001, beyond libplist's numeric date range
        {"Blob", Data{std::string("\x00\x01\xfe\xff", 4)}},
        {"EmptyBlob", Data{}},
        {"Überschrift 👋", "non-ASCII key"},
    };
}

namespace plist {
// Readable test failures: gtest prints values through their description.
inline void PrintTo(const Value& value, std::ostream* out) {
    *out << describe(value);
}
} // namespace plist
