#pragma once

#include "UserSessionProtocol.h"
#include "engine/UninstallEngine.h"
#include "engine/UninstallStepID.h"
#include "engine/UninstallSteps.h"
#include "foundation/ChildProcess.h"
#include "foundation/TargetUser.h"

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// What the account's process is started for: a look (inventory) or a removal (run), which must
// not run beside the account's window or another run.
enum class SessionUse { inventory, run };

// The root side of a run for another account. Root itself does only the system-wide removal;
// the user's share (the scan, every user-level command and every file of the user's, the
// keyboard settings and input sources, the verification) is done by one process of this same
// program in its internal mode (UserSessionMode.h), started in the account's login session and
// as the account:
//   /bin/launchctl asuser UID /usr/bin/sudo -H -u NAME <this program> --user-session HOME TMPDIR
// so the kernel stops every link out of the user's reach, as it does for the window's own runs.
class UserSessionProcess {
public:
    // Starts the process; throws std::runtime_error when it cannot be started.
    explicit UserSessionProcess(const TargetUser::Account& account);
    // Ends the conversation and waits for the process to leave.
    ~UserSessionProcess();
    UserSessionProcess(const UserSessionProcess&) = delete;
    UserSessionProcess& operator=(const UserSessionProcess&) = delete;

    UninstallInventory scan();
    // Has the process claim the account's session; throws SessionClaim::Refused when the window
    // or another run of the account holds it.
    void claimSession();
    // One step's user share; its log lines go to this process's session log as they come.
    // Throws std::runtime_error with the process's error, or when it ends or answers nonsense.
    std::vector<std::string> perform(UninstallStepID step);

private:
    // The reply to `request`, which must be of kind `answer`; the log lines before it are filed.
    UserSessionProtocol::Reply ask(const std::string& request,
                                   UserSessionProtocol::Reply::Kind answer);
    std::string nextLine();

    pid_t pid_ = -1;
    ChildProcess::Descriptor requests_; // write end: the process's standard input
    ChildProcess::Descriptor replies_;  // read end: its standard output
    std::string pending_;
    std::size_t searched_ = 0; // the start of pending_ that holds no line feed
};

// The steps of a root run for another account: the system-wide bundles here, as root; all the
// rest in the account's process, in the same order and with the same log lines as any run.
class SeparatedSteps final : public UninstallSteps {
public:
    SeparatedSteps(const TargetUser::Account& account, SessionUse use) : user(account) {
        if (use == SessionUse::run) {
            user.claimSession();
        }
    }

    UninstallInventory scan() override { return user.scan(); }
    Sentences stopProcesses() override { return user.perform(UninstallStepID::stopProcesses); }
    Sentences removeInputSourceState() override {
        return user.perform(UninstallStepID::inputSource);
    }
    Sentences removeApps(bool needsAdmin) override;
    Sentences removeData() override { return user.perform(UninstallStepID::removeData); }
    Sentences resetPermissions() override {
        return user.perform(UninstallStepID::resetPermissions);
    }
    Sentences refreshSystemUI() override { return user.perform(UninstallStepID::refreshSystem); }
    Sentences verify() override { return user.perform(UninstallStepID::verify); }

private:
    UninstallEngine systemWide; // only its system-wide removal runs in this process
    UserSessionProcess user;
};

// The steps for this run: separated for a root run for another account, else the engine itself.
// For a run, the account's own process first claims the account's session (see SeparatedSteps).
std::unique_ptr<UninstallSteps> stepsForTheAccount(SessionUse use);
