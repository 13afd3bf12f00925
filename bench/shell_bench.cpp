// Collecting a large tool output through Shell::run against the plainest possible reader: `cat`
// of the same file through a pipe, read(2) into a buffer allocated up front. Each measurement runs
// in its own forked process so its peak memory is its own; the two alternate.
//
//   shell_bench [megabytes] [repetitions]   (default 256 MB, 5)
//
// Prints table rows (see bench/table.py): throughput against the pipe, peak memory against the
// output's own size.

#include "HomeFolder.h"
#include "foundation/Shell.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Measurement {
    double seconds = 0;
    long peakKilobytes = 0;
    std::size_t bytes = 0;
};

// Text lines rather than zeros, so the UTF-8 check does its full work.
std::string makeInputFile(std::size_t size) {
    std::string path = HomeFolder::temporaryDirectory() + "shell_bench_input.txt";
    std::string block;
    while (block.size() < (std::size_t{1} << 20)) {
        block += "ai.nuvra.inputmethod.NuvraInput — a line of tool output, 0123456789\n";
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    for (std::size_t written = 0; written < size; written += block.size()) {
        std::fwrite(block.data(), 1, std::min(block.size(), size - written), file);
    }
    std::fclose(file);
    return path;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

Measurement viaShell(const std::string& path) {
    auto start = std::chrono::steady_clock::now();
    Shell::Result result = Shell::run("/bin/cat", {path});
    double seconds = secondsSince(start);
    if (result.output().size() != result.data.size()) {
        std::fprintf(stderr, "output was not decoded\n");
    }
    return {seconds, peakKilobytes(), result.data.size()};
}

Measurement viaPlainPipe(const std::string& path, std::size_t size) {
    char* buffer = static_cast<char*>(std::malloc(size + 1));
    auto start = std::chrono::steady_clock::now();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        std::exit(1);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    char* argv[] = {const_cast<char*>("/bin/cat"), const_cast<char*>(path.c_str()), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, "/bin/cat", &actions, nullptr, argv, environ) != 0) {
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::size_t total = 0;
    for (;;) {
        ssize_t count = read(fds[0], buffer + total, size + 1 - total);
        if (count <= 0) {
            break;
        }
        total += static_cast<std::size_t>(count);
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    double seconds = secondsSince(start);
    Measurement measurement{seconds, peakKilobytes(), total};
    std::free(buffer);
    return measurement;
}

// Runs `measure` in a child process and brings its figures back through a pipe.
template <class F> Measurement isolated(F measure) {
    int fds[2];
    if (pipe(fds) != 0) {
        std::exit(1);
    }
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        Measurement m = measure();
        ssize_t ignored = write(fds[1], &m, sizeof m);
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    Measurement m;
    ssize_t got = read(fds[0], &m, sizeof m);
    close(fds[0]);
    waitpid(child, nullptr, 0);
    if (got != static_cast<ssize_t>(sizeof m)) {
        std::fprintf(stderr, "measurement failed\n");
        std::exit(1);
    }
    return m;
}

std::string joined(const std::vector<double>& values) {
    std::string text;
    for (double value : values) {
        text += (text.empty() ? "" : ",") + std::to_string(value);
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::size_t size = megabytes << 20;
    const std::string path = makeInputFile(size);

    std::vector<double> shellRate, pipeRate, shellPeak, outputSize;
    for (int round = 0; round < repetitions; ++round) {
        const Measurement s = isolated([&] { return viaShell(path); });
        const Measurement p = isolated([&] { return viaPlainPipe(path, size); });
        if (s.bytes != size || p.bytes != size) {
            std::fprintf(stderr, "short read: %zu / %zu of %zu bytes\n", s.bytes, p.bytes, size);
            return 1;
        }
        shellRate.push_back(static_cast<double>(megabytes) / s.seconds);
        pipeRate.push_back(static_cast<double>(megabytes) / p.seconds);
        shellPeak.push_back(static_cast<double>(s.peakKilobytes) / 1024.0);
        outputSize.push_back(static_cast<double>(megabytes));
    }
    std::remove(path.c_str());

    std::printf("row|capture %zu MB: throughput|MB/s|%s|%s|x>=0.8\n", megabytes,
                joined(shellRate).c_str(), joined(pipeRate).c_str());
    std::printf("row|capture %zu MB: peak memory (anchor: the output)|MB|%s|%s|x<=1.25\n",
                megabytes, joined(shellPeak).c_str(), joined(outputSize).c_str());
    return 0;
}
