#include "engine/UninstallEngine.h"
#include "engine/UninstallStepID.h"

#include <gtest/gtest.h>

TEST(UninstallStepID, sevenStepsInRunOrderWithTheirRawValues) {
    std::vector<std::string_view> raws;
    for (UninstallStepID id : allStepIDs) {
        raws.push_back(rawValue(id));
    }
    EXPECT_EQ(raws, (std::vector<std::string_view>{"stopProcesses", "inputSource", "removeApps",
                                                   "removeData", "resetPermissions",
                                                   "refreshSystem", "verify"}));
}

TEST(UninstallStepID, constructionAcceptsExactlyTheRawValues) {
    for (UninstallStepID id : allStepIDs) {
        EXPECT_EQ(stepIDFromRawValue(rawValue(id)), id);
    }
    EXPECT_EQ(stepIDFromRawValue("resetPermissions"), UninstallStepID::resetPermissions);
    for (const char* other : {"refreshSystemUI", "RefreshSystem", "verify ", "", "stop"}) {
        EXPECT_EQ(stepIDFromRawValue(other), std::nullopt) << other;
    }
}

TEST(UninstallEngine, aNewEngineHasStagedNothing) {
    const UninstallEngine engine;
    EXPECT_FALSE(engine.stagedSourcectlPath().has_value());
}
