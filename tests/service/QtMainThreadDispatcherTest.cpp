#include "service/QtMainThreadDispatcher.h"

#include "Waiting.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

namespace {

using Waiting::untilItHappens;

bool onMainThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs `work` on a thread of its own while this, the main thread, serves Qt's events, which is
// what work handed to the main thread needs to run; true once the work has ended.
bool onWorkerServingEvents(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    const bool ended = QTest::qWaitFor([&] { return done.load(); }, untilItHappens);
    worker.join();
    return ended;
}

TEST(QtMainThreadDispatcherTest, RunAndWaitFromAnotherThreadRunsOnMainThreadAndWaits) {
    QtMainThreadDispatcher dispatcher;
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> finishedBeforeReturn{false};
    EXPECT_TRUE(onWorkerServingEvents([&] {
        bool ran = false;
        dispatcher.runAndWait([&] {
            ranOnMain = onMainThread();
            ran = true;
        });
        finishedBeforeReturn = ran;
    }));
    EXPECT_TRUE(ranOnMain);
    EXPECT_TRUE(finishedBeforeReturn);
}

TEST(QtMainThreadDispatcherTest, RunAndWaitOnMainThreadRunsInline) {
    QtMainThreadDispatcher dispatcher;
    bool ran = false;
    dispatcher.runAndWait([&] { ran = true; }); // would deadlock if it queued to itself
    EXPECT_TRUE(ran);
}

TEST(QtMainThreadDispatcherTest, PostReturnsBeforeTheWorkRunsOnMainThread) {
    QtMainThreadDispatcher dispatcher;
    std::atomic<int> runs{0};
    std::atomic<bool> ranOnMain{false};
    dispatcher.post([&] {
        ranOnMain = onMainThread();
        ++runs;
    });
    EXPECT_EQ(runs, 0);
    std::thread worker([&] { dispatcher.post([&] { ++runs; }); });
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return runs == 2; }, untilItHappens));
    EXPECT_TRUE(ranOnMain);
}

} // namespace
