#include "ui/UninstallerViewModel.h"

UninstallerViewModel::UninstallerViewModel(ViewActions& actions, QObject* parent)
    : QObject(parent), actions_(actions), screen_(screenContentFor(UninstallService::Scanning{})) {}

void UninstallerViewModel::setPhase(const UninstallService::Phase& phase) {
    ScreenContent next = screenContentFor(phase);
    if (next == screen_) {
        return;
    }
    screen_ = std::move(next);
    emit screenChanged();
}

void UninstallerViewModel::setProgressFraction(double fraction) {
    if (fraction == progress_) {
        return;
    }
    progress_ = fraction;
    emit progressChanged();
}

QString UninstallerViewModel::icon() const {
    switch (screen_.icon) {
    case ScreenContent::Icon::appIcon:
        return QStringLiteral("appIcon");
    case ScreenContent::Icon::successMark:
        return QStringLiteral("successMark");
    case ScreenContent::Icon::warningMark:
        return QStringLiteral("warningMark");
    }
    return {};
}

QString UninstallerViewModel::headline() const {
    return QString::fromStdString(screen_.headline);
}
QString UninstallerViewModel::subtitle() const {
    return QString::fromStdString(screen_.subtitle);
}

QString UninstallerViewModel::control() const {
    switch (screen_.control) {
    case ScreenContent::Control::checkingPlaceholder:
        return QStringLiteral("checking");
    case ScreenContent::Control::primaryButton:
        return QStringLiteral("button");
    case ScreenContent::Control::progressBar:
        return QStringLiteral("progress");
    }
    return {};
}

QString UninstallerViewModel::controlTitle() const {
    return QString::fromStdString(screen_.controlTitle);
}

QString UninstallerViewModel::link() const {
    switch (screen_.link) {
    case ScreenContent::Link::none:
        return {};
    case ScreenContent::Link::weakAction:
        return QStringLiteral("weak");
    case ScreenContent::Link::external:
        return QStringLiteral("external");
    }
    return {};
}

QString UninstallerViewModel::linkTitle() const {
    return QString::fromStdString(screen_.linkTitle);
}

void UninstallerViewModel::activateControl() {
    perform(screen_.controlAction);
}
void UninstallerViewModel::activateLink() {
    perform(screen_.linkAction);
}

void UninstallerViewModel::perform(ScreenContent::Action action) {
    switch (action) {
    case ScreenContent::Action::none:
        return;
    case ScreenContent::Action::startUninstall:
        actions_.startUninstall();
        return;
    case ScreenContent::Action::showLog:
        actions_.showLog();
        return;
    case ScreenContent::Action::openDownloadPage:
        actions_.openDownloadPage();
        return;
    case ScreenContent::Action::quit:
        actions_.quit();
        return;
    }
}
