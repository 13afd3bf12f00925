// The command-line program's main-thread seam: its main thread serves a queue while the work runs
// on a worker.
#include "foundation/MainThreadQueue.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

// Runs what it holds when its thread ends: after the work has returned and the queue has
// finished, while the main thread still waits for that thread.
struct AtThreadEnd {
    std::function<void()> run;
    ~AtThreadEnd() {
        if (run) {
            run();
        }
    }
};
thread_local AtThreadEnd atThreadEnd;

// Work handed to the main thread once nobody serves the queue any more is done where it is asked
// for, never dropped: a caller that waits for it must find it done.
TEST(MainThreadQueue, WorkSentAfterTheWorkEndedStillRuns) {
    const std::thread::id mainThread = std::this_thread::get_id();
    std::thread::id servedOn;
    bool waitedFor = false;
    bool posted = false;
    MainThreadQueue::runWorkOnWorker([&] {
        MainThread::runAndWait([&] { servedOn = std::this_thread::get_id(); });
        atThreadEnd.run = [&] {
            MainThread::runAndWait([&] { waitedFor = true; });
            MainThread::post([&] { posted = true; });
        };
    });
    EXPECT_EQ(servedOn, mainThread);
    EXPECT_TRUE(waitedFor);
    EXPECT_TRUE(posted);
}

} // namespace
