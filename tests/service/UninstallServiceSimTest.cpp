#include "Bundle.h"
#include "SimMac.h"
#include "Waiting.h"
#include "foundation/UninstallerLog.h"
#include "service/UninstallService.h"

#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

using Waiting::untilItHappens;

// The application bundle the engine looks for its resources in: the built input-source tool.
std::string assembleBundle() {
    return SimMac::assembleAppBundle("/opt/app", SimMac::insidePath(NUVRA_SOURCECTL_PATH));
}

std::vector<std::string> sessionLogMessages() {
    return SimMac::sessionLogMessages(UninstallerLog::logFile());
}

std::size_t indexOf(const std::vector<std::string>& lines, const std::string& wanted) {
    return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), wanted) - lines.begin());
}

// Where the first line of one step's area ("  Apps: …") stands after `from`.
std::size_t firstAreaLine(const std::vector<std::string>& lines, std::size_t from,
                          const std::string& area) {
    const std::string prefix = "  " + area + ":";
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) == 0) {
            return i;
        }
    }
    return lines.size();
}

} // namespace

TEST(UninstallServiceInSimulatedMac, RemovesTheWholeFootprintAndLogsEveryStepInOrder) {
    NUVRA_REQUIRE_SIM();
    ASSERT_TRUE(SimMac::plantScene("full"));
    SimMac::setPkexec(SimMac::Pkexec::approve);
    Bundle::overrideMainBundlePathForTesting(assembleBundle());

    UninstallService service(nullptr);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !std::holds_alternative<UninstallService::Scanning>(service.phase()); },
        untilItHappens));
    ASSERT_TRUE(std::holds_alternative<UninstallService::Ready>(service.phase()));
    EXPECT_TRUE(service.needsAdmin());

    service.startUninstall();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !service.isRunning(); }, untilItHappens));

    EXPECT_EQ(service.phase(), UninstallService::Phase{UninstallService::Done{}});
    EXPECT_EQ(service.progressFraction(), 1.0);
    EXPECT_FALSE(fs::exists("/Applications/nuvra.app"));
    EXPECT_FALSE(fs::exists("/Library/Input Methods/nuvraInput.app"));

    const auto log = sessionLogMessages();
    const std::size_t started = indexOf(log, "Uninstall started");
    ASSERT_LT(started, log.size());
    std::size_t previous = started;
    for (const char* area :
         {"Stop", "Input method", "Apps", "Data", "Permissions", "Refresh", "Verify"}) {
        const std::size_t at = firstAreaLine(log, previous, area);
        ASSERT_LT(at, log.size()) << "no line for " << area << " after the previous step's";
        previous = at;
    }
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Uninstall finished (residues: 0)");
    Bundle::overrideMainBundlePathForTesting(std::nullopt);
}
