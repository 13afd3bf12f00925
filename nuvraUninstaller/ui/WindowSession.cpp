#include "ui/WindowSession.h"

#include "ui/AppDelegate.h"
#include "ui/SingleInstance.h"

#include <QGuiApplication>
#include <QWindow>

extern "C" int nuvraWindowSessionMain(int argc, char** argv, int activationSocket) {
    QGuiApplication app(argc, argv);
    SingleInstance::onActivationRequest(activationSocket, [] {
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
