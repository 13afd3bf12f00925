// sourcectl's command logic against an in-memory Text Input Sources fake.
#include "Sourcectl.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

constexpr const char* nuvraID = "ai.nuvra.inputmethod.NuvraInput";

struct FakeSource : TISInputSource {
    std::optional<std::string> id;
    std::optional<std::string> bundle;
    std::optional<bool> enabled;
    std::optional<bool> selectable;
};

class FakeInputSources : public TextInputSources {
public:
    std::shared_ptr<FakeSource> add(std::optional<std::string> id,
                                    std::optional<bool> enabled = false,
                                    std::optional<std::string> bundle = nuvraID) {
        auto source = std::make_shared<FakeSource>();
        source->id = std::move(id);
        source->bundle = std::move(bundle);
        source->enabled = enabled;
        sources.push_back(source);
        return source;
    }

    std::optional<std::vector<TISInputSourceRef>>
    TISCreateInputSourceList(TISPropertyKey key, const std::string& value, bool) override {
        if (listFails) {
            return std::nullopt;
        }
        EXPECT_EQ(key, TISPropertyKey::kTISPropertyBundleID);
        std::vector<TISInputSourceRef> result;
        for (const auto& source : sources) {
            if (source->bundle == value || returnForeignSourcesToo) {
                result.push_back(source);
            }
        }
        return result;
    }

    TISPropertyValue TISGetInputSourceProperty(const TISInputSourceRef& ref,
                                               TISPropertyKey key) override {
        const auto& source = static_cast<const FakeSource&>(*ref);
        auto text = [](const std::optional<std::string>& v) -> TISPropertyValue {
            return v ? TISPropertyValue(*v) : TISPropertyValue();
        };
        auto flag = [](std::optional<bool> v) -> TISPropertyValue {
            return v ? TISPropertyValue(*v) : TISPropertyValue();
        };
        switch (key) {
        case TISPropertyKey::kTISPropertyInputSourceID:
            return text(source.id);
        case TISPropertyKey::kTISPropertyBundleID:
            return text(source.bundle);
        case TISPropertyKey::kTISPropertyInputSourceIsEnabled:
            return flag(source.enabled);
        case TISPropertyKey::kTISPropertyInputSourceIsSelectCapable:
            return flag(source.selectable);
        }
        return {};
    }

    TISInputSourceRef TISCopyCurrentKeyboardInputSource() override { return current; }
    OSStatus TISSelectInputSource(const TISInputSourceRef&) override { return 0; }

    OSStatus TISEnableInputSource(const TISInputSourceRef& ref) override {
        return change(ref, "enable", true);
    }
    OSStatus TISDisableInputSource(const TISInputSourceRef& ref) override {
        return change(ref, "disable", false);
    }

    std::vector<std::shared_ptr<FakeSource>> sources;
    std::shared_ptr<FakeSource> current;
    std::map<std::string, OSStatus> failing; // id → status returned instead of 0
    std::vector<std::string> calls;
    bool listFails = false;
    bool returnForeignSourcesToo = false;

private:
    OSStatus change(const TISInputSourceRef& ref, const std::string& verb, bool enable) {
        auto& source = const_cast<FakeSource&>(static_cast<const FakeSource&>(*ref));
        std::string id = source.id.value_or("?");
        calls.push_back(verb + " " + id);
        if (auto it = failing.find(id); it != failing.end()) {
            return it->second;
        }
        source.enabled = enable;
        return 0;
    }
};

struct Outcome {
    int status;
    std::string out;
};

class SourcectlCommands : public ::testing::Test {
protected:
    Outcome run(std::vector<std::string> words) {
        words.insert(words.begin(), "/tmp/nuvra-uninstaller-sourcectl/sourcectl");
        std::ostringstream out;
        int status = runSourcectl(words, tis, out);
        return {status, out.str()};
    }

    FakeInputSources tis;
};

TEST_F(SourcectlCommands, UsageAndUnknownCommandsExitOneWithoutTouchingSources) {
    tis.add(nuvraID, true);
    EXPECT_EQ(run({}).out, "Usage: sourcectl --disable-source|--disable-all|--enable-source|"
                           "--is-enabled|--enable-remaining|--verify\n");
    EXPECT_EQ(run({}).status, 1);

    for (std::string word : {"--DISABLE-ALL", "--Verify", "--disable-ALL", "disable-all", ""}) {
        Outcome result = run({word});
        EXPECT_EQ(result.status, 1) << word;
        EXPECT_EQ(result.out, "Unknown command: " + word + "\n");
    }
    EXPECT_TRUE(tis.calls.empty());
}

TEST_F(SourcectlCommands, ArgumentsAfterTheCommandWordAreIgnored) {
    tis.add(nuvraID, true);
    tis.add("ai.nuvra.inputmethod.NuvraInput.default", false);
    Outcome plain = run({"--is-enabled"});
    Outcome extra = run({"--is-enabled", "--disable-all"});
    EXPECT_EQ(extra.out, plain.out);
    EXPECT_EQ(extra.status, 0);
    EXPECT_TRUE(tis.calls.empty());
}

