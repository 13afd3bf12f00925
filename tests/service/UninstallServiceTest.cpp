#include "service/UninstallService.h"

#include "FakeSteps.h"
#include "Waiting.h"
#include "engine/EngineError.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace {

using Waiting::untilItHappens;

using Kind = UninstallService::StepState::Kind;
using ID = UninstallStepID;

InventoryItem item(std::string id, bool requiresAdmin, bool informational) {
    InventoryItem made;
    made.id = std::move(id);
    made.title = "title";
    made.requiresAdmin = requiresAdmin;
    made.informational = informational;
    return made;
}

UninstallService::Phase failedAtApps(std::string message) {
    return UninstallService::Failed{"Remove nuvra apps", std::move(message)};
}

std::vector<Kind> kinds(const std::vector<UninstallService::StepDisplay>& steps) {
    std::vector<Kind> result;
    for (const auto& step : steps) {
        result.push_back(step.state.kind);
    }
    return result;
}

class UninstallServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeSteps> fake = std::make_shared<FakeSteps>();
    FakeWorkspace* workspace = nullptr;
    std::vector<std::string> log;
    std::unique_ptr<UninstallService> service;
    // Every published steps list, and whether each notification came on the main thread.
    std::vector<std::vector<UninstallService::StepDisplay>> published;
    std::vector<double> progressAtEachChange;
    int notificationsOffMainThread = 0;

    void SetUp() override {
        fake->inventory.items = {item("Apps:/Applications/nuvra.app", true, false)};
    }

    void TearDown() override {
        service.reset();
        EXPECT_EQ(fake->callsOnMainThread, 0) << "engine work ran on the main thread";
        EXPECT_EQ(notificationsOffMainThread, 0) << "state changed off the main thread";
    }

    void create() {
        auto ownedWorkspace = std::make_unique<FakeWorkspace>();
        workspace = ownedWorkspace.get();
        service = std::make_unique<UninstallService>(UninstallService::Collaborators{
            fake, std::move(ownedWorkspace),
            [this](std::string_view line) { log.emplace_back(line); },
            [] {
                return std::string("/Users/tester/Library/Logs/nuvraUninstaller/uninstall.log");
            }});
        QObject::connect(service.get(), &UninstallService::stepsChanged, [this] {
            notificationsOffMainThread += onMainThread() ? 0 : 1;
            published.push_back(service->steps());
            progressAtEachChange.push_back(service->progressFraction());
        });
        QObject::connect(service.get(), &UninstallService::phaseChanged,
                         [this] { notificationsOffMainThread += onMainThread() ? 0 : 1; });
    }

    template <class PhaseCase> bool waitFor() {
        return QTest::qWaitFor(
            [this] { return std::holds_alternative<PhaseCase>(service->phase()); }, untilItHappens);
    }
    void createAndScan() {
        create();
        ASSERT_TRUE(QTest::qWaitFor(
            [this] {
                return !std::holds_alternative<UninstallService::Scanning>(service->phase());
            },
            untilItHappens));
    }
    void runToEnd() {
        service->startUninstall();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !service->isRunning(); }, untilItHappens));
    }
};

TEST_F(UninstallServiceTest, ScanDecidesBetweenReadyAndNothingFound) {
    struct Case {
        std::vector<InventoryItem> items;
        bool ready;
        bool needsAdmin;
    };
    const std::vector<Case> cases = {
        {{}, false, false},
        {{item("tis", true, true)}, false, true}, // informational items still count for admin
        {{item("data", false, false)}, true, false},
        {{item("tis", false, true), item("Apps:/Applications/nuvra.app", true, false)}, true, true},
    };
    for (const Case& c : cases) {
        fake->inventory.items = c.items;
        create();
        EXPECT_TRUE(std::holds_alternative<UninstallService::Scanning>(service->phase()));
        QSignalSpy phaseSpy(service.get(), &UninstallService::phaseChanged);
        ASSERT_TRUE(phaseSpy.wait(5000));
        EXPECT_EQ(phaseSpy.count(), 1);
        EXPECT_EQ(service->needsAdmin(), c.needsAdmin);
        if (c.ready) {
            EXPECT_EQ(service->phase(),
                      UninstallService::Phase{UninstallService::Ready{fake->inventory}});
        } else {
            EXPECT_EQ(service->phase(), UninstallService::Phase{UninstallService::NothingFound{}});
        }
        EXPECT_EQ(kinds(service->steps()), std::vector<Kind>(7, Kind::pending));
        EXPECT_EQ(service->progressFraction(), 0.0);
    }
}

TEST_F(UninstallServiceTest, CleanUpAfterNothingFoundStillPassesAdminNeedOfInformationalItem) {
    fake->inventory.items = {item("tis", true, true)};
    createAndScan();
    runToEnd();
    EXPECT_EQ(fake->removeAppsArguments(), std::vector<bool>{true});
}

