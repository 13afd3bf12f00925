#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>

// What a test needs from the simulated Mac (sim/): planting scenes, reading the fake tools' call
// log and state, and choosing what the administrator password dialog does. Tests registered with
// nuvra_add_sim_gtest run every case inside its own fresh simulated Mac.
namespace SimMac {

// True inside sim/run (the runner exports SIM=1).
bool inside();

// The repository the simulated Mac was started from (its sim/ folder holds the scripts).
std::string repoDir();

// Where a host path of the repository or build tree (such as a path the build compiled in) is seen
// inside the simulated Mac, which shows those folders at neutral places only; outside it, or for
// any other path, the path itself.
std::string insidePath(const std::string& hostPath);

// The simulated user's home ("/Users/tester") and per-user temporary folder (ending in "/").
std::string home();
std::string temporaryDirectory();

// The whole content of a file, empty when it cannot be read.
std::string readFile(const std::string& path);

struct RunResult {
    int status = -1;    // exit status, 128 + N for signal N, -1 when it could not start
    std::string output; // standard output and standard error together
};

// Runs a program (no shell) and collects its output; `input` is given on standard input.
RunResult run(const std::vector<std::string>& argv, const std::string& input = {});

// Plants a scene ("clean", "footprint", "decoys", "full"); see sim/README.md.
::testing::AssertionResult plantScene(const std::string& scene, bool withProcesses = true);

// One call of a fake or wrapped tool: the path it was called by, then its arguments.
using Call = std::vector<std::string>;

std::vector<Call> calls();
std::vector<Call> callsTo(const std::string& toolPath);
void clearCalls();

// Each call with the real user id it ran as (the "uid=N" after its array), -1 when not recorded.
struct CallByUser {
    int uid = -1;
    Call call;
};
std::vector<CallByUser> callsWithUids();

// Parses call-log text: one JSON array of strings per line. Lines that are not such an array are
// skipped. Exposed for its own tests.
std::vector<Call> parseCallLog(const std::string& text);

enum class Pkexec { approve, dismiss, fail, hold };
void setPkexec(Pkexec mode);
// With Pkexec::hold: waits until the dialog is open, and answers it (approve, dismiss or fail).
void untilPkexecShown();
void answerPkexec(Pkexec answer);

// Locks the login keychain of the account whose home is `home`, as macOS keeps it while that user
// is logged out: its items are still listed, every change is refused (see sim/tools/security).
void lockLoginKeychain(const std::string& home);

// Makes `path` refuse removal, for root too, as macOS refuses an app's changes to another app's
// bundle or data (sim/refuse-removal).
::testing::AssertionResult refuseRemoval(const std::string& path);

// The fake tools' state as printed by sim/state: one tab-separated record per line.
// `what` is "keychain", "agents", "ls" or "tcc".
std::vector<std::vector<std::string>> state(const std::string& what);

// The messages of a session log, without their "[yyyy-MM-dd HH:mm:ss] " stamps; continuation lines
// of a multi-line message are left out.
std::vector<std::string> sessionLogMessages(const std::string& logFile);

// An application bundle a test assembles in `folder` ("<folder>/nuvraUninstaller.app"), holding the
// given sourcectl as a resource. Returns the bundle's path.
std::string assembleAppBundle(const std::string& folder, const std::string& sourcectl);

// Puts a shell script at a tool's real path (e.g. "/usr/bin/defaults") while it lives, for
// behaviour the fake tools do not have. The fake stays reachable at `realPath()`, so the script
// can pass calls on: `exec <realPath> "$@"`. Needs the simulated Mac's root.
class ReplacedTool {
public:
    ReplacedTool(std::string toolPath, const std::string& script);
    ~ReplacedTool();
    ReplacedTool(const ReplacedTool&) = delete;
    ReplacedTool& operator=(const ReplacedTool&) = delete;
    std::string realPath() const { return tool_ + ".real"; }

private:
    std::string tool_;
};

// A message explaining why a simulated-Mac test cannot run here, or empty when it can.
std::string unavailableReason();

} // namespace SimMac

// Skips the test outside the simulated Mac (for example when the binary is run by hand), except
// under CI=true, where that is a failure: CI must never skip these tests.
#define NUVRA_REQUIRE_SIM()                                                                        \
    do {                                                                                           \
        if (const std::string simReason = SimMac::unavailableReason(); !simReason.empty()) {       \
            if (const char* ci = std::getenv("CI"); ci && std::string(ci) == "true") {             \
                FAIL() << simReason;                                                               \
            }                                                                                      \
            GTEST_SKIP() << simReason;                                                             \
        }                                                                                          \
    } while (false)
