// nuvra-uninstall in a simulated Mac with two users, "tester" (logged in at the console) and
// "riley", both carrying the product's footprint.
#include "Bundle.h"
#include "SimMac.h"
#include "service/UninstallService.h"

#include <QTest>
#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Json = nlohmann::ordered_json;

namespace {

// Qt's wait handles events until its condition holds; only the test runner's timeout limits it,
// so a busy machine can make a test slow but never make it fail.
constexpr int untilItHappens = std::numeric_limits<int>::max();

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
    traces += SimMac::run({"/usr/bin/sudo", "-u", "riley", "/usr/bin/defaults", "export",
                           "com.apple.HIToolbox", "-"})
                  .output;
    traces +=
        SimMac::run({"/usr/bin/sudo", "-u", "riley", "/usr/bin/security", "dump-keychain"}).output;
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
    EXPECT_EQ(summaryOf(document), asRoot({"inventory"}).output);

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
    EXPECT_EQ(rileysTraces(), rileyBefore);

    // The session went to the system's logs; neither root's home nor the user's got one.
    const auto log = SimMac::sessionLogMessages("/Library/Logs/nuvraUninstaller/uninstall.log");
    EXPECT_NE(std::find(log.begin(), log.end(), "Uninstall finished (residues: 0)"), log.end());
    EXPECT_FALSE(fs::exists("/var/root"));
    EXPECT_FALSE(fs::exists("/Users/tester/Library/Logs/nuvraUninstaller"));
}

TEST_F(AdministratorCommand, RunsTheWindowsCommandsEachInTheUsersContext) {
    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    SimMac::setPkexec(SimMac::Pkexec::approve);
    Bundle::overrideMainBundlePathForTesting(SimMac::assembleAppBundle(
        "/opt/app", SimMac::insidePath(NUVRA_SOURCECTL_PATH),
        SimMac::insidePath(NUVRA_SOURCE_DIR "/nuvraUninstaller/resources/uninstall.sh")));
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
    for (SimMac::Call call : SimMac::calls()) {
        if (call[0] == "/usr/bin/pkexec") {
            continue; // the administrator dialog; a root run needs none
        }
        // This test runs as root; the window runs as the user, whose launchd domain this is.
        std::replace(call.begin(), call.end(), std::string("gui/0"), std::string("gui/501"));
        windowCalls.push_back(call);
    }

    ASSERT_NO_FATAL_FAILURE(plantBothUsers());
    ASSERT_EQ(asRoot({"run", "--yes", "--user", "tester"}).status, 0);
    const SimMac::Call wrapper{"/bin/launchctl", "asuser", "501", "/usr/bin/sudo", "-u", "tester"};
    std::vector<SimMac::Call> wrapped;
    std::vector<SimMac::Call> bare;
    for (const SimMac::Call& call : SimMac::calls()) {
        if (call.size() > wrapper.size() &&
            std::equal(wrapper.begin(), wrapper.end(), call.begin())) {
            wrapped.emplace_back(call.begin() + 6, call.end());
        } else if (call[0] != "/usr/bin/sudo") {
            bare.push_back(call);
        }
    }
    for (std::vector<SimMac::Call>* calls : {&windowCalls, &wrapped, &bare}) {
        sortScanLookups(*calls);
    }
    // The staged input-source tool keeps no call log of its own; only its wrapper shows it.
    const SimMac::Call staged{
        SimMac::temporaryDirectory() + "nuvra-uninstaller-sourcectl/sourcectl", "--disable-all"};
    EXPECT_EQ(std::count(wrapped.begin(), wrapped.end(), staged), 1);
    wrapped.erase(std::remove(wrapped.begin(), wrapped.end(), staged), wrapped.end());
    // Every tool that ran was started through the wrapper, for this user.
    EXPECT_EQ(bare, wrapped);
    ASSERT_FALSE(wrapped.empty());
    // First the user's own temporary folder is asked for, then the window's commands follow.
    EXPECT_EQ(wrapped.front(), (SimMac::Call{"/usr/bin/getconf", "DARWIN_USER_TEMP_DIR"}));
    EXPECT_EQ(std::vector<SimMac::Call>(wrapped.begin() + 1, wrapped.end()), windowCalls);
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

    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"run", "--yes", "--bogus"},
                                               {"run", "--yes", "--user", "nobody-here"},
                                               {"inventory", "run"}}) {
        const auto refused = asRoot(args);
        EXPECT_EQ(refused.status, 64) << args.back();
        EXPECT_EQ(lines(refused.output).size(), 1u) << refused.output;
    }
    const auto notRoot = asTester({"run", "--yes", "--user", "riley"});
    EXPECT_EQ(notRoot.status, 64);
    EXPECT_THAT(notRoot.output, HasSubstr("--user needs root"));

    // Nobody at the console: root must be told whose traces to remove.
    ASSERT_EQ(SimMac::run({"/bin/umount", "/dev/console"}).status, 0);
    const auto nobody = asRoot({"run", "--yes"});
    EXPECT_EQ(nobody.status, 64);
    EXPECT_THAT(nobody.output, HasSubstr("pass --user NAME"));

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

// While the window (or another run) holds the account's session, a run must neither end that
// session in the log nor take its marker, nor remove anything alongside it.
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

    const auto refused = asTester({"run", "--yes"});
    close(held);
    EXPECT_EQ(refused.status, 70);
    EXPECT_THAT(refused.output, HasSubstr("already running for this account"));
    EXPECT_EQ(lines(refused.output).size(), 1u) << refused.output;
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
