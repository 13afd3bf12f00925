#include <QCoreApplication>
#include <gtest/gtest.h>

// The service posts its results to the application's event loop, so every test needs one.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