TEST_F(UninstallServiceTest, FullRunPublishesEachStepRunningThenFinishedInOrder) {
    fake->inventory.items = {item("data", false, false)};
    fake->results[ID::inputSource] = {"The keyboard could not be switched.",
                                      "Input sources may remain."};
    createAndScan();
    QSignalSpy phaseSpy(service.get(), &UninstallService::phaseChanged);
    QSignalSpy stepsSpy(service.get(), &UninstallService::stepsChanged);
    runToEnd();

    EXPECT_EQ(phaseSpy.count(), 2); // uninstalling, done
    EXPECT_EQ(stepsSpy.count(), 1 + 7 * 2);
    ASSERT_EQ(published.size(), 15u);
    EXPECT_EQ(kinds(published[0]), std::vector<Kind>(7, Kind::pending));
    for (std::size_t step = 0; step < 7; ++step) {
        EXPECT_EQ(published[1 + 2 * step][step].state.kind, Kind::running) << step;
        EXPECT_NE(published[2 + 2 * step][step].state.kind, Kind::running) << step;
    }
    const auto& inputSource = service->steps()[1].state;
    EXPECT_EQ(inputSource.kind, Kind::warning);
    EXPECT_EQ(inputSource.text, "The keyboard could not be switched. Input sources may remain.");
    // Right after the warning step finished, two of seven count as complete.
    EXPECT_DOUBLE_EQ(progressAtEachChange[4], 2.0 / 7.0);
    EXPECT_DOUBLE_EQ(progressAtEachChange[0], 0.0);
    EXPECT_EQ(service->phase(), UninstallService::Phase{UninstallService::Done{}});
    EXPECT_EQ(service->progressFraction(), 1.0);
    EXPECT_EQ(fake->calls(), std::vector<ID>(allStepIDs.begin(), allStepIDs.end()));
    EXPECT_EQ(fake->removeAppsArguments(), std::vector<bool>{false});
    EXPECT_EQ(log,
              (std::vector<std::string>{"Uninstall started", "Uninstall finished (residues: 0)"}));
}

TEST_F(UninstallServiceTest, SecondStartDuringRunChangesNothing) {
    Gate hold;
    fake->stopProcessesGate = &hold;
    createAndScan();
    service->startUninstall();
    const auto stepsAfterFirst = service->steps();
    QSignalSpy stepsSpy(service.get(), &UninstallService::stepsChanged);
    QSignalSpy phaseSpy(service.get(), &UninstallService::phaseChanged);
    service->startUninstall();
    EXPECT_EQ(stepsSpy.count(), 0);
    EXPECT_EQ(phaseSpy.count(), 0);
    EXPECT_EQ(service->steps(), stepsAfterFirst);
    hold.open();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !service->isRunning(); }, untilItHappens));
    EXPECT_EQ(fake->calls().size(), 7u);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Uninstall started"), 1);
}

TEST_F(UninstallServiceTest, AdminCancelledStopsRunAtApps) {
    fake->removeAppsThrows = [] { throw EngineError::adminCancelled(); };
    fake->results[ID::inputSource] = {"Partly."};
    createAndScan();
    runToEnd();
    EXPECT_EQ(service->phase(), failedAtApps("Administrator access was not granted."));
    EXPECT_EQ(kinds(service->steps()),
              (std::vector<Kind>{Kind::done, Kind::warning, Kind::failed, Kind::pending,
                                 Kind::pending, Kind::pending, Kind::pending}));
    EXPECT_EQ(service->steps()[2].state.text, "Administrator access was not granted.");
    EXPECT_DOUBLE_EQ(service->progressFraction(), 2.0 / 7.0);
    EXPECT_EQ(fake->calls().size(), 3u); // nothing after the apps step ran
    EXPECT_EQ(log,
              (std::vector<std::string>{
                  "Uninstall started",
                  "Uninstall failed at Remove nuvra apps: Administrator access was not granted."}));
}

TEST_F(UninstallServiceTest, FailureMessageComesFromWhatTheAppsStepThrew) {
    struct Case {
        std::function<void()> thrower;
        std::string message;
    };
    const std::vector<Case> cases = {
        {[] { throw EngineError::failed("The apps could not be removed."); },
         "The apps could not be removed."},
        {[] { throw std::runtime_error("Disk went away."); }, "Disk went away."},
        {[] { throw 42; }, "Unknown error"},
    };
    for (const Case& c : cases) {
        fake->removeAppsThrows = c.thrower;
        log.clear();
        createAndScan();
        runToEnd();
        EXPECT_EQ(service->phase(), failedAtApps(c.message));
        EXPECT_EQ(log.back(), "Uninstall failed at Remove nuvra apps: " + c.message);
    }
}

