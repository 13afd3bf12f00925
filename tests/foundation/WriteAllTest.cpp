#include "foundation/WriteAll.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

// Whether a thread of this process sleeps in a write() right now: the kernel shows the system
// call a blocked thread waits in ("running" while it runs, whatever it calls).
bool blockedInWrite(pid_t thread) {
    std::ifstream file("/proc/self/task/" + std::to_string(thread) + "/syscall");
    long number = -1;
    return file >> number && number == SYS_write;
}

// A signal that arrives while a write waits for room (a handler installed without SA_RESTART, as
// a crash handler or a debugger's may be) ends that write early: the loop writes on.
TEST(WriteAll, AWriteInterruptedBySignalGoesOn) {
    struct sigaction handler {};
    struct sigaction before {};
    handler.sa_handler = [](int) {};
    sigemptyset(&handler.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &handler, &before), 0);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    // A full pipe: the next write waits until the reader makes room.
    fcntl(ends[1], F_SETFL, O_NONBLOCK);
    std::size_t filled = 0;
    const std::string page(4096, 'a');
    for (std::size_t piece : {page.size(), std::size_t{1}}) {
        for (ssize_t put = 0; (put = write(ends[1], page.data(), piece)) > 0;) {
            filled += static_cast<std::size_t>(put);
        }
    }
    fcntl(ends[1], F_SETFL, 0);

    std::atomic<pid_t> writerId{0};
    bool written = false;
    std::thread writer([&] {
        writerId = static_cast<pid_t>(syscall(SYS_gettid));
        written = writeAll(ends[1], "tail");
        close(ends[1]); // the reader's end of file, whatever came through
    });
    while (writerId == 0 || !blockedInWrite(writerId)) {
        sched_yield();
    }
    pthread_kill(writer.native_handle(), SIGUSR1);
    std::string received;
    char buffer[65536];
    for (ssize_t got = 0; (got = read(ends[0], buffer, sizeof buffer)) > 0;) {
        received.append(buffer, static_cast<std::size_t>(got));
    }
    writer.join();
    close(ends[0]);
    sigaction(SIGUSR1, &before, nullptr);
    EXPECT_TRUE(written);
    EXPECT_EQ(received.substr(filled), "tail");
}

} // namespace
