// nuvra-uninstall in a simulated Mac with two users, "tester" (logged in at the console) and
// "riley", both carrying the product's footprint.
#include "Bundle.h"
#include "SimMac.h"
#include "Waiting.h"
#include "foundation/TargetUser.h"
#include "service/UninstallService.h"

#include <QTest>
#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Json = nlohmann::ordered_json;

namespace {

using Waiting::untilItHappens;

// Where the simulated Mac shows the command the build made.
std::string cli() {
    return SimMac::insidePath(NUVRA_CLI_PATH);
}
const std::string rileyHome = "/Users/riley";
const std::string rileyFolders = "/var/folders/zq/k7m2r9p41d8b3c6f5h0j2n4q0000gp";

// As a management tool starts it: root, with root's own home and no user's temporary folder.
SimMac::RunResult asRoot(const std::vector<std::string>& args, const std::string& input = {}) {
    std::vector<std::string> argv{"/usr/bin/env", "-u",           "TMPDIR", "HOME=/var/root",
                                  "USER=root",    "LOGNAME=root", cli()};
    argv.insert(argv.end(), args.begin(), args.end());
    return SimMac::run(argv, input);
}

SimMac::RunResult asTester(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/sudo", "-u", "tester", cli()};
    argv.insert(argv.end(), args.begin(), args.end());
    return SimMac::run(argv);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

// A scan's two tool look-ups run side by side, so only their set is fixed: each such pair is put
// in one order before sequences are compared.
void sortScanLookups(std::vector<SimMac::Call>& calls) {
    const auto isLookup = [](const SimMac::Call& call) {
        return call == SimMac::Call{"/usr/bin/security", "dump-keychain"} ||
               call == SimMac::Call{"/usr/bin/defaults", "export", "com.apple.HIToolbox", "-"};
    };
    for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
        if (isLookup(calls[i]) && isLookup(calls[i + 1])) {
            std::sort(calls.begin() + static_cast<std::ptrdiff_t>(i),
                      calls.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            ++i;
        }
    }
}

void plantBothUsers() {
    ASSERT_TRUE(SimMac::plantScene("full"));
    ASSERT_EQ(SimMac::run({SimMac::repoDir() + "/sim/scene", "--for", "riley", "footprint"}).status,
              0);
    SimMac::clearCalls();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Everything of riley's that a run for another user could touch: files, keyboard settings,
// Keychain, launch agents, privacy records, LaunchServices registrations, running processes.
std::string rileysTraces() {
    std::string traces;
    for (const std::string& top : {rileyHome, rileyFolders}) {
        std::vector<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(top)) {
            paths.push_back(entry.path().string());
        }
        std::sort(paths.begin(), paths.end());
        for (const std::string& path : paths) {
            traces += path + "\n";
        }
    }
    traces += SimMac::run({"/usr/bin/sudo", "-H", "-u", "riley", "/usr/bin/defaults", "export",
                           "com.apple.HIToolbox", "-"})
                  .output;
    traces +=
        SimMac::run({"/usr/bin/sudo", "-H", "-u", "riley", "/usr/bin/security", "dump-keychain"})
            .output;
    for (const char* state : {"launchd.json", "tcc.json", "lsregister.json"}) {
        for (const Json& record : Json::parse(readFile(std::string("/var/db/sim/") + state))) {
            if (record.value("home", "") == rileyHome || record.value("domain", "") == "gui/502") {
                traces += record.dump() + "\n";
            }
        }
    }
    traces += SimMac::run({"/bin/ps", "-o", "args=", "-u", "riley"}).output;
    return traces;
}

// The summary text the JSON items stand for: grouped under their categories, in JSON order.
std::string summaryOf(const Json& inventory) {
    std::string text;
    std::string category;
    for (const Json& item : inventory["items"]) {
        if (item["category"] != category) {
            category = item["category"];
            text += "[" + category + "]\n";
        }
        text += "  - " + item["title"].get<std::string>() + ": " +
                item["detail"].get<std::string>() + (item["requiresAdmin"] ? " (admin)" : "") +
                "\n";
    }
    return text.empty() ? "Nothing found.\n" : text;
}

// Every entry under `top`, links not followed: path, type, mode, owner and content (a link's
// target), one line each.
std::string manifest(const std::string& top) {
    std::vector<std::string> entries;
    const auto describe = [&](const fs::path& path) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0) {
            return;
        }
        std::string line = path.string() + " " + std::to_string(info.st_mode) + " " +
                           std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid);
        if (S_ISLNK(info.st_mode)) {
            line += " -> " + fs::read_symlink(path).string();
        } else if (S_ISREG(info.st_mode)) {
            line += " " + std::to_string(std::hash<std::string>{}(readFile(path)));
        }
        entries.push_back(line);
    };
    describe(top);
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(top, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        describe(it->path());
    }
    std::sort(entries.begin(), entries.end());
    std::string text;
    for (const std::string& entry : entries) {
        text += entry + "\n";
    }
    return text;
}

// What a run for riley must leave alone: the other account's files, the system's settings and
// root's home (given a few files of its own first).
std::string outsideRiley() {
    return manifest("/Users/tester") + manifest("/var/folders/mv") + manifest("/etc") +
           manifest("/var/root") +
           SimMac::run({"/usr/bin/sudo", "-H", "-u", "tester", "/usr/bin/defaults", "export",
                        "com.apple.HIToolbox", "-"})
               .output;
}

// The lines of `before` and `after` that are not in both, marked "-" and "+": empty when equal.
std::string changes(const std::string& before, const std::string& after) {
    const std::vector<std::string> was = lines(before);
    const std::vector<std::string> is = lines(after);
    const std::set<std::string> wasSet(was.begin(), was.end());
    const std::set<std::string> isSet(is.begin(), is.end());
    std::string text;
    for (const std::string& line : was) {
        text += isSet.count(line) ? "" : "- " + line + "\n";
    }
    for (const std::string& line : is) {
        text += wasSet.count(line) ? "" : "+ " + line + "\n";
    }
    return text;
}

void giveRootAHome() {
    fs::create_directories("/var/root/Library/Preferences");
    std::ofstream("/var/root/Library/Preferences/com.apple.HIToolbox.plist") << "root's own\n";
    fs::create_directories("/var/root/Library/Application Support/nuvra");
    std::ofstream("/var/root/Library/Application Support/nuvra/keep") << "root's\n";
}

