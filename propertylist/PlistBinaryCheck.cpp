#include "PlistBinaryCheck.h"

#include <cstdint>
#include <optional>

namespace plist::binary {
namespace {

constexpr std::string_view magic = "bplist00";
constexpr std::size_t trailerSize = 32;

std::optional<std::uint64_t> bigEndian(std::string_view bytes, std::uint64_t at,
                                       std::uint64_t width) {
    if (width == 0 || width > 8 || at > bytes.size() || bytes.size() - at < width) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::uint64_t i = 0; i < width; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// The character count of the object at `at` and where its characters start.
struct Extent {
    std::uint64_t count;
    std::uint64_t start;
};

std::optional<Extent> textExtent(std::string_view bytes, std::uint64_t at) {
    const unsigned char marker = static_cast<unsigned char>(bytes[at]);
    const std::uint64_t low = marker & 0x0F;
    if (low != 0x0F) {
        return Extent{low, at + 1};
    }
    // A longer count follows as an integer object: 0x1N with 2^N big-endian bytes.
    if (at + 1 >= bytes.size()) {
        return std::nullopt;
    }
    const unsigned char countMarker = static_cast<unsigned char>(bytes[at + 1]);
    if ((countMarker & 0xF0) != 0x10 || (countMarker & 0x0F) > 3) {
        return std::nullopt;
    }
    const std::uint64_t width = std::uint64_t{1} << (countMarker & 0x0F);
    std::optional<std::uint64_t> count = bigEndian(bytes, at + 2, width);
    if (!count) {
        return std::nullopt;
    }
    return Extent{*count, at + 2 + width};
}

bool textObjectHasNul(std::string_view bytes, std::uint64_t at) {
    const unsigned kind = static_cast<unsigned char>(bytes[at]) >> 4;
    if (kind != 0x5 && kind != 0x6) {
        return false;
    }
    std::optional<Extent> extent = textExtent(bytes, at);
    if (!extent) {
        return false;
    }
    const std::uint64_t unitSize = kind == 0x5 ? 1 : 2;
    if (extent->start > bytes.size() || (bytes.size() - extent->start) / unitSize < extent->count) {
        return false;
    }
    for (std::uint64_t i = 0; i < extent->count; ++i) {
        const std::uint64_t unit = extent->start + i * unitSize;
        if (bytes[unit] == '\0' && (unitSize == 1 || bytes[unit + 1] == '\0')) {
            return true;
        }
    }
    return false;
}

} // namespace

bool hasTextWithNul(std::string_view bytes) {
    if (bytes.size() < magic.size() + trailerSize || bytes.substr(0, magic.size()) != magic) {
        return false;
    }
    const std::uint64_t trailer = bytes.size() - trailerSize;
    const std::uint64_t offsetWidth = static_cast<unsigned char>(bytes[trailer + 6]);
    std::optional<std::uint64_t> objectCount = bigEndian(bytes, trailer + 8, 8);
    std::optional<std::uint64_t> tableStart = bigEndian(bytes, trailer + 24, 8);
    if (!objectCount || !tableStart || offsetWidth == 0 || offsetWidth > 8 ||
        *tableStart > trailer || (trailer - *tableStart) / offsetWidth < *objectCount) {
        return false;
    }
    for (std::uint64_t i = 0; i < *objectCount; ++i) {
        std::optional<std::uint64_t> offset =
            bigEndian(bytes, *tableStart + i * offsetWidth, offsetWidth);
        if (offset && *offset < trailer && textObjectHasNul(bytes, *offset)) {
            return true;
        }
    }
    return false;
}

} // namespace plist::binary
