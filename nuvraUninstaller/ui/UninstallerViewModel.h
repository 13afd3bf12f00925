#pragma once

#include "ui/ScreenContent.h"

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// What the view does when the user clicks; the application forwards these to the service and the
// application object, tests record them.
struct ViewActions {
    virtual ~ViewActions() = default;
    virtual void startUninstall() = 0;
    virtual void showLog() = 0;
    virtual void openDownloadPage() = 0;
    virtual void quit() = 0;
};

// The view's whole state: the screen of the current phase and the run's progress. QML reads it
// and forwards clicks; it decides nothing itself.
class UninstallerViewModel final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Created by the application")
    Q_PROPERTY(QString icon READ icon NOTIFY screenChanged)
    Q_PROPERTY(QString headline READ headline NOTIFY screenChanged)
    Q_PROPERTY(QString subtitle READ subtitle NOTIFY screenChanged)
    Q_PROPERTY(QString control READ control NOTIFY screenChanged)
    Q_PROPERTY(QString controlTitle READ controlTitle NOTIFY screenChanged)
    Q_PROPERTY(QString link READ link NOTIFY screenChanged)
    Q_PROPERTY(QString linkTitle READ linkTitle NOTIFY screenChanged)
    Q_PROPERTY(double progressFraction READ progressFraction NOTIFY progressChanged)

public:
    explicit UninstallerViewModel(ViewActions& actions, QObject* parent = nullptr);

    void setPhase(const UninstallService::Phase& phase);
    void setProgressFraction(double fraction);
    const ScreenContent& screen() const { return screen_; }

    QString icon() const; // "appIcon", "successMark", "warningMark"
    QString headline() const;
    QString subtitle() const;
    QString control() const; // "checking", "button", "progress"
    QString controlTitle() const;
    QString link() const; // "", "weak", "external"
    QString linkTitle() const;
    double progressFraction() const { return progress_; }

    Q_INVOKABLE void activateControl();
    Q_INVOKABLE void activateLink();

signals:
    void screenChanged();
    void progressChanged();

private:
    void perform(ScreenContent::Action action);

    ViewActions& actions_;
    ScreenContent screen_;
    double progress_ = 0;
};
