// ELF: every loadable segment's bytes must lie within the file.
#include "LoadableModule.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace LoadableModule {
namespace {

bool readAt(int fd, void* into, std::size_t length, std::uint64_t offset) {
    auto* bytes = static_cast<char*>(into);
    while (length > 0) {
        const ssize_t got = ::pread(fd, bytes, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        length -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

// `offset + length <= size` without overflow.
bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

std::optional<std::string> damageOf(int fd, std::uint64_t size) {
    Elf64_Ehdr header{};
    if (size < sizeof header || !readAt(fd, &header, sizeof header, 0) ||
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
        header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr)) {
        return std::nullopt; // not a module of ours: the loader says why
    }
    const std::uint64_t tableSize = std::uint64_t{header.e_phnum} * sizeof(Elf64_Phdr);
    if (!within(header.e_phoff, tableSize, size)) {
        return "cut short: its table of segments reaches past its end";
    }
    std::vector<Elf64_Phdr> segments(header.e_phnum);
    if (!readAt(fd, segments.data(), tableSize, header.e_phoff)) {
        return "unreadable";
    }
    for (const Elf64_Phdr& segment : segments) {
        if (segment.p_type == PT_LOAD && !within(segment.p_offset, segment.p_filesz, size)) {
            return "cut short: a segment reaches past its end";
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> damage(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt; // missing or unreadable: the loader says so
    }
    struct stat info {};
    std::optional<std::string> problem;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        problem = damageOf(fd, static_cast<std::uint64_t>(info.st_size));
    }
    ::close(fd);
    return problem;
}

} // namespace LoadableModule
