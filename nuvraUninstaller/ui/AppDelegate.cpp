#include "ui/AppDelegate.h"

#include "Bundle.h"
#include "engine/PrivilegedRunner.h"
#include "foundation/MainThread.h"
#include "foundation/UninstallerLog.h"
#include "service/UninstallService.h"
#include "ui/UiSetup.h"
#include "ui/WindowChrome.h"
#include "ui/WindowPlacement.h"

#include <QEasingCurve>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QQuickView>
#include <QScreen>
#include <QSessionManager>
#include <QVariantAnimation>
#include <iterator>
#include <variant>

namespace {

using WindowPlacement::Rect;

// Silent unless enabled (QT_LOGGING_RULES="nuvra.phase.info=true"): one line as each phase begins
// and as the progress moves, so start-up and the run can be timed from outside against the frames
// Qt logs.
Q_LOGGING_CATEGORY(phaseLog, "nuvra.phase", QtWarningMsg)

const char* phaseName(const UninstallService::Phase& phase) {
    static constexpr const char* names[] = {"scanning",     "ready", "nothingFound",
                                            "uninstalling", "done",  "failed"};
    static_assert(std::size(names) == std::variant_size_v<UninstallService::Phase>);
    return names[phase.index()];
}

Rect toRect(const QRectF& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

// Qt's screen geometry is top-left based; placement arithmetic is bottom-left based. The primary
// screen's height is the axis both share, as the main screen's is on a Mac.
double primaryScreenHeight() {
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry().height() : 0;
}

Rect visibleFrameBottomLeft(const QScreen& screen) {
    return WindowPlacement::flipped(toRect(screen.availableGeometry()), primaryScreenHeight());
}

QPoint topLeftOf(WindowPlacement::Point bottomLeftOrigin, double height) {
    const Rect frame = WindowPlacement::flipped({bottomLeftOrigin.x, bottomLeftOrigin.y, 0, height},
                                                primaryScreenHeight());
    return QPointF(frame.x, frame.y).toPoint();
}

// The content area centred in the visible area; the title bar sits above it.
QPoint launchContentTopLeft(const QScreen& screen) {
    return topLeftOf(WindowPlacement::launchOrigin(visibleFrameBottomLeft(screen)),
                     WindowPlacement::contentHeight);
}

} // namespace

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate() {
    WindowHook::install(nullptr);
    MainThread::install(nullptr);
}

bool AppDelegate::applicationDidFinishLaunching() {
    // The crash handlers are the front's, installed before this module was loaded.
    UninstallerLog::fileSessionStart();
    MainThread::install(&dispatcher_);
    WindowHook::install(this);

    // The one path out: closing the window, "Quit" and every other quit request end here.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::applicationWillTerminate);
    // Not reopened by the desktop's session restore at the next login.
    connect(qApp, &QGuiApplication::saveStateRequest, this, [](QSessionManager& manager) {
        manager.setRestartHint(QSessionManager::RestartNever);
    });

    // Created before the view is built: its creation starts the preflight scan, whose tool calls
    // then run while the window loads instead of after it.
    service_ = std::make_unique<UninstallService>(nullptr);

    const auto bundle = Bundle::mainBundlePath();
    UiSetup::prepareApplication(
        QString::fromStdString(bundle ? *bundle + "/Contents/Resources" : std::string()));
    window_ = std::make_unique<QQuickView>();
    WindowChrome::applyFixedChrome(*window_, static_cast<int>(WindowPlacement::contentWidth),
                                   static_cast<int>(WindowPlacement::contentHeight));

    viewModel_ = std::make_unique<UninstallerViewModel>(static_cast<ViewActions&>(*this));
    const QString icon =
        QString::fromStdString(Bundle::resourcePath("AppIcon", "svg").value_or(""));
    if (!UiSetup::loadView(*window_, *viewModel_, icon)) {
        return false;
    }

    auto showPhase = [this] {
        viewModel_->setPhase(service_->phase());
        qCInfo(phaseLog, "%s", phaseName(service_->phase()));
    };
    auto showProgress = [this] {
        viewModel_->setProgressFraction(service_->progressFraction());
        qCInfo(phaseLog, "progress %.3f", service_->progressFraction());
    };
    connect(service_.get(), &UninstallService::phaseChanged, this, showPhase);
    connect(service_.get(), &UninstallService::stepsChanged, this, showProgress);
    showPhase();
    showProgress();

    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        // The content's own position: X11 window managers then keep the content there and put
        // their title bar above it, whatever its height (unknown until the window is framed).
        window_->setPosition(launchContentTopLeft(*screen));
    } // else the window system places it.
    window_->create();
    WindowChrome::keepTitleEmpty(*window_);
    window_->show();
    window_->raise();
    window_->requestActivate();
    return true;
}

void AppDelegate::applicationWillTerminate() {
    // The window may close in the middle of a run. The step at work finishes and logs its
    // outcome (a removal is never left half-done and unreported), no further step or command
    // starts, and then the end line is the session's last. Events keep flowing meanwhile: the
    // step may be waiting for the main thread.
    if (service_) {
        service_->stopAfterCurrentStep();
        // An administrator dialog still open would keep that step waiting for ever: it is
        // closed, and the step ends as a failure that says so.
        PrivilegedRunner::abandonWaiting();
        while (service_->isBusy()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    UninstallerLog::fileSessionEnd();
}

void AppDelegate::makeRoomForSystemDialog() {
    if (!window_) {
        return;
    }
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const QRect frameTopLeft = window_->frameGeometry();
    const Rect frame = WindowPlacement::flipped(toRect(frameTopLeft), primaryScreenHeight());
    const auto origin =
        WindowPlacement::roomForSystemDialogOrigin(visibleFrameBottomLeft(*screen), frame);
    const QMargins margins = window_->frameMargins();
    moveContentTo(topLeftOf(origin, frame.height) + QPoint(margins.left(), margins.top()));
}

void AppDelegate::recenterWindow() {
    if (!window_) {
        return;
    }
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    // Back to exactly where the launch put it, so the content does not shift by half a title bar
    // after the password dialog.
    moveContentTo(launchContentTopLeft(*screen));
}

// A short animated slide, like a frame change with animation on the Mac. Moves the content, not
// the frame: the window manager keeps the frame around it.
void AppDelegate::moveContentTo(QPoint topLeft) {
    if (move_) {
        move_->stop();
    }
    auto* animation = new QVariantAnimation(this);
    animation->setStartValue(window_->position());
    animation->setEndValue(topLeft);
    animation->setDuration(250);
    animation->setEasingCurve(QEasingCurve::InOutCubic);
    connect(animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { window_->setPosition(value.toPoint()); });
    move_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void AppDelegate::startUninstall() {
    service_->startUninstall();
}
void AppDelegate::showLog() {
    service_->showLogInFinder();
}
void AppDelegate::openDownloadPage() {
    service_->openDownloadPage();
}
void AppDelegate::quit() {
    QCoreApplication::quit();
}
