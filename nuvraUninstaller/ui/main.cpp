#include "GraphicalSession.h"
#include "InventoryMode.h"
#include "SingleInstance.h"
#include "ui/AppDelegate.h"

#include <QGuiApplication>
#include <QWindow>
#include <cstdio>

int main(int argc, char** argv) {
    // Decided before any GUI object exists, so the inventory works with no display at all.
    if (InventoryMode::isRequested(argc, argv)) {
        return InventoryMode::run();
    }
    if (!GraphicalSession::isAvailable(argc, argv)) {
        std::fputs("nuvraUninstaller: no display is available, so the window cannot open.\n"
                   "To list what would be removed without a window, run: nuvraUninstaller "
                   "--inventory\n",
                   stderr);
        return 1;
    }
    if (!SingleInstance::claim()) {
        return 0; // the running window was asked to come forward
    }
    QGuiApplication app(argc, argv);
    SingleInstance::onActivationRequest([] {
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (window->isVisible()) {
                window->raise();
                window->requestActivate();
            }
        }
    });
    AppDelegate delegate;
    if (!delegate.applicationDidFinishLaunching()) {
        return 1;
    }
    return QGuiApplication::exec();
}
