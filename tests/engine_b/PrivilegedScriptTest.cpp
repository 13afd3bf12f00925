// How the privileged command is put together and how its outcome is read back. A mistake here
// runs the wrong command as root, or reports a failure as success; the simulated-Mac tests run
// awkward text through the real shell.
#include "engine/PrivilegedRunner.h"

#include <gtest/gtest.h>

TEST(PrivilegedScript, QuotesTheScriptForTheShellThenEscapesTheCommandForAppleScript) {
    EXPECT_EQ(PrivilegedRunner::shellQuoted("/a b/it's"), "'/a b/it'\\''s'");
    EXPECT_EQ(PrivilegedRunner::appleScriptEscaped(R"(say "hi" \ bye)"), R"(say \"hi\" \\ bye)");
    // The backslashes produced by shell quoting are themselves escaped for AppleScript.
    EXPECT_EQ(PrivilegedRunner::scriptSource("echo \"it's\" \\n"),
              R"(do shell script "/bin/bash -c 'echo \"it'\\''s\" \\n' uninstall.sh" )"
              R"(with administrator privileges)");
}

// osascript reports on standard error, "START:END: execution error: MESSAGE (NUMBER)"; the
// message may hold several lines. A dismissed dialog is -128; any cancel counts as one.
TEST(PrivilegedScript, ReadsOsascriptsErrorsAndTellsADismissedDialogFromAFailure) {
    const auto kindOf = [](std::string_view output) {
        return PrivilegedRunner::classify(scriptErrorOf(output)).kind();
    };
    EXPECT_EQ(kindOf("0:118: execution error: User canceled. (-128)\n"),
              EngineError::Kind::adminCancelled);
    EXPECT_EQ(kindOf("0:9: execution error: Authentication CANCELLED by user (1)\n"),
              EngineError::Kind::adminCancelled);

    const ScriptError twoLines =
        scriptErrorOf("0:2301: execution error: Could not remove /Applications/nuvra.app.\r"
                      "Could not remove /Applications/NuvraAgent.app. (1)\n");
    EXPECT_EQ(twoLines.number, 1);
    EXPECT_EQ(PrivilegedRunner::classify(twoLines).sentence(),
              "Privileged removal failed: Could not remove /Applications/nuvra.app. Could not "
              "remove /Applications/NuvraAgent.app.");

    const ScriptError noLine = scriptErrorOf("osascript: broken\n");
    EXPECT_EQ(noLine.number, std::nullopt);
    EXPECT_EQ(PrivilegedRunner::classify(noLine).sentence(),
              "Privileged removal failed: osascript: broken");
    EXPECT_EQ(PrivilegedRunner::classify(scriptErrorOf("")).sentence(),
              "Privileged removal failed: Unknown error");

    // A flood of output is no message: the sentence stays small and on one line.
    const std::string flood = "execution error: " + std::string(1 << 20, 'x') + "\n\x1b[2J (1)";
    const std::string sentence = PrivilegedRunner::classify(scriptErrorOf(flood)).sentence();
    EXPECT_LE(sentence.size(), 4200u);
    EXPECT_EQ(sentence.find_first_of("\n\x1b"), std::string::npos);
}

TEST(PrivilegedScript, WarningsAreTheLinesOfWhatTheScriptPrinted) {
    EXPECT_EQ(warningsIn("Could not remove /tmp/nuvra.\n"),
              (std::vector<std::string>{"Could not remove /tmp/nuvra."}));
    EXPECT_EQ(warningsIn("\n"), std::vector<std::string>{});
    EXPECT_EQ(warningsIn(std::string(100, '\r') + "a\rb\r\n").size(), 2u);
}