TEST_F(UninstallServiceTest, ResiduesEndInDoneWithVerifyStepDone) {
    fake->results[ID::verify] = {"nuvra.app in /Applications", "Keychain item", "Input source"};
    createAndScan();
    runToEnd();
    EXPECT_EQ(service->phase(),
              UninstallService::Phase{UninstallService::Done{fake->results[ID::verify]}});
    EXPECT_EQ(service->steps()[6].state.kind, Kind::done);
    EXPECT_EQ(service->progressFraction(), 1.0);
    EXPECT_EQ(log.back(), "Uninstall finished (residues: 3)");
}

TEST_F(UninstallServiceTest, RetryAfterFailureResetsAllStepsBeforeRunningAgain) {
    fake->removeAppsThrows = [] { throw EngineError::adminCancelled(); };
    createAndScan();
    runToEnd();
    fake->removeAppsThrows = nullptr;
    published.clear();
    runToEnd();

    ASSERT_GE(published.size(), 2u);
    EXPECT_EQ(kinds(published[0]), std::vector<Kind>(7, Kind::pending));
    EXPECT_EQ(published[1][0].state.kind, Kind::running);
    EXPECT_EQ(service->phase(), UninstallService::Phase{UninstallService::Done{}});
    EXPECT_EQ(fake->removeAppsArguments(), (std::vector<bool>{true, true}));
    EXPECT_EQ(fake->calls().size(), 3u + 7u);
}

TEST_F(UninstallServiceTest, OtherStepsThatThrowBecomeWarningsAndTheRunGoesOn) {
    fake->otherStepThrows = [] { throw std::runtime_error("Data folder is busy."); };
    createAndScan();
    runToEnd();
    EXPECT_EQ(service->steps()[3].state,
              (UninstallService::StepState{Kind::warning, "Data folder is busy."}));
    EXPECT_EQ(service->phase(), UninstallService::Phase{UninstallService::Done{}});
}

TEST_F(UninstallServiceTest, LateScanNeverOverwritesTheRunsPhase) {
    {
        Gate scanHold, stepHold;
        fake->scanGate = &scanHold;
        fake->stopProcessesGate = &stepHold;
        create();
        service->startUninstall();
        scanHold.open();
        ASSERT_TRUE(QTest::qWaitFor([this] { return service->needsAdmin(); }, untilItHappens));
        EXPECT_EQ(service->phase(), UninstallService::Phase{UninstallService::Uninstalling{}});
        stepHold.open();
        ASSERT_TRUE(waitFor<UninstallService::Done>());
        service.reset();
    }
    {
        Gate scanHold;
        fake->scanGate = &scanHold;
        fake->stopProcessesGate = nullptr;
        create();
        runToEnd();
        scanHold.open();
        ASSERT_TRUE(QTest::qWaitFor([this] { return service->needsAdmin(); }, untilItHappens));
        EXPECT_EQ(service->phase(), UninstallService::Phase{UninstallService::Done{}});
        service.reset();
    }
}

TEST_F(UninstallServiceTest, DestroyingTheServiceMidStepIsSafe) {
    Gate hold;
    fake->stopProcessesGate = &hold;
    createAndScan();
    service->startUninstall();
    service.reset();
    hold.open();
    // The step finishes on its engine, which outlives the service; its result goes nowhere.
    ASSERT_TRUE(QTest::qWaitFor([this] { return fake->calls().size() == 1u; }, untilItHappens));
    QTest::qWait(50);
    EXPECT_EQ(fake->calls().size(), 1u);
}

// What the window's closing asks for: the step at work finishes and is applied, no later step
// starts, and the log says how far the run got.
TEST_F(UninstallServiceTest, StopAfterCurrentStepEndsTheRunWhenTheStepAtWorkReturns) {
    Gate hold;
    fake->stopProcessesGate = &hold;
    createAndScan();
    service->startUninstall();
    service->stopAfterCurrentStep();
    EXPECT_TRUE(service->isBusy());
    hold.open();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !service->isBusy(); }, untilItHappens));
    EXPECT_FALSE(service->isRunning());
    EXPECT_EQ(fake->calls(), std::vector<ID>{ID::stopProcesses});
    EXPECT_EQ(service->steps()[0].state.kind, Kind::done);
    EXPECT_EQ(log.back(), "Uninstall stopped after 1 of 7 steps: the application was closed");
}

TEST_F(UninstallServiceTest, UserActionsGoThroughTheWorkspace) {
    createAndScan();
    service->openDownloadPage();
    service->showLogInFinder();
    ASSERT_EQ(workspace->opened.size(), 1u);
    EXPECT_EQ(workspace->opened[0].scheme(), "https");
    ASSERT_EQ(workspace->revealed.size(), 1u);
    EXPECT_EQ(workspace->revealed[0],
              QUrl("file:///Users/tester/Library/Logs/nuvraUninstaller/uninstall.log"));
}

} // namespace
