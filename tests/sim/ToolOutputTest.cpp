// Each fake tool against the full scene: output layout, exit status, state change and call log.

#include "SimMac.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using SimMac::Call;
using SimMac::run;

namespace {

const std::string lsregister = "/System/Library/Frameworks/CoreServices.framework/Frameworks/"
                               "LaunchServices.framework/Support/lsregister";

class ToolOutput : public ::testing::Test {
protected:
    void SetUp() override {
        NUVRA_REQUIRE_SIM();
        ASSERT_TRUE(SimMac::plantScene("full", false));
    }
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

size_t count(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

TEST_F(ToolOutput, DefaultsExportImportWriteDelete) {
    const auto exported = run({"/usr/bin/defaults", "export", "com.apple.HIToolbox", "-"});
    EXPECT_EQ(exported.status, 0);
    EXPECT_EQ(exported.output.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
    EXPECT_NE(exported.output.find("<string>ai.nuvra.inputmethod.NuvraInput.default</string>"),
              std::string::npos);

    const auto missing = run({"/usr/bin/defaults", "export", "com.example.none", "-"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("\nDomain com.example.none does not exist\n"), std::string::npos);

    // Invalid input leaves the domain as it was; a binary plist replaces it whole.
    const auto bad =
        run({"/usr/bin/defaults", "import", "com.apple.HIToolbox", "-"}, "not a plist");
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(run({"/usr/bin/defaults", "export", "com.apple.HIToolbox", "-"}).output,
              exported.output);
    const std::string binary = run({"/usr/bin/python3", "-c",
                                    "import plistlib,sys; sys.stdout.buffer.write(plistlib.dumps("
                                    "{'AppleFnUsageType': -31000}, fmt=plistlib.FMT_BINARY))"})
                                   .output;
    EXPECT_EQ(run({"/usr/bin/defaults", "import", "com.apple.HIToolbox", "-"}, binary).status, 0);
    EXPECT_EQ(run({"/usr/bin/defaults", "export", "com.apple.HIToolbox", "-"}).output,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
              "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
              "version=\"1.0\">\n<dict>\n\t<key>AppleFnUsageType</key>\n\t<integer>-31000</"
              "integer>\n</dict>\n</plist>\n");

    EXPECT_EQ(run({"/usr/bin/defaults", "write", "group.ai.nuvra.shared", "ai.nuvra.startAtLogin",
                   "-bool", "false"})
                  .status,
              0);
    EXPECT_NE(run({"/usr/bin/defaults", "read", "group.ai.nuvra.shared"})
                  .output.find("\"ai.nuvra.startAtLogin\" = 0;"),
              std::string::npos);
    EXPECT_EQ(run({"/usr/bin/defaults", "delete", "group.ai.nuvra.shared"}).status, 0);
    EXPECT_FALSE(fs::exists(SimMac::home() + "/Library/Preferences/group.ai.nuvra.shared.plist"));
    const auto again = run({"/usr/bin/defaults", "delete", "group.ai.nuvra.shared"});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.output,
              "Domain (group.ai.nuvra.shared) not found.\nDefaults have not been changed.\n");

    // On a full disk every change fails with the tool's message and status, and the domain and
    // its folder stay as they were: no temporary file is left.
    std::ofstream("/var/db/sim/defaults.fail") << "disk-full\n";
    const auto folder = [] {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(SimMac::home() + "/Library/Preferences")) {
            names.insert(entry.path().filename());
        }
        return names;
    };
    const auto namesBefore = folder();
    const std::string domainBefore =
        run({"/usr/bin/defaults", "export", "com.apple.HIToolbox", "-"}).output;
    for (const auto& [args, input] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"/usr/bin/defaults", "import", "com.apple.HIToolbox", "-"}, binary},
             {{"/usr/bin/defaults", "write", "com.apple.HIToolbox", "AppleFnUsageType", "-int",
               "2"},
              ""}}) {
        const auto full = run(args, input);
        EXPECT_EQ(full.status, 1) << args[1];
        EXPECT_EQ(full.output, "Could not write domain com.apple.HIToolbox; exiting\n") << args[1];
    }
    EXPECT_EQ(folder(), namesBefore);
    EXPECT_EQ(run({"/usr/bin/defaults", "export", "com.apple.HIToolbox", "-"}).output,
              domainBefore);
}

