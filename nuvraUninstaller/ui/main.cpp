#include "InventoryMode.h"
#include "ui/AppDelegate.h"

#include <QGuiApplication>

int main(int argc, char** argv) {
    // Decided before any GUI object exists, so the inventory works with no display at all.
    if (InventoryMode::isRequested(argc, argv)) {
        return InventoryMode::run();
    }
    QGuiApplication app(argc, argv);
    AppDelegate delegate;
    if (!delegate.applicationDidFinishLaunching()) {
        return 1;
    }
    return QGuiApplication::exec();
}