// The command with short deadlines (ShortDeadlinesMain.cpp), in a bundle of its own; returns the
// command's path there.
std::string shortDeadlinesCli() {
    const std::string bundle =
        SimMac::assembleAppBundle("/opt/short", SimMac::insidePath(NUVRA_SOURCECTL_PATH));
    const std::string command = bundle + "/Contents/MacOS/nuvra-uninstall";
    fs::copy_file(SimMac::insidePath(NUVRA_SHORT_DEADLINES_CLI_PATH), command,
                  fs::copy_options::overwrite_existing);
    return command;
}

// Runs `script` as riley with bash.
SimMac::RunResult asRiley(const std::string& script) {
    return SimMac::run({"/usr/bin/sudo", "-H", "-u", "riley", "/bin/bash", "-c", script});
}

// The run's JSON lines: the verification's residues, the result line's, and its exit status.
struct RunReport {
    std::vector<std::string> verified;
    Json result;
};
RunReport reportOf(const std::string& output) {
    RunReport report;
    for (const std::string& line : lines(output)) {
        const Json object = Json::parse(line);
        if (object.value("step", "") == "verify") {
            report.verified = object["residues"].get<std::vector<std::string>>();
        }
        if (object.contains("result")) {
            report.result = object;
        }
    }
    return report;
}

class AdministratorCommand : public ::testing::Test {
protected:
    void SetUp() override { NUVRA_REQUIRE_SIM(); }
};

} // namespace

TEST_F(AdministratorCommand, RootRunForOneUserRemovesTheirsAndTheSystemsAndKeepsTheOtherUsers) {
    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    const std::string rileyBefore = rileysTraces();

    const auto inventory = asRoot({"inventory", "--json"});
    EXPECT_EQ(inventory.status, 1);
    const Json document = Json::parse(inventory.output);
    EXPECT_EQ(document["schemaVersion"], 1);
    EXPECT_EQ(document["needsAdmin"], true);
    for (const Json& item : document["items"]) {
        // Only the permissions note is there to read, not to remove.
        EXPECT_EQ(item["informational"], item["id"] == "tcc") << item.dump();
    }
    EXPECT_EQ(summaryOf(document), asRoot({"inventory"}).output);
    const Json receipts = Json::parse(R"({"id":"receipts","category":"Apps",
        "title":"Installer receipts","detail":"2 packages","requiresAdmin":true,
        "informational":false})");
    EXPECT_NE(std::find(document["items"].begin(), document["items"].end(), receipts),
              document["items"].end())
        << inventory.output;

    const auto run = asRoot({"run", "--yes", "--json", "--user", "tester"});
    EXPECT_EQ(run.status, 0) << run.output;
    std::vector<std::string> steps;
    for (const std::string& line : lines(run.output)) {
        const Json object = Json::parse(line); // throws on a line that is not JSON
        if (object.contains("step")) {
            steps.push_back(object["step"]);
            EXPECT_EQ(object["state"], "done") << line;
        }
    }
    EXPECT_EQ(steps,
              (std::vector<std::string>{"stopProcesses", "inputSource", "removeApps", "removeData",
                                        "resetPermissions", "refreshSystem", "verify"}));
    EXPECT_EQ(Json::parse(lines(run.output).back()),
              Json::parse(R"({"result":"finished","residues":[],"exitStatus":0})"));

    const auto after = asRoot({"inventory"});
    EXPECT_EQ(after.status, 0);
    EXPECT_EQ(after.output, "Nothing found.\n");
    EXPECT_FALSE(fs::exists("/Applications/nuvra.app"));
    EXPECT_FALSE(fs::exists("/tmp/nuvra"));
    // The product's receipts are forgotten; another maker's and the look-alikes stay.
    EXPECT_EQ(SimMac::run({"/usr/sbin/pkgutil", "--pkgs"}).output,
              "ai.nuvranotes.pkg\nai_nuvra_legacy.pkg\ncom.ai.nuvra.bridge.pkg\n"
              "com.example.nuvranotes.pkg\nus.zoom.pkg.videomeeting\n");
    EXPECT_EQ(rileysTraces(), rileyBefore);

    // The session went to the system's logs; neither root's home nor the user's got one.
    const auto log = SimMac::sessionLogMessages("/Library/Logs/nuvraUninstaller/501/uninstall.log");
    EXPECT_NE(std::find(log.begin(), log.end(), "Uninstall finished (residues: 0)"), log.end());
    EXPECT_FALSE(fs::exists("/var/root"));
    // The user's folder holds only the lock of the session the user's process claimed.
    EXPECT_FALSE(fs::exists("/Users/tester/Library/Logs/nuvraUninstaller/uninstall.log"));
}

TEST_F(AdministratorCommand, RunsTheWindowsCommandsEachInTheUsersContext) {
    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    SimMac::setPkexec(SimMac::Pkexec::approve);
    Bundle::overrideMainBundlePathForTesting(
        SimMac::assembleAppBundle("/opt/app", SimMac::insidePath(NUVRA_SOURCECTL_PATH)));
    {
        UninstallService window(nullptr);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !std::holds_alternative<UninstallService::Scanning>(window.phase()); },
            untilItHappens));
        window.startUninstall();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isRunning(); }, untilItHappens));
    }
    Bundle::overrideMainBundlePathForTesting(std::nullopt);
    std::vector<SimMac::Call> windowCalls;
    std::vector<SimMac::Call> windowReceiptCalls;
    for (SimMac::Call call : SimMac::calls()) {
        if (call[0] == "/usr/bin/osascript" || call[0] == "/usr/bin/pkexec") {
            continue; // the administrator dialog; a root run needs none
        }
        if (call[0] == "/usr/sbin/pkgutil") {
            windowReceiptCalls.push_back(call); // system-wide: root's own in a root run
            continue;
        }
        // This test runs as root; the window runs as the user, whose launchd domain this is.
        std::replace(call.begin(), call.end(), std::string("gui/0"), std::string("gui/501"));
        windowCalls.push_back(call);
    }

    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    ASSERT_EQ(asRoot({"run", "--yes", "--user", "tester"}).status, 0);
    // Root starts two things, each in the user's session and as the user: the look-up of the
    // user's temporary folder, then the process that does all of the user's share.
    const std::vector<std::string> wrapper{
        "/bin/launchctl", "asuser", "501", "/usr/bin/sudo", "-H", "-u", "tester"};
    std::vector<SimMac::Call> started;
    std::vector<SimMac::Call> asUser;
    std::vector<SimMac::Call> receiptCalls;
    for (const SimMac::CallByUser& entry : SimMac::callsWithUids()) {
        const SimMac::Call& call = entry.call;
        if (call[0] == "/bin/launchctl" && call.size() > wrapper.size() &&
            std::equal(wrapper.begin(), wrapper.end(), call.begin())) {
            EXPECT_EQ(entry.uid, 0);
            started.emplace_back(call.begin() + 7, call.end());
        } else if (call[0] == "/usr/bin/sudo") {
            EXPECT_EQ(entry.uid, 0);
        } else if (call[0] == "/usr/sbin/pkgutil") {
            // The receipts are root's to list and forget, never on the user's word.
            EXPECT_EQ(entry.uid, 0);
            receiptCalls.push_back(call);
        } else {
            // Every tool call of the run was made by a process of the user's.
            EXPECT_EQ(entry.uid, 501) << call[0] << " " << (call.size() > 1 ? call[1] : "");
            asUser.push_back(call);
        }
    }
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0], (SimMac::Call{"/usr/bin/getconf", "DARWIN_USER_TEMP_DIR"}));
    EXPECT_EQ(started[1], (SimMac::Call{cli(), "--user-session", "/Users/tester",
                                        SimMac::temporaryDirectory()}));
    ASSERT_FALSE(asUser.empty());
    EXPECT_EQ(asUser.front(), started[0]);
    asUser.erase(asUser.begin());
    for (std::vector<SimMac::Call>* calls : {&windowCalls, &asUser}) {
        sortScanLookups(*calls);
    }
    // Then the window's own commands, exactly.
    EXPECT_EQ(asUser, windowCalls);
    EXPECT_EQ(receiptCalls, windowReceiptCalls);
}