TEST_F(ToolOutput, SecurityDumpsEveryItemAndDeletesOnePerCall) {
    const auto dump = run({"/usr/bin/security", "dump-keychain"});
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(count(dump.output, "\"acct\"<blob>=\"ai.nuvra.auth.session\""), 3u);
    EXPECT_EQ(count(dump.output, "\"acct\"<blob>=\"com.nuvra.agent\""), 1u);
    const auto all = lines(dump.output);
    ASSERT_GT(all.size(), 4u);
    EXPECT_EQ(all[0], "keychain: \"/Users/tester/Library/Keychains/login.keychain-db\"");
    EXPECT_EQ(all[1], "version: 512");
    EXPECT_EQ(all[2], "class: \"genp\"");
    EXPECT_EQ(all[3], "attributes:");
    EXPECT_NE(dump.output.find("\n    \"svce\"<blob>=\"ai.nuvra.auth\"\n"), std::string::npos);
    EXPECT_NE(dump.output.find("\n    \"desc\"<blob>=<NULL>\n"), std::string::npos);

    std::vector<int> statuses;
    for (int i = 0; i < 4; ++i) {
        statuses.push_back(
            run({"/usr/bin/security", "delete-generic-password", "-a", "ai.nuvra.auth.session"})
                .status);
    }
    EXPECT_EQ(statuses, (std::vector<int>{0, 0, 0, 44}));
    const auto gone =
        run({"/usr/bin/security", "delete-generic-password", "-a", "ai.nuvra.auth.session"});
    EXPECT_EQ(gone.output, "security: SecKeychainSearchCopyNext: The specified item could not be "
                           "found in the keychain.\n");
    for (const auto& item : SimMac::state("keychain")) {
        EXPECT_NE(item.at(0), "ai.nuvra.auth.session");
    }

    // Locked, as while its user is logged out: still listed, but a deletion only looks like one
    // (the item, then "password has been deleted."), and errSecInteractionNotAllowed's status
    // tells the truth. Adding is refused in words.
    SimMac::lockLoginKeychain(SimMac::home());
    const std::string token = "\"acct\"<blob>=\"ai.nuvra.sync.token\"";
    const auto refused =
        run({"/usr/bin/security", "delete-generic-password", "-a", "ai.nuvra.sync.token"});
    EXPECT_EQ(refused.status, 36);
    EXPECT_NE(refused.output.find(token), std::string::npos) << refused.output;
    EXPECT_TRUE(refused.output.ends_with("\npassword has been deleted.\n")) << refused.output;
    EXPECT_EQ(count(run({"/usr/bin/security", "dump-keychain"}).output, token), 1u);
    const auto added = run({"/usr/bin/security", "add-generic-password", "-a", "x", "-s", "y"});
    EXPECT_EQ(added.status, 36);
    EXPECT_EQ(added.output, "security: SecKeychainItemCreateFromContent (<default>): User "
                            "interaction is not allowed.\n");
}

TEST_F(ToolOutput, SecurityPrintsBlobsThatAreNotPlainTextAsHex) {
    run({"/usr/bin/security", "add-generic-password", "-a", "ai.nuvra.caf\xC3\xA9", "-s", "x"});
    const auto dump = run({"/usr/bin/security", "dump-keychain"});
    EXPECT_NE(dump.output.find("\"acct\"<blob>=0x61692E6E757672612E636166C3A9  "
                               "\"ai.nuvra.caf\\303\\251\"\n"),
              std::string::npos)
        << dump.output;
}

