#pragma once

#include "UserSessionProtocol.h"
#include "discovery/ScanFindings.h"
#include "engine/UninstallEngine.h"
#include "engine/UninstallStepID.h"
#include "engine/UninstallSteps.h"
#include "foundation/ChildProcess.h"
#include "foundation/TargetUser.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the account's process is started for: a look (inventory) or a removal (run), which must
// not run beside the account's window or another run.
enum class SessionUse { inventory, run };

// The root side of a run for another account. Root itself does only the system-wide part: its
// scan, its removal and its verification; the account's share (the scan of the account's traces,
// every user-level command and every file of the user's, the keyboard settings and input sources)
// is done by one process of this same program in its internal mode (UserSessionMode.h), started in
// the account's login session and as the account:
//   /bin/launchctl asuser UID /usr/bin/sudo -H -u NAME <this program> --user-session HOME TMPDIR
// so the kernel stops every link out of the user's reach, as it does for the window's own runs.
//
// That process is the user's, who may stop it, replace it or make it say anything: it gets a
// small environment root builds, no descriptor of root's (its errors go to /dev/null), and every
// wait for it has a deadline, after which it is killed with its process group. Its replies are
// untrusted text (UserSessionProtocol.h); its log lines carry a mark root's own never have, and
// only so much of them is kept per run.
class UserSessionProcess {
public:
    // Starts the process; throws std::runtime_error when it cannot be started.
    explicit UserSessionProcess(const TargetUser::Account& account);
    // Ends the conversation; the process gets a short while to leave, then is killed.
    ~UserSessionProcess();
    UserSessionProcess(const UserSessionProcess&) = delete;
    UserSessionProcess& operator=(const UserSessionProcess&) = delete;

    // The account's traces. Throws std::runtime_error when the process fails to report them, or
    // reports anything an account cannot have.
    AccountFindings scanAccount();
    // Has the process claim the account's session; throws SessionClaim::Refused when the window
    // or another run of the account holds it.
    void claimSession();
    // One step's user share; its log lines go to this process's session log as they come.
    // Throws std::runtime_error with the process's error, or when it ends, stops answering or
    // answers nonsense.
    std::vector<std::string> perform(UninstallStepID step);

    // Log text of the account's process kept per run; beyond it, one line says the rest went.
    static constexpr std::size_t logBudget = 1024 * 1024;
    // The mark that opens every line of the account's in root's log.
    static constexpr const char* accountMark = "(account) ";

private:
    // The reply to `request`, which must be of kind `answer`; the log lines before it are filed.
    UserSessionProtocol::Reply ask(const std::string& request,
                                   UserSessionProtocol::Reply::Kind answer);
    std::string nextLine(ChildProcess::Clock::time_point until);
    void fileLogLine(const std::string& text);
    // Kills the process, and every later question fails with `why`.
    [[noreturn]] void abandon(const std::string& why);

    std::string home_;
    std::optional<ChildProcess::RunningChild> child_;
    ChildProcess::Descriptor requests_; // write end: the process's standard input
    ChildProcess::Descriptor replies_;  // read end: its standard output
    std::string pending_;
    std::size_t searched_ = 0;         // the start of pending_ that holds no line feed
    std::size_t logged_ = 0;           // bytes of the account's log text filed so far
    std::optional<std::string> ended_; // why the conversation is over
};

// The steps of a root run for another account: the system-wide part here, as root (its scan,
// its removal and its verification); the account's share in the account's process, in the same
// order and with the same log lines as any run.
class SeparatedSteps final : public UninstallSteps {
public:
    // `withSystemWide` false: the system-wide part is done once by a run for every account, so
    // this one neither looks at nor removes it.
    SeparatedSteps(const TargetUser::Account& account, SessionUse use, bool withSystemWide)
        : withSystemWide_(withSystemWide), user(account) {
        if (use == SessionUse::run) {
            user.claimSession();
        }
    }

    UninstallInventory scan() override;
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
    Sentences verify() override;

private:
    SystemWideFindings systemWideFindings() const;

    bool withSystemWide_;
    UninstallEngine systemWide; // only its system-wide removal runs in this process
    UserSessionProcess user;
};

// The steps for this run: separated for a root run for another account, else the engine itself.
// For a run, the account's own process first claims the account's session (see SeparatedSteps).
std::unique_ptr<UninstallSteps> stepsForTheAccount(SessionUse use, bool withSystemWide = true);
