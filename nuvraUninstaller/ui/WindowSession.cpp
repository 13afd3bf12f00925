#include "ui/WindowSession.h"

#include "ui/AppDelegate.h"

#include <QGuiApplication>

extern "C" int nuvraWindowSessionMain(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    AppDelegate delegate;
    if (!delegate.applicationDidFinishLaunching()) {
        return 1;
    }
    return QGuiApplication::exec();
}
