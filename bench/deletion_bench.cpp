// Safe deletion against `rm -rf` of an identical tree on the same file system: 100,000 small
// files in five levels, one 2 GB file, 10,000 empty folders. Each removal runs in a child process
// of its own, so its CPU time is its own; ours and rm alternate.
//
//   deletion_bench SCRATCH_FOLDER [repetitions]   (default 5)
//
// Prints table rows (see bench/table.py): wall time and CPU time per tree.

#include "engine/PathRemoval.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
};

void fail(const std::string& what) {
    std::perror(what.c_str());
    std::exit(1);
}

void makeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0) {
        fail(path);
    }
}

// Four levels of ten folders, ten 64-byte files in each folder of the last level.
void smallFilesTree(const std::string& root) {
    makeFolder(root);
    std::function<void(const std::string&, int)> fill = [&](const std::string& folder, int depth) {
        for (int i = 0; i < 10; ++i) {
            const std::string child = folder + "/" + std::to_string(i);
            if (depth < 4) {
                makeFolder(child);
                fill(child, depth + 1);
            } else {
                const int fd = open((child + ".txt").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                if (fd < 0 || write(fd, std::string(64, 'x').data(), 64) != 64) {
                    fail(child);
                }
                close(fd);
            }
        }
    };
    fill(root, 1);
}

void bigFileTree(const std::string& root) {
    makeFolder(root);
    const std::string file = root + "/big.bin";
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0 || posix_fallocate(fd, 0, off_t{2} << 30) != 0) {
        fail(file);
    }
    close(fd);
}

void emptyFoldersTree(const std::string& root) {
    makeFolder(root);
    for (int i = 0; i < 100; ++i) {
        const std::string folder = root + "/" + std::to_string(i);
        makeFolder(folder);
        for (int j = 0; j < 100; ++j) {
            makeFolder(folder + "/" + std::to_string(j));
        }
    }
}

double cpuMilliseconds(const rusage& usage) {
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

Cost waitFor(pid_t child, std::chrono::steady_clock::time_point start) {
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "a removal failed\n");
        std::exit(1);
    }
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
    return {wall.count(), cpuMilliseconds(usage)};
}

Cost removeWithPathRemoval(const std::string& root) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        _exit(PathRemoval::removeRecursively(root) ? 1 : 0);
    }
    return waitFor(child, start);
}

Cost removeWithRm(const std::string& root) {
    const auto start = std::chrono::steady_clock::now();
    char* argv[] = {const_cast<char*>("/bin/rm"), const_cast<char*>("-rf"),
                    const_cast<char*>(root.c_str()), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, "/bin/rm", nullptr, nullptr, argv, environ) != 0) {
        fail("/bin/rm");
    }
    return waitFor(child, start);
}

std::string joined(const std::vector<double>& values) {
    std::string text;
    for (double value : values) {
        text += (text.empty() ? "" : ",") + std::to_string(value);
    }
    return text;
}

void measure(const std::string& label, const std::string& scratch, int repetitions,
             const std::function<void(const std::string&)>& build) {
    std::vector<double> oursWall, rmWall, oursCpu, rmCpu;
    for (int round = 0; round < repetitions; ++round) {
        const std::string ours = scratch + "/ours";
        const std::string theirs = scratch + "/rm";
        build(ours);
        build(theirs);
        sync();
        // Alternate who goes first, so neither always meets the colder cache.
        const bool oursFirst = round % 2 == 0;
        Cost a = oursFirst ? removeWithPathRemoval(ours) : removeWithRm(theirs);
        Cost b = oursFirst ? removeWithRm(theirs) : removeWithPathRemoval(ours);
        const Cost& o = oursFirst ? a : b;
        const Cost& r = oursFirst ? b : a;
        if (access(ours.c_str(), F_OK) == 0 || access(theirs.c_str(), F_OK) == 0) {
            std::fprintf(stderr, "%s: a tree was left behind\n", label.c_str());
            std::exit(1);
        }
        oursWall.push_back(o.wallMs);
        oursCpu.push_back(o.cpuMs);
        rmWall.push_back(r.wallMs);
        rmCpu.push_back(r.cpuMs);
    }
    std::printf("row|delete %s: wall (anchor rm -rf)|ms|%s|%s|x<=1.1\n", label.c_str(),
                joined(oursWall).c_str(), joined(rmWall).c_str());
    std::printf("row|delete %s: CPU (anchor rm -rf)|ms|%s|%s|x<=1.1\n", label.c_str(),
                joined(oursCpu).c_str(), joined(rmCpu).c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: deletion_bench SCRATCH_FOLDER [repetitions]\n");
        return 2;
    }
    const std::string scratch = argv[1];
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
    measure("100k small files", scratch, repetitions, smallFilesTree);
    measure("one 2 GB file", scratch, repetitions, bigFileTree);
    measure("10k empty folders", scratch, repetitions, emptyFoldersTree);
    return 0;
}
