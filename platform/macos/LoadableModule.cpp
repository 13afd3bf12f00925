// Mach-O, thin or universal: every segment of every slice must lie within the file. The layouts
// are read field by field, so no system header is needed.
#include "LoadableModule.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace LoadableModule {
namespace {

constexpr std::uint32_t thinMagic64 = 0xfeedfacf;    // MH_MAGIC_64, in the file's byte order
constexpr std::uint32_t universalMagic = 0xcafebabe; // FAT_MAGIC, always big-endian
constexpr std::uint32_t universalMagic64 = 0xcafebabf;
constexpr std::uint32_t segmentCommand64 = 0x19; // LC_SEGMENT_64
constexpr std::uint64_t thinHeaderSize = 32;     // mach_header_64
constexpr std::uint64_t maximumSlices = 64;

bool readAt(std::ifstream& file, void* into, std::size_t length, std::uint64_t offset) {
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    file.read(static_cast<char*>(into), static_cast<std::streamsize>(length));
    return file.gcount() == static_cast<std::streamsize>(length);
}

bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

std::uint32_t little32(const unsigned char* b) {
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
}
std::uint64_t little64(const unsigned char* b) {
    return std::uint64_t{little32(b)} | std::uint64_t{little32(b + 4)} << 32;
}
std::uint32_t big32(const unsigned char* b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 |
           std::uint32_t{b[3]};
}
std::uint64_t big64(const unsigned char* b) {
    return std::uint64_t{big32(b)} << 32 | std::uint64_t{big32(b + 4)};
}

const char* const cutShort = "cut short: a segment reaches past its end";

// One thin 64-bit image of `size` bytes at `start`.
std::optional<std::string> damageOfImage(std::ifstream& file, std::uint64_t start,
                                         std::uint64_t size) {
    unsigned char header[thinHeaderSize];
    if (size < thinHeaderSize || !readAt(file, header, sizeof header, start) ||
        little32(header) != thinMagic64) {
        return std::nullopt;
    }
    const std::uint32_t commandCount = little32(header + 16);
    const std::uint32_t commandsSize = little32(header + 20);
    if (!within(thinHeaderSize, commandsSize, size)) {
        return "cut short: its load commands reach past its end";
    }
    std::vector<unsigned char> commands(commandsSize);
    if (!readAt(file, commands.data(), commands.size(), start + thinHeaderSize)) {
        return "unreadable";
    }
    std::uint64_t at = 0;
    for (std::uint32_t i = 0; i < commandCount; ++i) {
        if (!within(at, 8, commandsSize)) {
            return "damaged: its load commands are inconsistent";
        }
        const std::uint32_t command = little32(&commands[at]);
        const std::uint32_t commandSize = little32(&commands[at + 4]);
        if (commandSize < 8 || !within(at, commandSize, commandsSize)) {
            return "damaged: its load commands are inconsistent";
        }
        if (command == segmentCommand64 && commandSize >= 56 &&
            !within(little64(&commands[at + 40]), little64(&commands[at + 48]), size)) {
            return std::string(cutShort);
        }
        at += commandSize;
    }
    return std::nullopt;
}

std::optional<std::string> damageOf(std::ifstream& file, std::uint64_t size) {
    unsigned char header[8];
    if (size < sizeof header || !readAt(file, header, sizeof header, 0)) {
        return std::nullopt;
    }
    const std::uint32_t magic = big32(header);
    if (magic != universalMagic && magic != universalMagic64) {
        return damageOfImage(file, 0, size);
    }
    const bool wide = magic == universalMagic64;
    const std::uint64_t entrySize = wide ? 32 : 20; // fat_arch_64, fat_arch
    const std::uint64_t count = big32(header + 4);
    if (count > maximumSlices) {
        return std::nullopt; // a Java class file shares the magic number: not ours to judge
    }
    if (!within(sizeof header, count * entrySize, size)) {
        return "cut short: its table of architectures reaches past its end";
    }
    for (std::uint64_t i = 0; i < count; ++i) {
        unsigned char entry[32];
        if (!readAt(file, entry, entrySize, sizeof header + i * entrySize)) {
            return "unreadable";
        }
        const std::uint64_t offset = wide ? big64(entry + 8) : big32(entry + 8);
        const std::uint64_t length = wide ? big64(entry + 16) : big32(entry + 12);
        if (!within(offset, length, size)) {
            return std::string(cutShort);
        }
        if (auto problem = damageOfImage(file, offset, length)) {
            return problem;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> damage(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt; // missing or not a file: the loader says so
    }
    const std::uint64_t size = std::filesystem::file_size(path, error);
    std::ifstream file(path, std::ios::binary);
    if (error || !file) {
        return std::nullopt;
    }
    return damageOf(file, size);
}

} // namespace LoadableModule
