// The real window (AppDelegate: service, engine, view) in a simulated Mac, while the system's
// administrator dialog is held open: the window goes on drawing and answering, the run ends as
// before once the dialog is answered, and a window quit meanwhile never reports the step as done.
#include "Bundle.h"
#include "SimMac.h"
#include "Waiting.h"
#include "foundation/Deadlines.h"
#include "foundation/UninstallerLog.h"
#include "ui/AppDelegate.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using Waiting::untilItHappens;

QQuickView* theWindow() {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (auto* view = qobject_cast<QQuickView*>(window)) {
            return view;
        }
    }
    return nullptr;
}

QQuickItem* shown(QQuickView& window, const char* name) {
    auto* item = window.findChild<QQuickItem*>(QString::fromLatin1(name));
    return item && item->isVisible() ? item : nullptr;
}

QString headline(QQuickView& window) {
    QQuickItem* item = shown(window, "headline");
    return item ? item->property("text").toString() : QString();
}

void click(QQuickView& window, const char* name) {
    QQuickItem* item = shown(window, name);
    ASSERT_TRUE(item) << name;
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
}

bool pkexecShown() {
    return std::filesystem::exists("/var/db/sim/pkexec.shown");
}

class PasswordDialog : public ::testing::Test {
protected:
    void SetUp() override {
        NUVRA_REQUIRE_SIM();
        ASSERT_TRUE(SimMac::plantScene("full"));
        Bundle::overrideMainBundlePathForTesting(
            SimMac::assembleAppBundle("/opt/app", SimMac::insidePath(NUVRA_SOURCECTL_PATH)));
        SimMac::setPkexec(SimMac::Pkexec::hold);
    }

    // Opens the window and clicks "Uninstall"; returns once the dialog is open.
    void openAndUninstall() {
        ASSERT_TRUE(delegate.applicationDidFinishLaunching());
        window = theWindow();
        ASSERT_TRUE(window);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return shown(*window, "primaryButton"); }, untilItHappens));
        click(*window, "primaryButton");
        ASSERT_TRUE(QTest::qWaitFor(pkexecShown, untilItHappens));
    }

    AppDelegate delegate;
    QQuickView* window = nullptr;
};

} // namespace

// Frames keep coming and events keep being served while the dialog waits; approved, the run
// ends on "Goodbye." as always.
TEST_F(PasswordDialog, TheWindowDrawsAndAnswersWhileTheDialogIsOpen) {
    ASSERT_NO_FATAL_FAILURE(openAndUninstall());
    int frames = 0;
    QObject::connect(window, &QQuickWindow::frameSwapped, [&] { ++frames; });
    for (int round = 0; round < 3; ++round) {
        const int before = frames;
        window->update();
        EXPECT_TRUE(QTest::qWaitFor([&] { return frames > before; }, untilItHappens));
        bool served = false;
        QTimer::singleShot(0, [&] { served = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return served; }, untilItHappens));
    }
    EXPECT_TRUE(shown(*window, "progressBar"));
    SimMac::answerPkexec(SimMac::Pkexec::approve);
    EXPECT_TRUE(QTest::qWaitFor([&] { return headline(*window) == "Goodbye."; }, untilItHappens))
        << headline(*window).toStdString();
    EXPECT_FALSE(std::filesystem::exists("/Applications/nuvra.app"));
}

TEST_F(PasswordDialog, ADismissedDialogEndsOnTheFailedScreen) {
    ASSERT_NO_FATAL_FAILURE(openAndUninstall());
    SimMac::answerPkexec(SimMac::Pkexec::dismiss);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown(*window, "weakActionLink"); }, untilItHappens));
    EXPECT_THAT(SimMac::sessionLogMessages(UninstallerLog::logFile()),
                ::testing::Contains("Uninstall failed at Remove nuvra apps: Administrator "
                                    "access was not granted."));
}

// The window is quit while the dialog waits: the dialog goes, nothing is reported as removed,
// and the session still ends cleanly.
TEST_F(PasswordDialog, AWindowQuitWhileTheDialogWaitsNeverReportsTheStepAsDone) {
    ASSERT_NO_FATAL_FAILURE(openAndUninstall());
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    QCoreApplication::exec(); // quitting runs the window's end of session on its way out
    const auto log = SimMac::sessionLogMessages(UninstallerLog::logFile());
    EXPECT_THAT(log, ::testing::Not(::testing::Contains("  Apps: system-level bundles removed "
                                                        "(admin)")));
    EXPECT_THAT(log, ::testing::Contains("Uninstall failed at Remove nuvra apps: The window was "
                                         "closed before the administrator dialog was answered."));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Session ended normally");
    EXPECT_TRUE(std::filesystem::exists("/Applications/nuvra.app"));
    EXPECT_TRUE(SimMac::run({"/usr/bin/pgrep", "-f", "/usr/bin/osascript"}).output.empty());
}

// A tool that never answers (here the LaunchServices dump, before the dialog) is stopped at its
// deadline: the window still reaches its end screen.
TEST_F(PasswordDialog, AToolThatNeverAnswersStillLetsTheWindowReachItsEnd) {
    using namespace std::chrono_literals;
    Deadlines::shortenForTesting({10s, 20s, 15s, 3s});
    const SimMac::ReplacedTool lsregister(
        "/System/Library/Frameworks/CoreServices.framework/Frameworks/LaunchServices.framework/"
        "Support/lsregister",
        "#!/bin/bash\n[[ $1 == -dump ]] && exec sleep 100000\nexec \"$0.real\" \"$@\"\n");
    ASSERT_NO_FATAL_FAILURE(openAndUninstall());
    SimMac::answerPkexec(SimMac::Pkexec::approve);
    EXPECT_TRUE(QTest::qWaitFor([&] { return headline(*window) == "Goodbye."; }, untilItHappens))
        << headline(*window).toStdString();
    EXPECT_THAT(SimMac::sessionLogMessages(UninstallerLog::logFile()),
                ::testing::Contains("  lsregister did not answer within 20 s and was stopped."));
}
