// A macOS tool stand-in for benchmarks inside the simulated Mac: answers at once with the output
// recorded for it, so what is timed is the caller rather than the fake tools' interpreter.
//
// Installed in place of a tool (say /usr/bin/security), it prints the file
// /var/db/bench-canned/<tool>.<first argument> if it exists, else /var/db/bench-canned/<tool>,
// else nothing, and exits with the number in the same file name + ".status", else 0.
// /var/db/bench-canned/delay-ms, when present, holds a delay in milliseconds applied to every
// call first (a slow machine's tools).

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <time.h>
#include <unistd.h>

namespace {

constexpr const char* cannedFolder = "/var/db/bench-canned/";

bool copyToStandardOutput(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[1 << 16];
    ssize_t count = 0;
    while ((count = read(fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t done = 0; done < count;) {
            const ssize_t written = write(STDOUT_FILENO, buffer + done, count - done);
            if (written <= 0) {
                std::exit(1);
            }
            done += written;
        }
    }
    close(fd);
    return true;
}

// The number in `path`, or 0 when there is none.
long numberIn(const std::string& path) {
    long number = 0;
    if (FILE* file = std::fopen(path.c_str(), "r")) {
        if (std::fscanf(file, "%ld", &number) != 1) {
            number = 0;
        }
        std::fclose(file);
    }
    return number;
}

} // namespace

int main(int argc, char** argv) {
    std::string tool = argv[0];
    tool = tool.substr(tool.find_last_of('/') + 1);
    if (const long milliseconds = numberIn(std::string(cannedFolder) + "delay-ms");
        milliseconds > 0) {
        const timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000};
        nanosleep(&pause, nullptr);
    }
    std::string canned = cannedFolder + tool;
    if (argc >= 2 && access((canned + "." + argv[1]).c_str(), F_OK) == 0) {
        canned += std::string(".") + argv[1];
    }
    copyToStandardOutput(canned);
    return static_cast<int>(numberIn(canned + ".status"));
}
