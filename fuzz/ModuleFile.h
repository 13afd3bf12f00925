#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

// The fuzz input as a file the module check can open by path: a file in memory, no disk involved.
class ModuleFile {
public:
    ModuleFile(const std::uint8_t* data, std::size_t size) : fd_(::memfd_create("module", 0)) {
        if (fd_ < 0 || ::write(fd_, data, size) != static_cast<ssize_t>(size)) {
            std::abort();
        }
    }
    ~ModuleFile() { ::close(fd_); }
    ModuleFile(const ModuleFile&) = delete;
    ModuleFile& operator=(const ModuleFile&) = delete;

    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};
