// The smallest Qt Quick window of the same size and colour as the uninstaller's: what any Qt Quick
// window costs before it draws anything, shown beside the window's start-up time and memory for
// information (static_window is their anchor). It runs until it is ended.

#include <QGuiApplication>
#include <QQmlApplicationEngine>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QQmlApplicationEngine engine;
    engine.loadData("import QtQuick\n"
                    "Window { width: 480; height: 450; visible: true; color: \"#f7f7f7\" }\n");
    return engine.rootObjects().isEmpty() ? 1 : QGuiApplication::exec();
}
