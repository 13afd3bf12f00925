#include "service/QtMainThreadDispatcher.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

// As in the application: an event loop on the main thread, and the engine's main-thread hops
// going through it.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QtMainThreadDispatcher dispatcher;
    MainThread::install(&dispatcher);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    MainThread::install(nullptr);
    return status;
}