TEST_F(AdministratorCommand, RefusesBadInputAndAnUnconfirmedRunWithoutChangingAnything) {
    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    const std::string before = asRoot({"inventory"}).output;
    const std::string rileyBefore = rileysTraces();
    SimMac::clearCalls();

    const auto unconfirmed = asRoot({"run"}, "y\n"); // standard input is a pipe, no terminal
    EXPECT_EQ(unconfirmed.status, 64);
    EXPECT_THAT(unconfirmed.output, HasSubstr("pass --yes"));
    EXPECT_EQ(lines(unconfirmed.output).size(), 1u);
    EXPECT_THAT(SimMac::calls(), ::testing::IsEmpty());

    // Accounts that are not a person's: a home that is not absolute, a system account, a home
    // of "/" or outside /Users, a home of someone else's or inside it (though its own folder), a
    // temporary folder that is a link (though to a folder of the account's).
    std::ofstream("/etc/passwd", std::ios::app)
        << "drifter:x:503:20::Users/drifter:/bin/bash\n"
        << "rooted:x:504:20::/:/bin/bash\n"
        << "elsewhere:x:505:20::/opt/elsewhere:/bin/bash\n"
        << "lodger:x:506:20::/Users/riley:/bin/bash\n"
        << "nester:x:507:20::/Users/riley/nested:/bin/bash\n";
    EXPECT_FALSE(TargetUser::lookUp("drifter"));
    fs::create_directories("/opt/elsewhere");
    ASSERT_EQ(chown("/opt/elsewhere", 505, 20), 0);
    // Everything else of nester's is as a person's account has it: only its home is wrong.
    const std::string nestersTemporary =
        SimMac::run({"/usr/bin/sudo", "-u", "nester", "/usr/bin/getconf", "DARWIN_USER_TEMP_DIR"})
            .output;
    ASSERT_THAT(nestersTemporary, ::testing::StartsWith("/var/folders/"));
    for (const std::string& folder :
         {rileyHome + "/nested", nestersTemporary.substr(0, nestersTemporary.find('\n'))}) {
        fs::create_directories(folder);
        ASSERT_EQ(chown(folder.c_str(), 507, 20), 0);
    }
    const std::string longName(300, 'x');
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals{
        {{"run", "--yes", "--bogus"}, "--bogus"},
        {{"run", "--yes", "--user", "nobody-here"}, "unknown user 'nobody-here'"},
        {{"run", "--yes", "--user", "evil\n\x1b[2Jname"}, "'evil\\n\\x1B[2Jname'"},
        {{"run", "--yes", "--user", longName}, "'" + longName.substr(0, 64) + "…'"},
        {{"inventory", "run"}, "run"},
        {{"run", "--yes", "--user", "root"}, "'root' is root"},
        {{"run", "--yes", "--user", "daemon"}, "system account"},
        {{"inventory", "--user", "drifter"}, "unknown user 'drifter'"},
        {{"inventory", "--user", "rooted"}, "no home folder of its own"},
        {{"inventory", "--user", "elsewhere"}, "no home folder of its own"},
        {{"inventory", "--user", "lodger"}, "no home folder of its own"},
        {{"inventory", "--user", "nester"}, "no home folder of its own"}};
    for (const auto& [args, message] : refusals) {
        const auto refused = asRoot(args);
        EXPECT_EQ(refused.status, 64) << args.back();
        EXPECT_EQ(lines(refused.output).size(), 1u) << refused.output;
        EXPECT_THAT(refused.output, HasSubstr(message));
    }
    fs::remove(rileyHome + "/nested");
    const std::string rileyTemporary = rileyFolders + "/T";
    fs::rename(rileyTemporary, rileyTemporary + ".away");
    fs::create_directory_symlink(rileyTemporary + ".away", rileyTemporary);
    const auto linkedTemporary = asRoot({"run", "--yes", "--user", "riley"});
    EXPECT_EQ(linkedTemporary.status, 64);
    EXPECT_THAT(linkedTemporary.output, HasSubstr("is not the account's own"));
    fs::remove(rileyTemporary);
    fs::rename(rileyTemporary + ".away", rileyTemporary);
    const auto notRoot = asTester({"run", "--yes", "--user", "riley"});
    EXPECT_EQ(notRoot.status, 64);
    EXPECT_THAT(notRoot.output, HasSubstr("--user needs root"));

    // Nobody at the console: root must be told whose traces to remove.
    ASSERT_EQ(SimMac::run({"/bin/umount", "/dev/console"}).status, 0);
    const auto nobody = asRoot({"run", "--yes"});
    EXPECT_EQ(nobody.status, 64);
    EXPECT_THAT(nobody.output, HasSubstr("pass --user NAME"));

    // On a terminal, Enter alone is no answer: nothing is removed and the traces remain.
    const auto enterAlone =
        SimMac::run({"/usr/bin/script", "-qec", cli() + " run --user riley", "/dev/null"}, "\n");
    EXPECT_EQ(enterAlone.status, 1) << enterAlone.output;
    EXPECT_THAT(enterAlone.output, HasSubstr("Remove everything listed above? [y/N]"));
    EXPECT_THAT(enterAlone.output, HasSubstr("Nothing was removed."));
    // Its one mark is the lock of the session riley's process claimed before asking.
    const std::string claimFolder = rileyHome + "/Library/Logs/nuvraUninstaller";
    EXPECT_EQ(fs::directory_iterator(claimFolder)->path().filename(), ".instance.lock");
    fs::remove_all(claimFolder);

    EXPECT_EQ(asRoot({"inventory", "--user", "tester"}).output, before);
    EXPECT_EQ(rileysTraces(), rileyBefore);
}

