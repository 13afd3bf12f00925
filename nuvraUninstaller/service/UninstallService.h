#pragma once

#include "discovery/UninstallInventory.h"
#include "engine/StepOutcome.h"
#include "engine/UninstallStepID.h"
#include "engine/UninstallSteps.h"
#include "service/Workspace.h"

#include <QObject>
#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

    // Everything the service talks to. The default constructor wires the real engine and
    // scanner, the desktop and the session log; tests pass stand-ins.
    struct Collaborators {
        std::shared_ptr<UninstallSteps> steps;
        std::unique_ptr<Workspace> workspace;
        std::function<void(std::string_view)> logLine; // one session-log line
        std::function<std::string()> logFilePath;      // the session log file
    };

    static constexpr const char* downloadPageAddress = "https://nuvra.ai/download";
    // The only step with a title of its own: the only one that can stop a run.

    // Both start the preflight scan at once. The production constructor takes its parent (or
    // nullptr) explicitly: a default constructor would make Qt's type registration pull the real
    // engine into every program that links the service, the fake-engine tests included.
    explicit UninstallService(QObject* parent);
    explicit UninstallService(Collaborators collaborators, QObject* parent = nullptr);
    ~UninstallService() override;

    const Phase& phase() const;
    const std::vector<StepDisplay>& steps() const;
    bool needsAdmin() const;
    bool isRunning() const; // a run started by startUninstall() has not finished yet
    // The scan or a step is at work on the background pool; its result is still to be applied.
    bool isBusy() const;
    double progressFraction() const;

public slots:
    void startScan();
    void startUninstall();
    void openDownloadPage();
    void showLogInFinder();
    // For the application's end: a run in progress finishes the step at work, logs its outcome,
    // and then ends instead of starting the next step. A step is never cut off half-way.
    void stopAfterCurrentStep();

signals:
    void phaseChanged();
    void stepsChanged();

private:
    template <class Work, class Apply> void inBackground(Work work, Apply apply);

    void applyScan(const UninstallInventory& inventory);
    void runStep(std::size_t index);
    void applyStepOutcome(std::size_t index, StepOutcome outcome);
    void failRun(UninstallStepID id, const std::string& message);
    void finishRun(std::vector<std::string> residues);
    void setPhase(Phase newPhase);
    void setStep(UninstallStepID id, StepState state);
    void resetSteps();

    Phase phase_ = Scanning{};
    std::vector<StepDisplay> steps_;
    // Shared with the background task of the step in flight, so that destroying the service
    // mid-step never destroys the engine under that step.
    std::shared_ptr<UninstallSteps> engine_;
    bool needsAdmin_ = false;
    bool running_ = false;
    bool runNeedsAdmin_ = false;  // captured when a run starts; the whole run uses it
    bool stopRequested_ = false;  // the run ends after the step at work
    unsigned workInFlight_ = 0;   // background tasks whose result is not yet applied
    unsigned scanGeneration_ = 0; // only the latest scan's result is applied
    std::unique_ptr<Workspace> workspace_;
    std::function<void(std::string_view)> logLine_;
    std::function<std::string()> logFilePath_;
};
