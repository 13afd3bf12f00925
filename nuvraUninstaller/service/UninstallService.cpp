#include "service/UninstallService.h"

#include "engine/StepOutcome.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <utility>

namespace {

// Process-wide and never destroyed: a step still running when the window closes must not make
// the main thread wait for it (the step may itself be waiting for the main thread).
QThreadPool& backgroundPool() {
    static QThreadPool* const pool = [] {
        auto* created = new QThreadPool;
        created->setThreadPriority(QThread::LowPriority);
        // The scan and a step may overlap (a run started before the scan returned).
        created->setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        return created;
    }();
    return *pool;
}

std::string joinedWithSpaces(const std::vector<std::string>& sentences) {
    std::string joined;
    for (const std::string& sentence : sentences) {
        if (!joined.empty()) {
            joined += ' ';
        }
        joined += sentence;
    }
    return joined;
}

} // namespace

UninstallService::UninstallService(Collaborators collaborators, QObject* parent)
    : QObject(parent), engine_(std::move(collaborators.steps)),
      workspace_(std::move(collaborators.workspace)), logLine_(std::move(collaborators.logLine)),
      logFilePath_(std::move(collaborators.logFilePath)) {
    steps_.reserve(allStepIDs.size());
    for (UninstallStepID id : allStepIDs) {
        steps_.push_back({id, {}});
    }
    startScan();
}

UninstallService::~UninstallService() = default;

const UninstallService::Phase& UninstallService::phase() const {
    return phase_;
}
const std::vector<UninstallService::StepDisplay>& UninstallService::steps() const {
    return steps_;
}
bool UninstallService::needsAdmin() const {
    return needsAdmin_;
}
bool UninstallService::isRunning() const {
    return running_;
}
bool UninstallService::isBusy() const {
    return workInFlight_ > 0;
}

double UninstallService::progressFraction() const {
    const auto completed = std::count_if(steps_.begin(), steps_.end(), [](const StepDisplay& s) {
        return s.state.kind == StepState::Kind::done || s.state.kind == StepState::Kind::warning;
    });
    const std::size_t total = steps_.empty() ? 1 : steps_.size();
    return static_cast<double>(completed) / static_cast<double>(total);
}

// Runs `work` on the background pool, then `apply(service, result)` on the main thread, unless
// the service is gone by then. The work never sees the service itself.
template <class Work, class Apply> void UninstallService::inBackground(Work work, Apply apply) {
    QPointer<UninstallService> self(this);
    ++workInFlight_;
    backgroundPool().start([work, apply, self] {
        auto result = work();
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            return;
        }
        QMetaObject::invokeMethod(
            app,
            [apply, self, result = std::move(result)]() mutable {
                if (self) {
                    --self->workInFlight_;
                    apply(*self, std::move(result));
                }
            },
            Qt::QueuedConnection);
    });
}

void UninstallService::startScan() {
    const unsigned generation = ++scanGeneration_;
    setPhase(Scanning{});
    inBackground(
        [engine = engine_] {
            try {
                return engine->scan();
            } catch (...) {
                // The scanner reports failed look-ups as nothing found; do the same here
                // rather than lose the thread.
                return UninstallInventory{};
            }
        },
        [generation](UninstallService& service, UninstallInventory inventory) {
            if (generation == service.scanGeneration_) {
                service.applyScan(inventory);
            }
        });
}

void UninstallService::applyScan(const UninstallInventory& inventory) {
    const auto& items = inventory.items;
    needsAdmin_ = std::any_of(items.begin(), items.end(),
                              [](const InventoryItem& item) { return item.requiresAdmin; });
    // A run started before the scan came back owns the phase from then on, also after it ended;
    // the late scan only informs the next run.
    if (!std::holds_alternative<Scanning>(phase_)) {
        return;
    }
    const bool somethingToRemove = std::any_of(
        items.begin(), items.end(), [](const InventoryItem& item) { return !item.informational; });
    if (somethingToRemove) {
        setPhase(Ready{inventory});
    } else {
        setPhase(NothingFound{});
    }
}

void UninstallService::startUninstall() {
    if (running_) {
        return;
    }
    running_ = true;
    stopRequested_ = false;
    runNeedsAdmin_ = needsAdmin_;
    resetSteps();
    setPhase(Uninstalling{});
    logLine_(runStartedLine);
    runStep(0);
}

void UninstallService::runStep(std::size_t index) {
    const UninstallStepID id = allStepIDs[index];
    setStep(id, {StepState::Kind::running, {}});
    inBackground([engine = engine_, id,
                  needsAdmin = runNeedsAdmin_] { return performStep(*engine, id, needsAdmin); },
                 [index](UninstallService& service, StepOutcome outcome) {
                     service.applyStepOutcome(index, std::move(outcome));
                 });
}

void UninstallService::applyStepOutcome(std::size_t index, StepOutcome outcome) {
    const UninstallStepID id = allStepIDs[index];
    if (outcome.failure) {
        failRun(id, *outcome.failure);
        return;
    }
    if (id == UninstallStepID::verify) {
        finishRun(std::move(outcome.sentences));
        return;
    }
    if (outcome.sentences.empty()) {
        setStep(id, {StepState::Kind::done, {}});
    } else {
        setStep(id, {StepState::Kind::warning, joinedWithSpaces(outcome.sentences)});
    }
    if (stopRequested_) {
        running_ = false;
        logLine_("Uninstall stopped after " + std::to_string(index + 1) + " of " +
                 std::to_string(allStepIDs.size()) + " steps: the application was closed");
        return;
    }
    runStep(index + 1);
}

void UninstallService::failRun(UninstallStepID id, const std::string& message) {
    setStep(id, {StepState::Kind::failed, message});
    // Cleared before the final phase is published, so whoever reacts to it may start a retry.
    running_ = false;
    setPhase(Failed{removeAppsStepTitle, message});
    logLine_(runFailedLine(message));
}

void UninstallService::finishRun(std::vector<std::string> residues) {
    const std::size_t count = residues.size();
    setStep(UninstallStepID::verify, {StepState::Kind::done, {}});
    running_ = false;
    setPhase(Done{std::move(residues)});
    logLine_(runFinishedLine(count));
}

void UninstallService::stopAfterCurrentStep() {
    stopRequested_ = running_;
}

void UninstallService::setPhase(Phase newPhase) {
    phase_ = std::move(newPhase);
    emit phaseChanged();
}

void UninstallService::setStep(UninstallStepID id, StepState state) {
    auto entry = std::find_if(steps_.begin(), steps_.end(),
                              [id](const StepDisplay& step) { return step.id == id; });
    if (entry == steps_.end()) {
        return;
    }
    entry->state = std::move(state);
    emit stepsChanged();
}

void UninstallService::resetSteps() {
    for (StepDisplay& step : steps_) {
        step.state = {};
    }
    emit stepsChanged();
}

void UninstallService::openDownloadPage() {
    const QUrl url(QString::fromLatin1(downloadPageAddress), QUrl::StrictMode);
    if (!url.isValid()) {
        return;
    }
    workspace_->open(url);
}

void UninstallService::showLogInFinder() {
    workspace_->revealFile(QUrl::fromLocalFile(QString::fromStdString(logFilePath_())));
}
