// The uninstaller's ready screen drawn as a static scene: the same icon, texts, faces, button and
// colours in a window of the same size, and nothing else (no view model, no service, no scan, no
// window module). What the window costs beyond this is our code's; this much is the content's.
//   static_window RESOURCES_FOLDER    the application bundle's Contents/Resources
// It runs until it is ended.
//
// What differs from the real window: this QML is compiled when it loads, where the window's is
// compiled ahead of time. The hidden parts of the window (the Loaders of other screens' controls,
// the button's MouseArea, the accessibility properties) are left out: they draw nothing.

#include "ui/RoundedImage.h"
#include "ui/ScreenContent.h"
#include "ui/UiSetup.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QUrl>
#include <cstdio>

namespace {

// The layout of the window's column, with its faces and colours, for the ready screen.
const char* const readyScreen = R"(
import QtQuick
import StaticAnchor

Window {
    required property url appIconSource
    required property string headline
    required property string subtitle
    required property string controlTitle
    readonly property color ink: Qt.rgba(20 / 255, 22 / 255, 26 / 255, 1.0)

    width: 480
    height: 450
    visible: true
    color: "#f7f7f7"

    Column {
        x: 40
        y: 44
        width: 400

        RoundedImage {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 112
            height: 112
            radius: 24
            source: appIconSource
        }

        Item { width: 1; height: 16 }

        Item {
            width: 400
            height: 130
            Column {
                width: parent.width
                spacing: 6
                Text {
                    width: parent.width
                    horizontalAlignment: Text.AlignHCenter
                    text: headline
                    color: ink
                    font.family: "Inter"
                    font.pixelSize: 25
                    font.weight: Font.DemiBold
                }
                Text {
                    x: 20
                    width: parent.width - 40
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                    text: subtitle
                    color: Qt.rgba(ink.r, ink.g, ink.b, 0.72)
                    font.family: "Inter"
                    font.pixelSize: 13
                    font.weight: Font.Light
                }
            }
        }

        Item {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 220
            height: 42
            Rectangle {
                anchors.fill: parent
                radius: 12
                antialiasing: true
                color: Qt.rgba(178 / 255, 224 / 255, 11 / 255, 1.0)
            }
            Text {
                anchors.centerIn: parent
                width: parent.width - 24
                horizontalAlignment: Text.AlignHCenter
                elide: Text.ElideRight
                text: controlTitle
                color: ink
                font.family: "Inter"
                font.pixelSize: 16
                font.weight: Font.Normal
            }
        }
    }
}
)";

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: static_window RESOURCES_FOLDER\n", stderr);
        return 2;
    }
    const QString resources = QString::fromLocal8Bit(argv[1]);
    UiSetup::prepareApplication(resources); // the window's faces, from the same files

    // The window's own icon item: a plain Image would leave the icon's square corners.
    qmlRegisterType<RoundedImage>("StaticAnchor", 1, 0, "RoundedImage");
    const ScreenContent ready = screenContentFor(UninstallService::Ready{});
    QQmlApplicationEngine engine;
    engine.setInitialProperties(
        {{QStringLiteral("appIconSource"),
          QUrl::fromLocalFile(resources + QStringLiteral("/AppIcon.svg"))},
         {QStringLiteral("headline"), QString::fromStdString(ready.headline)},
         {QStringLiteral("subtitle"), QString::fromStdString(ready.subtitle)},
         {QStringLiteral("controlTitle"), QString::fromStdString(ready.controlTitle)}});
    engine.loadData(readyScreen);
    return engine.rootObjects().isEmpty() ? 1 : QGuiApplication::exec();
}
