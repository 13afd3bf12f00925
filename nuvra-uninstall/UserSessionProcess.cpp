#include "UserSessionProcess.h"

#include "Bundle.h"
#include "ProcessSpawning.h"
#include "SessionClaim.h"
#include "UserSessionMode.h"
#include "UserSessionProtocol.h"
#include "Utf8.h"
#include "discovery/InventoryScanner.h"
#include "engine/EngineSteps.h"
#include "engine/Verification.h"
#include "foundation/ChildProcess.h"
#include "foundation/Deadlines.h"
#include "foundation/UninstallerLog.h"
#include "foundation/UserCommand.h"
#include "foundation/WriteAll.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <unistd.h>

namespace {

constexpr const char* endedMessage = "The user's part of the run ended unexpectedly.";
constexpr const char* nonsenseMessage =
    "The user's part of the run answered with something it cannot have said; it was stopped.";
// One text of the account's (a log line, a sentence) is cut to this, with a mark.
constexpr std::size_t longestText = 4096;

// The process's own "error" reply, as opposed to a conversation that broke down.
struct ErrorReply : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// This program, where the bundle keeps it; the account runs the same file.
std::string thisProgram() {
    const auto bundle = Bundle::mainBundlePath();
    if (!bundle) {
        throw std::runtime_error("cannot find the command's own bundle");
    }
    return *bundle + "/Contents/MacOS/nuvra-uninstall";
}

[[noreturn]] void cannotStart(int error) {
    throw std::runtime_error(std::string("cannot start the user's process: ") +
                             std::strerror(error));
}

// Nothing of root's environment: sudo and the account's session give it the rest.
char* const smallEnvironment[] = {const_cast<char*>("PATH=/usr/bin:/bin:/usr/sbin:/sbin"), nullptr};

} // namespace

UserSessionProcess::UserSessionProcess(const TargetUser::Account& account) : home_(account.home) {
    const std::vector<std::string> command = UserCommand::commandLineAs(
        account, thisProgram(), {UserSessionMode::flag, account.home, account.temporaryDirectory});
    ChildProcess::Pipe toChild;
    ChildProcess::Pipe fromChild;
    if (!ChildProcess::makePipe(toChild) || !ChildProcess::makePipe(fromChild)) {
        cannotStart(errno);
    }
    ChildProcess::SpawnSetup setup;
    ChildProcess::prepareChildSignals(setup.attributes_);
    posix_spawn_file_actions_adddup2(&setup.actions_, toChild.readEnd.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions_, fromChild.writeEnd.get(), STDOUT_FILENO);
    // Root's standard error may be a management tool's root-only log, or held by whoever waits
    // for root's output: never the user's to write into or to keep open.
    posix_spawn_file_actions_addopen(&setup.actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    ProcessSpawning::inheritOnlyStandardStreams(setup.actions_, setup.attributes_);
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &setup.actions_, &setup.attributes_, argv.data(),
                                    smallEnvironment);
    if (spawned != 0) {
        cannotStart(spawned);
    }
    child_.emplace(pid);
    requests_ = std::move(toChild.writeEnd);
    replies_ = std::move(fromChild.readEnd);
    // A stopped process must not stop root at a full pipe either.
    fcntl(requests_.get(), F_SETFL, fcntl(requests_.get(), F_GETFL) | O_NONBLOCK);
}

UserSessionProcess::~UserSessionProcess() {
    requests_.reset(); // standard input ends: the process leaves
    replies_.reset();
    if (child_ &&
        !child_->waitForExit(ChildProcess::Clock::now() + Deadlines::current().lingering)) {
        child_->kill();
    }
}

void UserSessionProcess::abandon(const std::string& why) {
    ended_ = why;
    requests_.reset();
    replies_.reset();
    if (child_) {
        child_->kill();
    }
    throw std::runtime_error(why);
}

std::string UserSessionProcess::nextLine(ChildProcess::Clock::time_point until) {
    for (;;) {
        // Only the bytes that came since the last look: an inventory line may be megabytes long.
        if (const std::size_t end = pending_.find('\n', searched_); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            searched_ = 0;
            return line;
        }
        searched_ = pending_.size();
        if (pending_.size() > UserSessionProtocol::longestLine) {
            abandon(nonsenseMessage);
        }
        if (!ChildProcess::waitReadable(replies_.get(), until)) {
            abandon("The user's part of the run did not answer within " +
                    Deadlines::spoken(Deadlines::current().reply) + " and was stopped.");
        }
        char buffer[65536];
        const ssize_t got = read(replies_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            abandon(endedMessage);
        }
        pending_.append(buffer, static_cast<std::size_t>(got));
    }
}