TEST_F(SourcectlCommands, DisableAllTakesModesFirstThenParentsKeepingPlatformOrder) {
    tis.add(nuvraID, true);
    tis.add("ai.nuvra.inputmethod.NuvraInput.default", true);
    tis.add(std::nullopt, true); // a source without id counts as a parent
    tis.add("ai.nuvra.inputmethod.NuvraInput.second.default", true);
    tis.failing["ai.nuvra.inputmethod.NuvraInput.default"] = -50;

    Outcome result = run({"--disable-all"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "TISDisable(ai.nuvra.inputmethod.NuvraInput.default) \u2192 -50\n"
                          "TISDisable(ai.nuvra.inputmethod.NuvraInput.second.default) \u2192 0\n"
                          "TISDisable(ai.nuvra.inputmethod.NuvraInput) \u2192 0\n"
                          "TISDisable(?) \u2192 0\n");
    EXPECT_EQ(tis.calls.size(), 4u); // a failing call does not stop the loop
}

TEST_F(SourcectlCommands, NoProductSourcesFound) {
    tis.add("com.apple.keylayout.ABC", true, std::nullopt);
    for (bool listFails : {false, true}) {
        tis.listFails = listFails;
        EXPECT_EQ(run({"--disable-all"}).out, "no nuvra sources found\n");
        Outcome isEnabled = run({"--is-enabled"});
        EXPECT_EQ(isEnabled.out, "ENABLED=false\nERROR: parent not found\n");
        EXPECT_EQ(isEnabled.status, 0);
        for (std::string word : {"--disable-source", "--enable-source"}) {
            Outcome result = run({word});
            EXPECT_EQ(result.out, "ERROR: parent not found\n") << word;
            EXPECT_EQ(result.status, 1) << word;
        }
        EXPECT_EQ(run({"--enable-remaining"}).out, "");
    }
    EXPECT_TRUE(tis.calls.empty());
}

TEST_F(SourcectlCommands, SourcesOfOtherBundlesAreNeverChangedEvenIfThePlatformListsThem) {
    tis.add("com.other.inputmethod", true, "com.other.inputmethod");
    tis.add(nuvraID, true);
    tis.returnForeignSourcesToo = true;
    EXPECT_EQ(run({"--disable-all"}).out, "TISDisable(ai.nuvra.inputmethod.NuvraInput) \u2192 0\n");
    EXPECT_EQ(run({"--disable-source"}).out,
              "TISDisable(ai.nuvra.inputmethod.NuvraInput) \u2192 0\n");
    EXPECT_EQ(tis.calls, (std::vector<std::string>{"disable " + std::string(nuvraID),
                                                   "disable " + std::string(nuvraID)}));
}

TEST_F(SourcectlCommands, ParentCommandsActOnTheFirstNonModeSourceOnly) {
    tis.add("ai.nuvra.inputmethod.NuvraInput.default", true);
    auto parent = tis.add(std::nullopt, false);
    tis.add(nuvraID, false);

    Outcome enable = run({"--enable-source"});
    EXPECT_EQ(enable.out, "TISEnable(?) \u2192 0\nenabled_after=true\n");
    EXPECT_EQ(run({"--is-enabled"}).out, "ENABLED=true\nparent=?\n");

    Outcome disable = run({"--disable-source"});
    EXPECT_EQ(disable.out, "TISDisable(?) \u2192 0\n");
    EXPECT_EQ(disable.status, 0);
    EXPECT_EQ(tis.calls, (std::vector<std::string>{"enable ?", "disable ?"}));

    // A failed enable shows its status and the state read afterwards; a missing property is false.
    tis.failing["?"] = -25341;
    parent->enabled = std::nullopt;
    EXPECT_EQ(run({"--enable-source"}).out, "TISEnable(?) \u2192 -25341\nenabled_after=false\n");
    EXPECT_EQ(run({"--is-enabled"}).out, "ENABLED=false\nparent=?\n");
}

TEST_F(SourcectlCommands, EnableRemainingEnablesOnlyWhatIsNotEnabled) {
    tis.add(nuvraID, true);
    tis.add("ai.nuvra.inputmethod.NuvraInput.default", false);
    tis.add("ai.nuvra.inputmethod.NuvraInput.other.default", std::nullopt);
    tis.failing["ai.nuvra.inputmethod.NuvraInput.other.default"] = 1;

    Outcome result = run({"--enable-remaining"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "ai.nuvra.inputmethod.NuvraInput: already enabled\n"
                          "TISEnable(ai.nuvra.inputmethod.NuvraInput.default) \u2192 0\n"
                          "TISEnable(ai.nuvra.inputmethod.NuvraInput.other.default) \u2192 1\n");
}

TEST_F(SourcectlCommands, VerifyReportsTheCurrentSourceAndEveryProductSource) {
    auto parent = tis.add(nuvraID, true);
    parent->selectable = false;
    auto mode = tis.add("ai.nuvra.inputmethod.NuvraInput.default", false);
    mode->selectable = true;
    const std::string sourceLines = "  ai.nuvra.inputmethod.NuvraInput: enabled=true "
                                    "selectable=false\n"
                                    "  ai.nuvra.inputmethod.NuvraInput.default: enabled=false "
                                    "selectable=true\n";

    tis.current = mode;
    EXPECT_EQ(run({"--verify"}).out, "current=ai.nuvra.inputmethod.NuvraInput.default\n"
                                     "SUCCESS \u2014 switched to nuvraInput!\n" +
                                         sourceLines);

    auto capitals = std::make_shared<FakeSource>();
    capitals->id = "com.example.NUVRA.layout";
    tis.current = capitals;
    EXPECT_EQ(run({"--verify"}).out, "current=com.example.NUVRA.layout\n"
                                     "NOT switched, current: com.example.NUVRA.layout\n" +
                                         sourceLines);

    auto lowercase = std::make_shared<FakeSource>();
    lowercase->id = "com.example.nuvra";
    tis.current = lowercase;
    EXPECT_NE(run({"--verify"}).out.find("SUCCESS"), std::string::npos);

    tis.current = nullptr;
    Outcome noCurrent = run({"--verify"});
    EXPECT_EQ(noCurrent.out, sourceLines);
    EXPECT_EQ(noCurrent.status, 0);
    EXPECT_TRUE(tis.calls.empty());
}

} // namespace