TEST_F(ToolOutput, LaunchctlAndPlistBuddy) {
    const std::string agents = SimMac::home() + "/Library/LaunchAgents/";
    const auto label = run(
        {"/usr/libexec/PlistBuddy", "-c", "Print :Label", agents + "ai.nuvra.tis-helper.plist"});
    EXPECT_EQ(label.status, 0);
    EXPECT_EQ(label.output, "ai.nuvra.tis-helper\n");
    const auto noLabel =
        run({"/usr/libexec/PlistBuddy", "-c", "Print :Label", agents + "com.nuvra.agent.plist"});
    EXPECT_EQ(noLabel.status, 1);
    EXPECT_EQ(noLabel.output, "Print: Entry, \":Label\", Does Not Exist\n");

    // Root's own GUI domain holds nothing; the user's holds the scene's agents.
    const auto asRoot =
        run({"/bin/launchctl", "bootout", "gui/0", agents + "ai.nuvra.tis-helper.plist"});
    EXPECT_EQ(asRoot.status, 3);
    EXPECT_EQ(asRoot.output, "Boot-out failed: 3: No such process\n");
    EXPECT_EQ(
        run({"/bin/launchctl", "bootout", "gui/501", agents + "ai.nuvra.agent.autostart.plist.bak"})
            .status,
        0);
    EXPECT_EQ(
        run({"/bin/launchctl", "bootout", "gui/501", agents + "com.nuvra.agent.plist"}).status, 5);
    const auto remove = run({"/bin/launchctl", "remove", "ai.nuvra.tis-helper"});
    EXPECT_EQ(remove.status, 113);
    EXPECT_EQ(remove.output, "Could not find specified service\n");
    std::set<std::string> loaded;
    for (const auto& agent : SimMac::state("agents")) {
        loaded.insert(agent.at(1));
    }
    EXPECT_EQ(loaded,
              (std::set<std::string>{"ai.nuvra.tis-helper", "ai.nuvra.inputmethod.NuvraAgent",
                                     "com.example.helper"}));
}

// The calls a script on a real Mac plants and checks with: each refuses as macOS does, so a script
// that passes here does not meet its first refusal on a Mac.
TEST_F(ToolOutput, PlantingAndCheckingCallsAnswerAsOnAMac) {
    const std::vector<std::string> add = {"/usr/bin/security",
                                          "add-generic-password",
                                          "-a",
                                          "e2e",
                                          "-s",
                                          "com.example.e2e",
                                          "-w",
                                          "secret"};
    EXPECT_EQ(run(add).status, 0);
    const auto twice = run(add);
    EXPECT_EQ(twice.status, 45);
    EXPECT_EQ(twice.output, "security: SecKeychainItemCreateFromContent (<default>): The specified "
                            "item already exists in the keychain.\n");
    const auto found =
        run({"/usr/bin/security", "find-generic-password", "-a", "e2e", "-s", "com.example.e2e"});
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(count(found.output, "keychain: "), 1u) << found.output; // one item, not two
    EXPECT_EQ(run({"/usr/bin/security", "find-generic-password", "-s", "com.example.none"}).status,
              44);

    EXPECT_EQ(run({"/bin/launchctl", "print", "gui/501/com.example.helper"}).status, 0);
    const auto unloaded = run({"/bin/launchctl", "print", "gui/501/com.example.none"});
    EXPECT_EQ(unloaded.status, 113);
    EXPECT_EQ(unloaded.output,
              "Could not find service \"com.example.none\" in domain for user gui: 501\n");

    // A text value read on its own comes without the quotes a container shows.
    run({"/usr/bin/defaults", "write", "com.example.e2e", "plantedBy", "-string", "mac-e2e"});
    EXPECT_EQ(run({"/usr/bin/defaults", "read", "com.example.e2e", "plantedBy"}).output,
              "mac-e2e\n");
    EXPECT_NE(run({"/usr/bin/defaults", "read", "com.example.e2e"}).output.find("\"mac-e2e\""),
              std::string::npos);
}

