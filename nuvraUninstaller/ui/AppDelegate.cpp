#include "ui/AppDelegate.h"

#include "Bundle.h"
#include "foundation/MainThread.h"
#include "foundation/UninstallerLog.h"
#include "service/UninstallService.h"
#include "ui/UiSetup.h"
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

QPoint topLeftOf(WindowPlacement::Point bottomLeftOrigin, double frameHeight) {
    const Rect frame = WindowPlacement::flipped(
        {bottomLeftOrigin.x, bottomLeftOrigin.y, 0, frameHeight}, primaryScreenHeight());
    return QPointF(frame.x, frame.y).toPoint();
}

} // namespace

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate() {
    WindowHook::install(nullptr);
    MainThread::install(nullptr);
}

bool AppDelegate::applicationDidFinishLaunching() {
    UninstallerLog::installCrashHandlers();
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

    UiSetup::prepareApplication();
    window_ = std::make_unique<QQuickView>();
    window_->setFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowCloseButtonHint);
    window_->setTitle(QString());
    const QSize content(static_cast<int>(WindowPlacement::contentWidth),
                        static_cast<int>(WindowPlacement::contentHeight));
    window_->setMinimumSize(content);
    window_->setMaximumSize(content);
    window_->resize(content);

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
        const auto origin = WindowPlacement::launchOrigin(visibleFrameBottomLeft(*screen));
        // The frame is taller than the content by the title bar; the content ends up centred.
        const int titleBar = window_->frameMargins().top();
        window_->setFramePosition(topLeftOf(origin, WindowPlacement::contentHeight + titleBar));
    }
    window_->show();
    window_->raise();
    window_->requestActivate();
    return true;
}

void AppDelegate::applicationWillTerminate() {
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
    moveFrameTo(topLeftOf(origin, frame.height));
}

void AppDelegate::recenterWindow() {
    if (!window_) {
        return;
    }
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const Rect frame =
        WindowPlacement::flipped(toRect(window_->frameGeometry()), primaryScreenHeight());
    const auto origin = WindowPlacement::recenteredOrigin(visibleFrameBottomLeft(*screen), frame);
    moveFrameTo(topLeftOf(origin, frame.height));
}

// A short animated slide, like a frame change with animation on the Mac.
void AppDelegate::moveFrameTo(QPoint topLeft) {
    if (move_) {
        move_->stop();
    }
    auto* animation = new QVariantAnimation(this);
    animation->setStartValue(window_->framePosition());
    animation->setEndValue(topLeft);
    animation->setDuration(250);
    animation->setEasingCurve(QEasingCurve::InOutCubic);
    connect(animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { window_->setFramePosition(value.toPoint()); });
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
