#include "ui/UiSetup.h"

#include <QAccessible>
#include <QGuiApplication>
#include <gtest/gtest.h>

// The window is drawn offscreen (software renderer, no display needed) unless the environment
// names a platform (CTest's OpenGL runs use xcb on a virtual display); hover and clicks are
// synthetic events sent to the window.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    UiSetup::prepareApplication(
        QStringLiteral(NUVRA_SOURCE_DIR "/nuvraUninstaller/resources/fonts"));
    // Quick items build their accessibility interfaces only while accessibility is active.
    QAccessible::setActive(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