TEST_F(ToolOutput, TccutilLsregisterGetconf) {
    const auto clients = [] {
        std::multiset<std::string> result;
        for (const auto& record : SimMac::state("tcc")) {
            result.insert(record.at(1));
        }
        return result;
    };
    // A registered bundle's identifier resolves; its record goes.
    const auto reset =
        run({"/usr/bin/tccutil", "reset", "Accessibility", "ai.nuvra.inputmethod.NuvraInput"});
    EXPECT_EQ(reset.status, 0);
    EXPECT_EQ(reset.output, "Successfully reset Accessibility approval status for "
                            "ai.nuvra.inputmethod.NuvraInput\n");
    // An identifier no bundle carries any more is refused and its records stay: macOS resolves
    // the identifier before it looks at a single record.
    const auto before = clients();
    ASSERT_EQ(before.count("com.nuvra.agent"), 1u);
    const auto unknown = run({"/usr/bin/tccutil", "reset", "Accessibility", "com.nuvra.agent"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.output, "tccutil: No such bundle identifier \"com.nuvra.agent\": The "
                              "operation couldn\u2019t be completed. (OSStatus error -10814.)\n");
    EXPECT_EQ(clients(), before);
    // Only the caller's own registrations resolve: a bundle on disk that is not registered, or
    // registered by another user, is unknown.
    const std::string kanaPad = "/Library/Input Methods/KanaPad.app";
    ASSERT_EQ(run({lsregister, "-u", kanaPad}).status, 0);
    const std::vector<std::string> resetKanaPad{"/usr/bin/tccutil", "reset", "Microphone",
                                                "com.example.inputmethod.KanaPad"};
    EXPECT_EQ(run(resetKanaPad).status, 1);
    ASSERT_EQ(run({"/usr/bin/sudo", "-H", "-u", "riley", lsregister, "-f", kanaPad}).status, 0);
    EXPECT_EQ(run(resetKanaPad).status, 1);
    ASSERT_EQ(run({lsregister, "-f", kanaPad}).status, 0);
    EXPECT_EQ(run(resetKanaPad).status, 0);

    const auto dump = run({lsregister, "-dump"});
    EXPECT_EQ(dump.status, 0);
    EXPECT_GT(lines(dump.output).size(), 5000u);
    const std::string stray =
        "\npath:                       /Users/tester/Downloads/nuvraInput.app (0x";
    EXPECT_NE(dump.output.find(stray), std::string::npos);
    EXPECT_NE(dump.output.find("\nclaim id:"), std::string::npos);
    EXPECT_NE(dump.output.find("\ntype id:"), std::string::npos);
    EXPECT_EQ(run({lsregister, "-u", "/Users/tester/Downloads/nuvraInput.app"}).status, 0);
    EXPECT_EQ(run({lsregister, "-dump"}).output.find(stray), std::string::npos);

    EXPECT_EQ(run({"/usr/bin/getconf", "DARWIN_USER_CACHE_DIR"}).output,
              "/var/folders/mv/x8b0x3qn2g53p4j0kfh9lfm40000gn/C/\n");
    const auto page = run({"/usr/bin/getconf", "PAGESIZE"});
    EXPECT_EQ(page.status, 0);
    EXPECT_GT(std::stol(page.output), 0);
}

// pkgutil forgets a receipt only as root, and, like the real tool, says it forgot one whose files
// it could not remove: only the next listing tells.
TEST_F(ToolOutput, PkgutilListsAndForgetsReceiptsAndClaimsWhatItCouldNotDo) {
    const std::string listed = "ai.nuvra.inputmethod.pkg\nai.nuvra.macos.pkg\nai.nuvranotes.pkg\n"
                               "ai_nuvra_legacy.pkg\ncom.ai.nuvra.bridge.pkg\n"
                               "com.example.nuvranotes.pkg\nus.zoom.pkg.videomeeting\n";
    const auto pkgs = run({"/usr/sbin/pkgutil", "--pkgs"});
    EXPECT_EQ(pkgs.status, 0);
    EXPECT_EQ(pkgs.output, listed);

    const std::vector<std::string> forgetMacos{"/usr/sbin/pkgutil", "--forget",
                                               "ai.nuvra.macos.pkg"};
    const auto asUser =
        run({"/usr/bin/sudo", "-u", "tester", forgetMacos[0], forgetMacos[1], forgetMacos[2]});
    EXPECT_EQ(asUser.status, 0);
    EXPECT_NE(asUser.output.find("Code=513 \"\u201cai.nuvra.macos.pkg.bom\u201d couldn\u2019t be "
                                 "removed because you don\u2019t have permission to access it.\""),
              std::string::npos)
        << asUser.output;
    EXPECT_TRUE(asUser.output.ends_with("}}.\nForgot package 'ai.nuvra.macos.pkg' on '/'.\n"));
    EXPECT_EQ(run({"/usr/sbin/pkgutil", "--pkgs"}).output, listed);

    const auto forgot = run(forgetMacos);
    EXPECT_EQ(forgot.status, 0);
    EXPECT_EQ(forgot.output, "Forgot package 'ai.nuvra.macos.pkg' on '/'.\n");
    EXPECT_FALSE(fs::exists("/var/db/receipts/ai.nuvra.macos.pkg.plist"));
    EXPECT_FALSE(fs::exists("/var/db/receipts/ai.nuvra.macos.pkg.bom"));
    const auto again = run(forgetMacos);
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.output, "No receipt for 'ai.nuvra.macos.pkg' found at '/'.\n");
}