// An ordinary user's inventory and run: the inventory is the application's; a run whose
// administrator dialog is dismissed stops at the application removal, in text and JSON alike.
TEST_F(AdministratorCommand, AsAnOrdinaryUserInventoryIsTheAppsAndAFailedStepEndsWithThree) {
    ASSERT_TRUE(SimMac::plantScene("full", false));
    SimMac::setPkexec(SimMac::Pkexec::dismiss);
    // The inventory is the application's, byte for byte.
    const std::string application = fs::path(cli()).parent_path() / "nuvraUninstaller";
    EXPECT_EQ(asTester({"inventory"}).output,
              SimMac::run({"/usr/bin/sudo", "-u", "tester", application, "--inventory"}).output);

    const auto text = asTester({"run", "--yes"});
    EXPECT_EQ(text.status, 3) << text.output;
    const auto json = asTester({"run", "--yes", "--json"});
    EXPECT_EQ(json.status, 3) << json.output;

    // Text: the run's own log lines. JSON: one object per step that ran, then the result.
    std::vector<std::string> textLines = lines(text.output);
    ASSERT_FALSE(textLines.empty());
    EXPECT_EQ(textLines.front(), "Uninstall started");
    EXPECT_EQ(textLines.back(),
              "Uninstall failed at Remove nuvra apps: Administrator access was not granted.");
    std::vector<Json> objects;
    for (const std::string& line : lines(json.output)) {
        objects.push_back(Json::parse(line));
    }
    ASSERT_EQ(objects.size(), 4u);
    const std::vector<std::pair<std::string, std::string>> areas{
        {"stopProcesses", "  Stop:"}, {"inputSource", "  Input method:"}, {"removeApps", ""}};
    for (std::size_t i = 0; i < areas.size(); ++i) {
        EXPECT_EQ(objects[i]["step"], areas[i].first);
        if (!areas[i].second.empty()) {
            EXPECT_EQ(objects[i]["state"], "done");
            EXPECT_TRUE(std::any_of(textLines.begin(), textLines.end(), [&](const std::string& l) {
                return l.starts_with(areas[i].second);
            })) << areas[i].second;
        }
    }
    EXPECT_EQ(objects[2]["state"], "failed");
    EXPECT_EQ(objects[2]["message"], "Administrator access was not granted.");
    EXPECT_EQ(objects[3]["result"], "failed");
    EXPECT_EQ(objects[3]["exitStatus"], 3);
    // Nothing of the user's was removed after the failure, as in the window.
    EXPECT_TRUE(fs::exists("/Users/tester/Applications/nuvra.app"));
}

// The second account puts links in place of every folder of its own that a run works in: to the
// other account's folders, to /etc and to root's home. A run for it reaches nothing outside it,
// and says what it could not remove.
TEST_F(AdministratorCommand, LinksOfTheSecondAccountLeadARootRunNowhere) {
    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    giveRootAHome();
    std::ofstream("/etc/nuvraInstaller.keep") << "the system's\n";
    const std::string before = outsideRiley();
    std::string script = "set -e; cd /Users/riley; mkdir -p Library/Keychains\n";
    for (const char* folder :
         {"Applications", "Downloads", "Library/Application Support", "Library/Input Methods",
          "Library/Caches", "Library/Logs", "Library/LaunchAgents", "Library/Group Containers",
          "Library/Preferences", "Library/Saved Application State", "Library/HTTPStorages",
          "Library/WebKit", "Library/Keychains"}) {
        script += std::string("rm -rf '") + folder + "'; ln -s '/Users/tester/" + folder + "' '" +
                  folder + "'\n";
    }
    script += "cd " + rileyFolders + "; rm -rf C; ln -s /var/root C; mv T T.away; ln -s /etc T\n";
    ASSERT_EQ(asRiley(script).status, 0);

    // A temporary folder that is a link: refused before anything runs.
    const auto refused = asRoot({"run", "--yes", "--json", "--user", "riley"});
    EXPECT_EQ(refused.status, 64) << refused.output;
    EXPECT_EQ(changes(before, outsideRiley()), "");

    ASSERT_EQ(asRiley("cd " + rileyFolders +
                      " && rm T && mv T.away T && ln -s /etc "
                      "T/nuvraInstaller.keep")
                  .status,
              0);
    const auto run = asRoot({"run", "--yes", "--json", "--user", "riley"});
    EXPECT_EQ(changes(before, outsideRiley()), "");
    const RunReport report = reportOf(run.output);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(report.result["exitStatus"], 1);
    EXPECT_EQ(report.result["residues"], report.verified);
    // What the links show of the other account is left, and named.
    EXPECT_THAT(report.verified, ::testing::Contains(HasSubstr("nuvra.app (~/Applications)")));
    EXPECT_TRUE(fs::exists("/Users/tester/Applications/nuvra.app"));
    EXPECT_TRUE(fs::exists("/Users/tester/Library/Application Support/nuvra"));
}

