// run --all-users, for root when nobody is at the console (enrolment, the login window, a
// deployment overnight): the system-wide part once, then every person's account in turn, each in
// a run of its own (`run --user NAME`), which does that account's share in that account's process
// as any root run does and keeps its own log and claim. Each line of JSON names the account it is
// about ("user", null for the system-wide part); the exit status is the worst of them all.
#include "AccountChoice.h"
#include "Bundle.h"
#include "Commands.h"
#include "HeadlessRun.h"
#include "OutputLine.h"
#include "ProcessSpawning.h"
#include "RunOutput.h"
#include "SessionClaim.h"
#include "SystemWideSteps.h"
#include "Utf8.h"
#include "foundation/ChildProcess.h"
#include "foundation/MainThread.h"
#include "foundation/UninstallerLog.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char** environ;

namespace {

// One account's run does a whole uninstall, each of its waits bounded; this bounds them all.
constexpr std::chrono::minutes accountRunDeadline{45};
constexpr std::size_t longestChildLine = 4 * 1024 * 1024;

std::string thisProgram() {
    const auto bundle = Bundle::mainBundlePath();
    return bundle ? *bundle + "/Contents/MacOS/nuvra-uninstall" : std::string();
}

// The text form of one line of an account's run, for a person reading a terminal.
std::string textOf(const Json& line) {
    if (line.contains("step")) {
        std::string text = "  " + line.value("step", "") + ": " + line.value("state", "");
        for (const Json& sentence : line.value("warnings", Json::array())) {
            text += "\n      " + sentence.get<std::string>();
        }
        for (const Json& residue : line.value("residues", Json::array())) {
            text += "\n      left: " + residue.get<std::string>();
        }
        return text + "\n";
    }
    std::string text = "  result: " + line.value("result", "");
    if (line.contains("message")) {
        text += ": " + line["message"].get<std::string>();
    }
    return text + "\n";
}

void show(const CommandLine& command, Json line, const Json& user) {
    if (command.json) {
        Json named{{"user", user}};
        named.update(line);
        writeOut(jsonText(named) + "\n");
    } else {
        writeOut(textOf(line));
    }
}

struct AccountOutcome {
    int exitStatus = code(ExitStatus::internalError);
};

// Runs `run --yes --json --user NAME` as a child (root, our own program) and shows its lines as
// they come. A line that is not JSON is the child's own sentence on standard error.
AccountOutcome runForAccount(const CommandLine& command, const std::string& name) {
    std::vector<std::string> words{thisProgram(), "run", "--yes", "--json", "--user", name,
                                   CommandLine::accountOnlyFlag};
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    ChildProcess::Pipe output;
    AccountOutcome outcome;
    if (!ChildProcess::makePipe(output)) {
        return outcome;
    }
    ChildProcess::SpawnSetup setup;
    ChildProcess::prepareChildSignals(setup.attributes_);
    posix_spawn_file_actions_addopen(&setup.actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions_, output.writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions_, output.writeEnd.get(), STDERR_FILENO);
    ProcessSpawning::inheritOnlyStandardStreams(setup.actions_, setup.attributes_);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &setup.actions_, &setup.attributes_, argv.data(), environ) != 0) {
        show(command, {{"result", "failed"}, {"message", "could not start the run"},
                       {"exitStatus", outcome.exitStatus}},
             name);
        return outcome;
    }
    ChildProcess::RunningChild child(pid);
    output.writeEnd.reset();
    const auto until = ChildProcess::Clock::now() + accountRunDeadline;
    std::string pending;
    std::string said; // what the run said that was no JSON line
    bool resultShown = false;
    const auto take = [&](const std::string& text) {
        const Json line = Json::parse(text, nullptr, false);
        if (!line.is_object()) {
            said += utf8::shortened(text, 1024);
            return;
        }
        resultShown = resultShown || line.contains("result");
        show(command, line, name);
    };
    for (bool open = true; open;) {
        if (!ChildProcess::waitReadable(output.readEnd.get(), until)) {
            break;
        }
        char buffer[65536];
        const ssize_t got = read(output.readEnd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        open = got > 0;
        pending.append(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            take(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        if (pending.size() > longestChildLine) {
            break;
        }
    }
    if (child.waitForExit(until)) {
        const int status = child.waitStatus();
        outcome.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : outcome.exitStatus;
    } else {
        child.kill();
        said = "the account's run did not end within " +
               std::to_string(accountRunDeadline.count()) + " minutes and was stopped";
    }
    if (!resultShown) {
        // Refused before it began (bad account, its session busy): its sentence is the message.
        show(command,
             {{"result", "failed"},
              {"message", said.empty() ? "the run ended without a result" : said},
              {"exitStatus", outcome.exitStatus}},
             name);
    }
    return outcome;
}

} // namespace

ExitStatus runForAllUsers(const CommandLine& command) {
    UninstallerLog::keepForTheSystem();
    if (!SessionClaim::take()) {
        return ExitStatus::internalError;
    }
    MainThread::runAndWait(UninstallerLog::installCrashHandlers);
    UninstallerLog::fileSessionStart();

    // The system-wide part, once, as root: root's own scan, removal and verification.
    SystemWideSteps system;
    const UninstallInventory inventory = system.scan();
    const bool needsAdmin = std::any_of(inventory.items.begin(), inventory.items.end(),
                                        [](const InventoryItem& item) { return item.requiresAdmin; });
    if (!command.json) {
        writeOut("System-wide part:\n");
    }
    constexpr UninstallStepID systemSteps[] = {UninstallStepID::removeApps, UninstallStepID::verify};
    const HeadlessRun::Outcome systemOutcome = HeadlessRun::run(
        system, needsAdmin,
        [&](const HeadlessRun::StepResult& step) { show(command, stepJson(step), nullptr); },
        systemSteps);
    show(command, resultJson(systemOutcome), nullptr);
    int worst = code(exitStatusOf(systemOutcome));

    Json users = Json::array();
    for (const std::string& name : AccountChoice::peopleOnThisMac()) {
        UninstallerLog::file("Run for the account " + utf8::visible(name) +
                             " (its log is that account's in " + UninstallerLog::systemLogsFolder + ")");
        if (!command.json) {
            writeOut("Account " + utf8::visible(name) + ":\n");
        }
        const AccountOutcome account = runForAccount(command, name);
        UninstallerLog::file("Run for the account " + utf8::visible(name) + " ended with " +
                             std::to_string(account.exitStatus));
        users.push_back(name);
        worst = std::max(worst, account.exitStatus);
    }
    const bool failed = worst != code(ExitStatus::nothingLeft) &&
                        worst != code(ExitStatus::tracesRemain);
    const Json result{{"result", failed ? "failed" : "finished"}, {"users", users},
                      {"exitStatus", worst}};
    writeOut(command.json ? jsonText(result) + "\n"
                          : "Accounts: " + std::to_string(users.size()) + ", exit status " +
                                std::to_string(worst) + "\n");
    UninstallerLog::fileSessionEnd();
    return static_cast<ExitStatus>(worst);
}
