#include "ui/UiSetup.h"

#include <QAccessible>
#include <QGuiApplication>
#include <gtest/gtest.h>

// The window is drawn offscreen (software renderer, no display needed); hover and clicks are
// synthetic events sent to the window.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    UiSetup::prepareApplication();
    // Quick items build their accessibility interfaces only while accessibility is active.
    QAccessible::setActive(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