// While the run stages its input-source tool in the second account's temporary folder, that
// account keeps swapping the copy for a link to a file only root may read.
TEST_F(AdministratorCommand, SwappingTheStagedToolForALinkGainsTheSecondAccountNothing) {
    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    giveRootAHome();
    std::ofstream("/etc/root-only.secret") << "secret\n";
    ASSERT_EQ(chmod("/etc/root-only.secret", 0600), 0);
    const std::string before = outsideRiley();
    const std::string staging = rileyFolders + "/T/nuvra-uninstaller-sourcectl";
    // Every time a fresh copy shows up, it is swapped for a link at once (a link made beside it,
    // renamed over it); the loop goes on until the run has ended. Prints its rounds and swaps.
    const std::string swapper = R"(
import os, stat, sys
d, rounds, swaps = sys.argv[1], 0, 0
while not os.path.exists("/tmp/run-ended"):
    rounds += 1
    try:
        if stat.S_ISREG(os.lstat(d + "/sourcectl").st_mode):
            os.symlink("/etc/root-only.secret", d + "/sourcectl.new")
            os.rename(d + "/sourcectl.new", d + "/sourcectl")
            swaps += 1
    except OSError:
        pass
print(rounds, swaps)
)";
    SimMac::RunResult swaps;
    std::thread attacker([&] {
        swaps = SimMac::run(
            {"/usr/bin/sudo", "-H", "-u", "riley", "/usr/bin/python3", "-c", swapper, staging});
    });
    const auto run = asRoot({"run", "--yes", "--json", "--user", "riley"});
    std::ofstream("/tmp/run-ended");
    attacker.join();
    int rounds = 0;
    int swapped = 0;
    std::istringstream(swaps.output) >> rounds >> swapped;
    EXPECT_GE(rounds, 200) << swaps.output;
    EXPECT_GE(swapped, 1) << swaps.output; // the copy was there to swap

    struct stat secret {};
    ASSERT_EQ(stat("/etc/root-only.secret", &secret), 0);
    EXPECT_EQ(secret.st_mode & 07777, 0600u);
    EXPECT_EQ(secret.st_uid, 0u);
    EXPECT_EQ(changes(before, outsideRiley()), "");
    const RunReport report = reportOf(run.output);
    EXPECT_EQ(report.result["residues"], report.verified);
    EXPECT_EQ(run.status, report.verified.empty() ? 0 : 1) << run.output;
}