void UserSessionProcess::fileLogLine(const std::string& text) {
    if (logged_ >= logBudget) {
        return;
    }
    logged_ += text.size();
    if (logged_ >= logBudget) {
        UninstallerLog::file("  The rest of the account's log lines (over " +
                             std::to_string(logBudget / (1024 * 1024)) + " MiB) were dropped.");
        return;
    }
    UninstallerLog::file(accountMark + utf8::shortened(text, longestText));
}

UserSessionProtocol::Reply UserSessionProcess::ask(const std::string& request,
                                                   UserSessionProtocol::Reply::Kind answer) {
    if (ended_) {
        throw std::runtime_error(*ended_);
    }
    if (!writeAll(requests_.get(), request + "\n")) {
        abandon(endedMessage);
    }
    const auto until = ChildProcess::Clock::now() + Deadlines::current().reply;
    for (;;) {
        auto reply = UserSessionProtocol::parseReply(nextLine(until));
        if (!reply) {
            // Whatever spoke, it is not the user's part of this run any more.
            abandon(nonsenseMessage);
        }
        switch (reply->kind) {
        case UserSessionProtocol::Reply::Kind::log:
            fileLogLine(reply->text);
            break;
        case UserSessionProtocol::Reply::Kind::error:
            throw ErrorReply(utf8::shortened(reply->text, longestText));
        case UserSessionProtocol::Reply::Kind::sentences:
        case UserSessionProtocol::Reply::Kind::inventory:
            if (reply->kind != answer) {
                abandon(nonsenseMessage);
            }
            for (std::string& sentence : reply->sentences) {
                sentence = utf8::shortened(sentence, longestText);
            }
            return std::move(*reply);
        }
    }
}

AccountFindings UserSessionProcess::scanAccount() {
    auto found = AccountFindings::fromItems(
        ask(UserSessionProtocol::scanRequest, UserSessionProtocol::Reply::Kind::inventory)
            .inventory.items,
        home_);
    if (!found) {
        abandon(nonsenseMessage);
    }
    return std::move(*found);
}

void UserSessionProcess::claimSession() {
    try {
        ask(UserSessionProtocol::claimRequest, UserSessionProtocol::Reply::Kind::sentences);
    } catch (const ErrorReply& refusal) {
        throw SessionClaim::Refused(refusal.what());
    }
}

std::vector<std::string> UserSessionProcess::perform(UninstallStepID step) {
    return ask(std::string(rawValue(step)), UserSessionProtocol::Reply::Kind::sentences).sentences;
}

SystemWideFindings SeparatedSteps::systemWideFindings() const {
    return withSystemWide_ ? InventoryScanner::scanSystemWide() : SystemWideFindings{};
}

// Root looks at the root-owned places itself; only the account's traces come from its process.
UninstallInventory SeparatedSteps::scan() {
    const SystemWideFindings system = systemWideFindings();
    return assemble(system, user.scanAccount());
}

// Only the system-wide removal may stop the run, as in every run: what goes wrong with the user's
// bundles is one of the step's problem sentences.
UninstallSteps::Sentences SeparatedSteps::removeApps(bool needsAdmin) {
    Sentences warnings = withSystemWide_ ? systemWide.removeSystemApps(needsAdmin) : Sentences{};
    try {
        for (std::string& warning : user.perform(UninstallStepID::removeApps)) {
            warnings.push_back(std::move(warning));
        }
    } catch (const std::runtime_error& error) {
        warnings.emplace_back(error.what());
    }
    return warnings;
}

// What is left is judged as root for the system-wide places, whatever the account's process says.
UninstallSteps::Sentences SeparatedSteps::verify() {
    const SystemWideFindings system = systemWideFindings();
    Sentences residues;
    try {
        residues = residueTexts(assemble(system, user.scanAccount()));
    } catch (const std::runtime_error& error) {
        // The account's traces could not be looked at: never a clean result.
        residues = residueTexts(assemble(system, {}));
        residues.insert(residues.begin(), error.what());
    }
    fileResidues(residues);
    return residues;
}

std::unique_ptr<UninstallSteps> stepsForTheAccount(SessionUse use, bool withSystemWide) {
    if (const auto& account = TargetUser::otherAccount()) {
        return std::make_unique<SeparatedSteps>(*account, use, withSystemWide);
    }
    return std::make_unique<EngineSteps>();
}
