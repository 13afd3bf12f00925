#pragma once

#include "engine/WindowHook.h"
#include "service/QtMainThreadDispatcher.h"
#include "ui/UninstallerViewModel.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <memory>

class QQuickView;
class QVariantAnimation;
class UninstallService;

// The windowed session: crash handlers, the session log, one fixed 480 × 450 window hosting the
// view, and the window moves around the administrator password dialog. Lives on the main thread
// for the life of the application.
class AppDelegate final : public QObject, public WindowHook::Hook, private ViewActions {
    Q_OBJECT

public:
    AppDelegate();
    ~AppDelegate() override;

    // Builds and shows the window; false when the view could not be loaded.
    bool applicationDidFinishLaunching();

    void makeRoomForSystemDialog() override;
    void recenterWindow() override;

private:
    void applicationWillTerminate();
    void moveContentTo(QPoint topLeft);

    // ViewActions: the view's clicks.
    void startUninstall() override;
    void showLog() override;
    void openDownloadPage() override;
    void quit() override;

    QtMainThreadDispatcher dispatcher_;
    std::unique_ptr<UninstallService> service_;
    std::unique_ptr<UninstallerViewModel> viewModel_;
    std::unique_ptr<QQuickView> window_;
    QPointer<QVariantAnimation> move_;
};