// Root's HOME names the other account (as after sudo without -H): the run still works only in
// the account it was asked for, the keyboard settings included.
TEST_F(AdministratorCommand, AHomeNamingAnotherAccountChangesOnlyTheAccountAskedFor) {
    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    giveRootAHome();
    const std::string before = outsideRiley();
    const auto run = SimMac::run({"/usr/bin/env", "HOME=/Users/tester", "USER=root", "LOGNAME=root",
                                  cli(), "run", "--yes", "--json", "--user", "riley"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(reportOf(run.output).result,
              Json::parse(R"({"result":"finished","residues":[],"exitStatus":0})"));
    EXPECT_EQ(changes(before, outsideRiley()), "");
    const auto rileysSettings =
        SimMac::run({"/usr/bin/sudo", "-H", "-u", "riley", "/usr/bin/defaults", "export",
                     "com.apple.HIToolbox", "-"});
    EXPECT_EQ(rileysSettings.output.find("nuvra"), std::string::npos) << rileysSettings.output;
    EXPECT_THAT(rileysSettings.output,
                HasSubstr("<key>AppleSelectedInputSources</key>\n\t<array>\n\t\t<dict>\n\t\t\t"
                          "<key>InputSourceKind</key>\n\t\t\t<string>Keyboard Layout</string>"));
}

// The user's process ends half-way (the user may end it at any time): the run must not pass for
// a clean one.
TEST_F(AdministratorCommand, AUserProcessThatEndsHalfWayLeavesAnUnfinishedRun) {
    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    // The first killall of a run comes from the user's process, in the input-source step.
    const SimMac::ReplacedTool killall("/usr/bin/killall", "#!/bin/sh\nkill -9 $PPID\n");
    const auto run = asRoot({"run", "--yes", "--json", "--user", "riley"});
    EXPECT_EQ(run.status, 1) << run.output;
    const RunReport report = reportOf(run.output);
    EXPECT_EQ(report.verified,
              (std::vector<std::string>{"The user's part of the run ended unexpectedly."}));
    EXPECT_EQ(report.result["residues"], report.verified);
    EXPECT_EQ(report.result["exitStatus"], 1);
}

// The preferences tool tears its import half-way. The input method's bundles are already gone
// (dragged to the Trash), so nothing else of the run touches the keyboard settings: they come out
// byte for byte as they went in, the run says so and, with the product's entries still in them,
// ends with 1. Settings that cannot even be read are never passed for clean either.
TEST_F(AdministratorCommand, KeyboardSettingsTheRunCannotChangeAreKeptAndTheRunEndsWithOne) {
    ASSERT_TRUE(SimMac::plantScene("full"));
    fs::remove_all("/Library/Input Methods/nuvraInput.app");
    fs::remove_all("/Users/tester/Library/Input Methods/nuvraInput.app");
    // Written once by the preferences tool, as the system's daemon writes such a file: the scene's
    // own file shares one entry object between two lists, which no rewrite of the values keeps.
    const std::string preferences = "/Users/tester/Library/Preferences/com.apple.HIToolbox.plist";
    ASSERT_EQ(SimMac::run({"/bin/sh", "-c",
                           "/usr/bin/defaults export com.apple.HIToolbox - | /usr/bin/defaults "
                           "import com.apple.HIToolbox -"})
                  .status,
              0);
    const std::string before = readFile(preferences);
    std::ofstream("/var/db/sim/defaults.fail") << "half-import\n";

    const auto torn = asRoot({"run", "--yes", "--json", "--user", "tester"});
    EXPECT_EQ(torn.status, 1) << torn.output;
    EXPECT_EQ(readFile(preferences), before);
    for (const std::string& line : lines(torn.output)) {
        const Json step = Json::parse(line);
        if (step.value("step", "") == "inputSource") {
            EXPECT_EQ(step["warnings"], Json::array({"Could not update keyboard settings; they "
                                                     "were kept as they were."}));
        }
    }
    EXPECT_EQ(reportOf(torn.output).verified,
              (std::vector<std::string>{"Keyboard settings entries (6 entries)"}));
    // The copy kept first is the account's own, made by the account's process.
    struct stat copy {};
    ASSERT_EQ(stat("/Users/tester/Library/Logs/nuvraUninstaller/"
                   "keyboard-settings-before-uninstall.plist",
                   &copy),
              0);
    EXPECT_EQ(copy.st_uid, 501u);
    EXPECT_THAT(SimMac::sessionLogMessages("/Library/Logs/nuvraUninstaller/501/uninstall.log"),
                ::testing::Contains("(account)   Input method: keyboard settings could not be "
                                    "updated, put back as they were — WARN"));

    std::ofstream(preferences) << "<?xml version=";
    const auto unreadable = asRoot({"run", "--yes", "--json", "--user", "tester"});
    EXPECT_EQ(unreadable.status, 1) << unreadable.output;
    EXPECT_EQ(reportOf(unreadable.output).verified,
              (std::vector<std::string>{"Keyboard settings entries (could not be checked)"}));
    EXPECT_EQ(readFile(preferences), "<?xml version=");
}

// /tmp/nuvra is shared by every account: root's is system-wide, an account's own is that
// account's to remove, and another account's is no business of a run.
TEST_F(AdministratorCommand, ATemporaryFolderOfOneAccountIsThatAccountsAlone) {
    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    fs::remove_all("/tmp/nuvra");
    ASSERT_EQ(asRiley("mkdir /tmp/nuvra && touch /tmp/nuvra/riley-keeps").status, 0);
    const Json inventory = Json::parse(asRoot({"inventory", "--json", "--user", "tester"}).output);
    for (const Json& item : inventory["items"]) {
        EXPECT_NE(item["id"], "tmp:/tmp/nuvra") << "riley's folder counted for tester";
    }
    EXPECT_EQ(asRoot({"run", "--yes", "--json", "--user", "tester"}).status, 0);
    EXPECT_TRUE(fs::exists("/tmp/nuvra/riley-keeps"));

    const Json rileys = Json::parse(asRoot({"inventory", "--json", "--user", "riley"}).output);
    EXPECT_EQ(rileys["needsAdmin"], false) << "riley's own folder needs no administrator";
    EXPECT_THAT(rileys.dump(), HasSubstr("tmp:/tmp/nuvra"));
    EXPECT_EQ(asRoot({"run", "--yes", "--json", "--user", "riley"}).status, 0);
    EXPECT_FALSE(fs::exists("/tmp/nuvra"));
}

// The Mac misbehaves: a Keychain dump that never answers in the scan, a LaunchServices dump that
// never answers in a step, an administrator dialog that answers with a flood. The run goes on,
// names the tool in a sentence, keeps its lines small; a second run afterwards works.
TEST_F(AdministratorCommand, AToolThatHangsOrFloodsEndsInASentenceAndTheRunGoesOn) {
    ASSERT_TRUE(SimMac::plantScene("full", false));
    const std::string command = shortDeadlinesCli();
    {
        // Only the first dump hangs: the preflight scan's.
        const SimMac::ReplacedTool security("/usr/bin/security", R"sh(#!/bin/bash
if [[ $1 == dump-keychain ]] && mkdir /tmp/security-hung 2>/dev/null; then exec sleep 100000; fi
exec /usr/bin/security.real "$@"
)sh");
        const SimMac::ReplacedTool lsregister(
            "/System/Library/Frameworks/CoreServices.framework/Frameworks/LaunchServices.framework/"
            "Support/lsregister",
            "#!/bin/bash\n[[ $1 == -dump ]] && exec sleep 100000\nexec \"$0.real\" \"$@\"\n");
        // The dialog's answer: 100 MB of text and a failure.
        const SimMac::ReplacedTool osascript(
            "/usr/bin/osascript",
            "#!/bin/bash\nhead -c 100000000 /dev/zero | tr '\\0' x >&2\nexit 1\n");
        const auto run =
            SimMac::run({"/usr/bin/sudo", "-u", "tester", command, "run", "--yes", "--json"});
        EXPECT_EQ(run.status, 3) << run.output.substr(0, 2000);
        std::vector<Json> objects;
        for (const std::string& line : lines(run.output)) {
            EXPECT_LT(line.size(), 10000u);
            objects.push_back(Json::parse(line));
        }
        ASSERT_EQ(objects.size(), 4u) << run.output.substr(0, 2000);
        EXPECT_THAT(objects[1]["warnings"],
                    ::testing::Contains("lsregister did not answer within 20 s and was stopped."));
        EXPECT_EQ(objects[2]["state"], "failed");
        EXPECT_THAT(objects[2]["message"].get<std::string>(),
                    ::testing::StartsWith("Privileged removal failed: xxxx"));
        EXPECT_LT(fs::file_size("/Users/tester/Library/Logs/nuvraUninstaller/uninstall.log"),
                  64u * 1024);
        const std::string log =
            readFile("/Users/tester/Library/Logs/nuvraUninstaller/uninstall.log");
        EXPECT_THAT(log, HasSubstr("security did not answer within 20 s and was stopped."));
        EXPECT_THAT(log, HasSubstr("Sign-in data (Keychain): could not be checked"));
    }
    // Nothing hangs any more: the next run (an administrator's, without the dialog) finishes.
    const auto again = asRoot({"run", "--yes", "--json", "--user", "tester"});
    EXPECT_EQ(again.status, 0) << again.output;
}

// The user's privacy records of the installed bundles are reset while the system still knows the
// bundles; another app's stay, and so does what the other account has.
TEST_F(AdministratorCommand, RootRunResetsTheUsersPrivacyRecordsBeforeTheBundlesGo) {
    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    const std::string rileyBefore = rileysTraces();
    EXPECT_EQ(asRoot({"run", "--yes", "--json", "--user", "tester"}).status, 0);

    std::vector<std::string> clients;
    for (const Json& record : Json::parse(readFile("/var/db/sim/tcc.json"))) {
        if (record.value("home", "") != rileyHome) {
            clients.push_back(record["client"]);
        }
    }
    EXPECT_THAT(clients, ::testing::UnorderedElementsAre("us.zoom.xos", "com.nuvra.agent",
                                                         "com.example.inputmethod.KanaPad"));
    EXPECT_EQ(rileysTraces(), rileyBefore);
    EXPECT_THAT(SimMac::sessionLogMessages("/Library/Logs/nuvraUninstaller/501/uninstall.log"),
                ::testing::Contains("(account)   Permissions: TCC records reset — OK"));
}

// While the window (or another run) holds the account's session, a run must neither end that
// session in the log nor take its marker, nor remove anything alongside it. A lock that is not a
// plain file (a folder, a FIFO) cannot tell whether a session runs: refused as well.
TEST_F(AdministratorCommand, RunRefusesWhileAnotherSessionOfTheAccountIsOpen) {
    ASSERT_TRUE(SimMac::plantScene("full", false));
    const std::string logFolder = "/Users/tester/Library/Logs/nuvraUninstaller";
    fs::create_directories(logFolder);
    std::ofstream(logFolder + "/uninstall.log") << "[2026-01-01 10:00:00] Session started\n";
    std::ofstream(logFolder + "/.session_active") << "12345\n";
    const std::string lock = logFolder + "/.instance.lock";
    const int held = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(fchown(held, 501, 20), 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    // The account's own process claims for a root run: root never opens the account's folder.
    const auto refusedForRoot = asRoot({"run", "--yes", "--user", "tester"});
    const auto refused = asTester({"run", "--yes"});
    close(held);
    for (const auto& run : {refusedForRoot, refused}) {
        EXPECT_EQ(run.status, 70);
        EXPECT_THAT(run.output, HasSubstr("already running for this account"));
        EXPECT_EQ(lines(run.output).size(), 1u) << run.output;
    }
    fs::remove(lock);
    for (const bool folder : {true, false}) {
        ASSERT_EQ(folder ? mkdir(lock.c_str(), 0700) : mkfifo(lock.c_str(), 0600), 0);
        ASSERT_EQ(chown(lock.c_str(), 501, 20), 0);
        const auto notPlain = asTester({"run", "--yes"});
        EXPECT_EQ(notPlain.status, 70) << notPlain.output;
        EXPECT_THAT(notPlain.output, HasSubstr(".instance.lock is not a plain file"));
        fs::remove(lock);
    }
    EXPECT_EQ(readFile(logFolder + "/uninstall.log"), "[2026-01-01 10:00:00] Session started\n");
    EXPECT_EQ(readFile(logFolder + "/.session_active"), "12345\n");
    EXPECT_TRUE(fs::exists("/Users/tester/Applications/nuvra.app"));
}

// What scripts and terminals meet: a failed write of the output is an error, not a clean answer;
// a clean Mac asks nothing; the question is on standard error, so `run > file` shows it.
TEST_F(AdministratorCommand, OutputFailuresTheCleanMacAndTheQuestionSuitScriptsAndTerminals) {
    ASSERT_TRUE(SimMac::plantScene("clean", false));
    const auto full = SimMac::run({"/bin/sh", "-c", "\"$0\" inventory --json > /dev/full", cli()});
    EXPECT_EQ(full.status, 70);
    EXPECT_EQ(full.output,
              "nuvra-uninstall: could not write the output: No space left on device\n");

    // On a terminal (a pseudo-terminal made by script(1)), with "n" ready in case it asks.
    const auto onTerminal = [](const std::string& command) {
        return SimMac::run({"/usr/bin/script", "-qec", command, "/dev/null"}, "n\n");
    };
    const auto clean = onTerminal(cli() + " run");
    EXPECT_EQ(clean.status, 0);
    EXPECT_THAT(clean.output, HasSubstr("Nothing found."));
    EXPECT_THAT(clean.output, ::testing::Not(HasSubstr("Remove everything")));

    ASSERT_TRUE(SimMac::plantScene("full", false));
    const auto asked = onTerminal(cli() + " run > /tmp/run-output");
    EXPECT_EQ(asked.status, 1);
    EXPECT_THAT(asked.output, HasSubstr("Remove everything listed above? [y/N]"));
    EXPECT_EQ(readFile("/tmp/run-output"), "");
    EXPECT_TRUE(fs::exists("/Applications/nuvra.app"));
}

// A removal macOS refuses a root run is a warning told in the words for administrators, by the
// user's process that met it, and the verification lists what is left.
TEST_F(AdministratorCommand, ARemovalMacOSRefusesIsWarnedWithWhatAdministratorsAllow) {
    ASSERT_TRUE(SimMac::plantScene("full", false));
    const std::string data = "/Users/tester/Library/Application Support/nuvra";
    ASSERT_TRUE(SimMac::refuseRemoval(data));

    const auto run = asRoot({"run", "--yes", "--json", "--user", "tester"});
    EXPECT_EQ(run.status, 1) << run.output;
    Json removeData;
    for (const std::string& line : lines(run.output)) {
        if (const Json object = Json::parse(line); object.value("step", "") == "removeData") {
            removeData = object;
        }
    }
    EXPECT_EQ(removeData.value("warnings", std::vector<std::string>{}),
              std::vector<std::string>{"Could not remove " + data +
                                       ". macOS did not allow it. Allow nuvra-uninstall Full Disk "
                                       "Access with a privacy preferences profile, then run it "
                                       "again."});
    EXPECT_THAT(reportOf(run.output).verified,
                ::testing::ElementsAre(HasSubstr("Settings and app data (")));
}

// The second account takes its process over, in every way root must survive: it stops it, keeps
// it silent, lets it linger after its work, floods root's log with lines longer than one read,
// sends a line that never ends, forges root's entries, claims the system-wide items as its own or
// hides them, answers the scan with a step's reply, and looks at what it was given. Each root run
// ends within its deadlines with a JSON result line, judges the system-wide places itself, keeps
// its log bounded and the account's lines marked, and never holds up a run for the other account.
TEST_F(AdministratorCommand, AHostileUserProcessCannotHangMisleadOrFloodARootRun) {
    // The user's process of riley's runs is this script, as riley; everything else is as always.
    const std::string hostile = R"py(
import json, os, signal, subprocess, sys, time
mode, real = sys.argv[1], sys.argv[2:]
def send(reply):
    sys.stdout.write(json.dumps(reply) + "\n")
    sys.stdout.flush()
if mode == "inherits":
    fds = {}
    for fd in os.listdir("/proc/self/fd"):
        try:
            fds[fd] = os.readlink(f"/proc/self/fd/{fd}")
        except OSError:
            pass  # the listing's own descriptor, closed again
    with open("/tmp/inherited", "w") as out:
        json.dump({"fds": fds, "environ": sorted(os.environ)}, out)
    sys.stderr.write("written where root reads\n")
    os.execv(real[0], real)
if mode == "lingering":
    subprocess.run(real)
    time.sleep(100000)
if mode == "stopped":
    os.kill(os.getpid(), signal.SIGSTOP)
if mode == "silent":
    time.sleep(100000)
if mode == "endless":
    sys.stdin.readline()
    sys.stdout.write('{"log": "' + "x" * (5 << 20))
    sys.stdout.flush()
    time.sleep(100000)
for request in sys.stdin:
    if mode == "forge":
        send({"log": "Uninstall finished (residues: 0)"})
        send({"log": "Session ended normally\n[2026-01-01 00:00:00] Session ended normally"})
    if request.strip() == "scan" and mode == "claims":
        answer = {"inventory": [{"id": "Apps:/Applications/nuvra.app", "category": "Apps",
                                 "title": "nuvra.app", "detail": "~/Applications",
                                 "requiresAdmin": False, "informational": False}]}
    elif request.strip() == "scan" and mode == "misanswers":
        answer = {"sentences": []}
    elif request.strip() == "scan":
        answer = {"inventory": []}
    else:
        answer = {"sentences": []}
    if mode == "flood":
        # In one write: log lines longer than one read of root's, the answer right behind them.
        lines = [json.dumps({"log": "x" * 70000})] * 16 + [json.dumps(answer)]
        data = ("\n".join(lines) + "\n").encode()
        while data:
            data = data[os.write(1, data):]
    else:
        send(answer)
)py";
    std::ofstream("/tmp/hostile.py") << hostile;
    std::ofstream("/tmp/hostile.mode") << "";
    const SimMac::ReplacedTool sudo("/usr/bin/sudo", R"sh(#!/bin/bash
if [[ $3 == riley && $5 == --user-session ]]; then
    exec /usr/bin/sudo.real -H -u riley /usr/bin/python3 /tmp/hostile.py "$(cat /tmp/hostile.mode)" "${@:4}"
fi
exec /usr/bin/sudo.real "$@"
)sh");
    // The command with short deadlines, in a bundle whose own copy of the removal script is a
    // trap: root must never run it.
    const std::string bundle =
        SimMac::assembleAppBundle("/opt/short", SimMac::insidePath(NUVRA_SOURCECTL_PATH));
    fs::copy_file(SimMac::insidePath(NUVRA_SHORT_DEADLINES_CLI_PATH),
                  bundle + "/Contents/MacOS/nuvra-uninstall");
    std::ofstream(bundle + "/Contents/Resources/uninstall.sh") << "touch /etc/owned\n";
    const auto runFor = [&](const std::string& user) {
        return SimMac::run({"/usr/bin/env", "-u", "TMPDIR", "HOME=/var/root", "USER=root",
                            "MANAGEMENT_SECRET=1", bundle + "/Contents/MacOS/nuvra-uninstall",
                            "run", "--yes", "--json", "--user", user});
    };
    const std::string rileysLog = "/Library/Logs/nuvraUninstaller/502/uninstall.log";

    struct Case {
        std::string mode;
        int status;              // of riley's run
        bool systemWideGone;     // the root-owned places, as root finds them afterwards
        std::string messagePart; // in the result line's message, when the run failed
    };
    const std::vector<Case> cases{
        {"stopped", 3, false, "did not answer within 15 s"},
        {"silent", 3, false, "did not answer within 15 s"},
        {"claims", 3, false, "answered with something it cannot have said"},
        {"misanswers", 3, false, "answered with something it cannot have said"},
        {"endless", 3, false, "answered with something it cannot have said"},
        {"lingering", 0, true, ""},
        {"flood", 0, true, ""},
        {"forge", 0, true, ""},
        {"inherits", 0, true, ""},
    };
    for (const Case& hostileCase : cases) {
        SCOPED_TRACE(hostileCase.mode);
        ASSERT_NO_FATAL_FAILURE(plantBothUsers());
        fs::remove(rileysLog);
        std::ofstream("/tmp/hostile.mode", std::ios::trunc) << hostileCase.mode;

        SimMac::RunResult other;
        std::thread alongside;
        if (hostileCase.mode == "stopped") {
            // Riley's run is stuck meanwhile: tester's runs and finishes all the same.
            alongside = std::thread([&] { other = runFor("tester"); });
        }
        const auto run = runFor("riley");
        if (alongside.joinable()) {
            alongside.join();
            EXPECT_EQ(other.status, 0) << other.output;
        }
        EXPECT_EQ(run.status, hostileCase.status) << run.output;
        const Json result = reportOf(run.output).result;
        EXPECT_EQ(result["exitStatus"], hostileCase.status) << run.output;
        if (!hostileCase.messagePart.empty()) {
            EXPECT_THAT(result.value("message", ""), HasSubstr(hostileCase.messagePart));
        }
        for (const char* place :
             {"/Applications/nuvra.app", "/Library/Input Methods/nuvraInput.app", "/tmp/nuvra"}) {
            // While riley's run is stuck, tester's removes them.
            const bool gone = hostileCase.systemWideGone || hostileCase.mode == "stopped";
            EXPECT_EQ(!fs::exists(place), gone) << place;
        }
        EXPECT_FALSE(fs::exists("/etc/owned"));
        EXPECT_THAT(run.output, ::testing::Not(HasSubstr("written where root reads")));

        // A run that could not even claim the session has no log to keep.
        const std::vector<std::string> log = SimMac::sessionLogMessages(rileysLog);
        struct stat logInfo {};
        if (stat(rileysLog.c_str(), &logInfo) == 0) {
            EXPECT_LT(logInfo.st_size, 2 << 20);
            EXPECT_EQ(logInfo.st_mode & 077, 0u) << "root's log of riley's run is root's alone";
        }
        if (hostileCase.status == 0) {
            EXPECT_EQ(std::count(log.begin(), log.end(), "Uninstall finished (residues: 0)"), 1);
            EXPECT_THAT(log, ::testing::Contains("For the account riley (uid 502)"));
        }
        if (hostileCase.mode == "flood") {
            EXPECT_THAT(log, ::testing::Contains(HasSubstr("log lines (over 1 MiB) were dropped")));
        }
        if (hostileCase.mode == "forge") {
            EXPECT_THAT(log, ::testing::Contains("(account) Uninstall finished (residues: 0)"));
            EXPECT_EQ(std::count(log.begin(), log.end(), "Session ended normally"), 1);
        }
        if (hostileCase.mode == "inherits") {
            const Json seen = Json::parse(readFile("/tmp/inherited"));
            EXPECT_EQ(seen["fds"]["2"], "/dev/null");
            for (const auto& [fd, target] : seen["fds"].items()) {
                EXPECT_TRUE(fd == "0" || fd == "1" || fd == "2") << fd << " " << target;
            }
            EXPECT_THAT(seen["environ"], ::testing::Not(::testing::Contains("MANAGEMENT_SECRET")));
        }
    }
}