// A folder made to refuse removal, as macOS refuses an app's changes to another app's bundle or
// data, refuses root and the user alike with "Operation not permitted" until it is allowed again.
TEST_F(ToolOutput, ARefusingFolderHoldsForRootAndTheUser) {
    const std::string folder = SimMac::home() + "/Library/Application Support/nuvra";
    ASSERT_TRUE(fs::is_directory(folder));
    ASSERT_TRUE(SimMac::refuseRemoval(folder));
    for (const std::vector<std::string>& remover :
         {std::vector<std::string>{"/bin/rm", "-rf", folder},
          std::vector<std::string>{"/usr/bin/sudo", "-u", "tester", "/bin/rm", "-rf", folder}}) {
        const auto refused = run(remover);
        EXPECT_NE(refused.status, 0);
        EXPECT_NE(refused.output.find("Operation not permitted"), std::string::npos)
            << refused.output;
    }
    EXPECT_TRUE(fs::is_directory(folder));
    ASSERT_EQ(run({SimMac::repoDir() + "/sim/refuse-removal", "--allow", folder}).status, 0);
    EXPECT_EQ(run({"/bin/rm", "-rf", folder}).status, 0);
    EXPECT_FALSE(fs::exists(folder));
}

// The second account's tools work for it: they find its folders, save the shared state, and are
// started only in its own session.
TEST_F(ToolOutput, EveryAccountsToolsActForThatAccount) {
    const std::vector<std::string> asRiley{"/usr/bin/sudo", "-H", "-u", "riley"};
    const auto riley = [&](std::vector<std::string> args) {
        args.insert(args.begin(), asRiley.begin(), asRiley.end());
        return run(args);
    };
    EXPECT_EQ(riley({"/usr/bin/getconf", "DARWIN_USER_TEMP_DIR"}).output,
              "/var/folders/zq/k7m2r9p41d8b3c6f5h0j2n4q0000gp/T/\n");
    EXPECT_EQ(riley({"/usr/bin/printenv", "HOME"}).output, "/Users/riley\n");
    // Without -H, sudo keeps the caller's HOME, as macOS's sudoers does.
    EXPECT_EQ(run({"/usr/bin/sudo", "-u", "riley", "/usr/bin/printenv", "HOME"}).output,
              std::string(std::getenv("HOME")) + "\n");
    // An account the simulated Mac does not list still gets a folder of its own.
    std::ofstream("/etc/passwd", std::ios::app) << "casey:x:503:20::/Users/casey:/bin/bash\n";
    const auto casey = run({"/usr/bin/sudo", "-u", "casey", "/usr/bin/getconf", "DARWIN_USER_DIR"});
    EXPECT_EQ(casey.status, 0);
    EXPECT_EQ(casey.output.find("/var/folders/mv/"), std::string::npos) << casey.output;

    EXPECT_EQ(
        riley({"/usr/bin/security", "add-generic-password", "-a", "r.acct", "-s", "r.svc"}).status,
        0);
    EXPECT_EQ(count(riley({"/usr/bin/security", "dump-keychain"}).output, "\"r.acct\""), 1u);
    // A tool that cannot save its state reports that, never its success text.
    ASSERT_EQ(chmod("/var/db/sim", 0555), 0);
    const auto unsaved = riley({"/usr/bin/security", "delete-generic-password", "-a", "r.acct"});
    ASSERT_EQ(chmod("/var/db/sim", 0777), 0);
    EXPECT_NE(unsaved.status, 0);
    EXPECT_EQ(unsaved.output.find("password has been deleted."), std::string::npos);
    EXPECT_EQ(count(riley({"/usr/bin/security", "dump-keychain"}).output, "\"r.acct\""), 1u);

    // launchctl asuser starts sudo -u NAME only in NAME's own session.
    const auto wrongSession = run(
        {"/bin/launchctl", "asuser", "502", "/usr/bin/sudo", "-H", "-u", "tester", "/bin/true"});
    EXPECT_EQ(wrongSession.status, 1);
    EXPECT_EQ(wrongSession.output, "launchctl asuser: the session of uid 502 is not that of user "
                                   "tester\n");
    EXPECT_EQ(
        run({"/bin/launchctl", "asuser", "501", "/usr/bin/sudo", "-H", "-u", "tester", "/bin/true"})
            .status,
        0);
}

