#pragma once

#include "discovery/UninstallInventory.h"
#include "engine/UninstallStepID.h"

#include <QObject>
#include <QString>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The one model object behind the window: runs the preflight scan at creation, publishes the
// phase and the seven step states, and runs the removal steps one after another on a background
// pool. Lives on the main thread; every change of `phase` or `steps` is one notification.
class UninstallService final : public QObject {
    Q_OBJECT
    Q_PROPERTY(double progressFraction READ progressFraction NOTIFY stepsChanged)

public:
    struct Scanning {
        bool operator==(const Scanning&) const = default;
    };
    struct Ready {
        UninstallInventory inventory;
        bool operator==(const Ready&) const = default;
    };
    struct NothingFound {
        bool operator==(const NothingFound&) const = default;
    };
    struct Uninstalling {
        bool operator==(const Uninstalling&) const = default;
    };
    struct Done {
        std::vector<std::string> residues;
        bool operator==(const Done&) const = default;
    };
    struct Failed {
        std::string stepTitle;
        std::string message;
        bool operator==(const Failed&) const = default;
    };
    using Phase = std::variant<Scanning, Ready, NothingFound, Uninstalling, Done, Failed>;

    struct StepState {
        enum class Kind { pending, running, done, warning, failed };
        Kind kind = Kind::pending;
        std::string text; // the joined problem sentences (warning) or the failure message (failed)
        bool operator==(const StepState&) const = default;
    };
    struct StepDisplay {
        UninstallStepID id;
        StepState state;
        bool operator==(const StepDisplay&) const = default;
    };

    const Phase& phase() const;
    const std::vector<StepDisplay>& steps() const;
    bool needsAdmin() const;
    bool isRunning() const; // a run started by startUninstall() has not finished yet
    double progressFraction() const;

public slots:
    void startScan();
    void startUninstall();
    void openDownloadPage();
    void showLogInFinder();

signals:
    void phaseChanged();
    void stepsChanged();
};
