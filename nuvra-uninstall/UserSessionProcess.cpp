#include "UserSessionProcess.h"

#include "Bundle.h"
#include "ProcessSpawning.h"
#include "SessionClaim.h"
#include "UserSessionMode.h"
#include "UserSessionProtocol.h"
#include "engine/EngineSteps.h"
#include "foundation/ChildProcess.h"
#include "foundation/UninstallerLog.h"
#include "foundation/UserCommand.h"
#include "foundation/WriteAll.h"

#include <cerrno>
#include <cstring>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* endedMessage = "The user's part of the run ended unexpectedly.";

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

} // namespace

UserSessionProcess::UserSessionProcess(const TargetUser::Account& account) {
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
    ProcessSpawning::inheritOnlyStandardStreams(setup.actions_, setup.attributes_);
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const int spawned =
        posix_spawn(&pid_, argv[0], &setup.actions_, &setup.attributes_, argv.data(), environ);
    if (spawned != 0) {
        pid_ = -1;
        cannotStart(spawned);
    }
    requests_ = std::move(toChild.writeEnd);
    replies_ = std::move(fromChild.readEnd);
}

UserSessionProcess::~UserSessionProcess() {
    requests_.reset(); // standard input ends: the process leaves
    replies_.reset();
    if (pid_ > 0) {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::string UserSessionProcess::nextLine() {
    for (;;) {
        // Only the bytes that came since the last look: an inventory line may be megabytes long.
        if (const std::size_t end = pending_.find('\n', searched_); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            searched_ = 0;
            return line;
        }
        searched_ = pending_.size();
        if (pending_.size() > UserSessionProtocol::longestLine || !replies_.isOpen()) {
            throw std::runtime_error(endedMessage);
        }
        char buffer[65536];
        const ssize_t got = read(replies_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            replies_.reset();
            throw std::runtime_error(endedMessage);
        }
        pending_.append(buffer, static_cast<std::size_t>(got));
    }
}

UserSessionProtocol::Reply UserSessionProcess::ask(const std::string& request,
                                                   UserSessionProtocol::Reply::Kind answer) {
    if (!requests_.isOpen() || !writeAll(requests_.get(), request + "\n")) {
        throw std::runtime_error(endedMessage);
    }
    for (;;) {
        auto reply = UserSessionProtocol::parseReply(nextLine());
        if (!reply) {
            // Whatever spoke, it is not the user's part of this run any more.
            requests_.reset();
            replies_.reset();
            throw std::runtime_error(endedMessage);
        }
        switch (reply->kind) {
        case UserSessionProtocol::Reply::Kind::log:
            UninstallerLog::file(reply->text);
            break;
        case UserSessionProtocol::Reply::Kind::error:
            throw std::runtime_error(reply->text);
        case UserSessionProtocol::Reply::Kind::sentences:
        case UserSessionProtocol::Reply::Kind::inventory:
            if (reply->kind != answer) {
                throw std::runtime_error(endedMessage);
            }
            return std::move(*reply);
        }
    }
}

UninstallInventory UserSessionProcess::scan() {
    return ask(UserSessionProtocol::scanRequest, UserSessionProtocol::Reply::Kind::inventory)
        .inventory;
}

void UserSessionProcess::claimSession() {
    try {
        ask(UserSessionProtocol::claimRequest, UserSessionProtocol::Reply::Kind::sentences);
    } catch (const std::runtime_error& error) {
        throw SessionClaim::Refused(error.what());
    }
}

std::vector<std::string> UserSessionProcess::perform(UninstallStepID step) {
    return ask(std::string(rawValue(step)), UserSessionProtocol::Reply::Kind::sentences).sentences;
}

// Only the system-wide removal may stop the run, as in every run: what goes wrong with the user's
// bundles is one of the step's problem sentences.
UninstallSteps::Sentences SeparatedSteps::removeApps(bool needsAdmin) {
    systemWide.removeSystemApps(needsAdmin);
    try {
        return user.perform(UninstallStepID::removeApps);
    } catch (const std::runtime_error& error) {
        return {error.what()};
    }
}

std::unique_ptr<UninstallSteps> stepsForTheAccount(SessionUse use) {
    if (const auto& account = TargetUser::otherAccount()) {
        return std::make_unique<SeparatedSteps>(*account, use);
    }
    return std::make_unique<EngineSteps>();
}