TEST_F(ToolOutput, PkexecFollowsTheDialogMode) {
    const std::vector<std::string> cmd = {"/usr/bin/pkexec", "/bin/sh", "-c", "id -u; exit 4"};
    const auto approved = run(cmd);
    EXPECT_EQ(approved.status, 4);
    EXPECT_EQ(approved.output, "0\n");
    SimMac::setPkexec(SimMac::Pkexec::dismiss);
    const auto dismissed = run(cmd);
    EXPECT_EQ(dismissed.status, 126);
    EXPECT_EQ(dismissed.output.find("0\n"), std::string::npos);
    SimMac::setPkexec(SimMac::Pkexec::fail);
    const auto failed = run(cmd);
    EXPECT_NE(failed.status, 0);
    EXPECT_NE(failed.status, 126);
    EXPECT_NE(failed.output.find("Not authorized"), std::string::npos);
}

TEST_F(ToolOutput, CallLogKeepsEveryArgumentExactly) {
    const std::string odd =
        "it's \"quoted\" \\ with spaces, caf\xC3\xA9 \xF0\x9F\x98\x80\nnew line";
    run({"/usr/bin/defaults", "write", "com.example.odd", odd, "-string", ""});
    run({"/usr/bin/pkill", "-x", odd});
    run({"/usr/bin/killall", "-9", "TextInputMenuAgent"});
    run({"/usr/bin/getconf", "DARWIN_USER_CACHE_DIR"});
    run({"/usr/bin/pkexec", "/bin/true"});
    EXPECT_EQ(SimMac::calls(), (std::vector<Call>{{"/usr/bin/defaults", "write", "com.example.odd",
                                                   odd, "-string", ""},
                                                  {"/usr/bin/pkill", "-x", odd},
                                                  {"/usr/bin/killall", "-9", "TextInputMenuAgent"},
                                                  {"/usr/bin/getconf", "DARWIN_USER_CACHE_DIR"},
                                                  {"/usr/bin/pkexec", "/bin/true"}}));
    EXPECT_EQ(SimMac::callsTo("/usr/bin/pkill").size(), 1u);
    SimMac::clearCalls();
    EXPECT_TRUE(SimMac::calls().empty());
}

} // namespace
