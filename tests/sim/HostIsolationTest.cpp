// Runs sim/run from the host and checks what the host sees before, during and after.

#include "SimMac.h"

#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
extern char** environ;

namespace {

const std::string simRun = std::string(NUVRA_SOURCE_DIR) + "/sim/run";

// A scratch folder in the build tree, given to the simulated Mac as its output folder: the one
// host folder it may write into, seen inside as $SIM_OUTPUT.
class HostIsolation : public ::testing::Test {
protected:
    void SetUp() override {
        scratch = fs::path(NUVRA_BINARY_DIR) / "tests/sim" /
                  ("scratch-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(scratch);
        fs::create_directories(scratch);
    }
    void TearDown() override { fs::remove_all(scratch); }

    SimMac::RunResult sim(const std::vector<std::string>& options, const std::string& script) {
        std::vector<std::string> argv = {simRun, "--output", scratch.string()};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {"--", "/bin/sh", "-c", script});
        SimMac::RunResult r = SimMac::run(argv);
        if (r.status == 77) {
            skipped = r.output;
        }
        return r;
    }

    fs::path scratch;
    std::string skipped;
};

#define SKIP_IF_NO_SIM(result)                                                                     \
    if ((result).status == 77) {                                                                   \
        GTEST_SKIP() << skipped;                                                                   \
    }

// Host processes whose command line is exactly `argv` (other simulated Macs on the same host may
// run processes of the same name).
std::vector<pid_t> hostProcessesRunning(const std::vector<std::string>& argv) {
    std::string wanted;
    for (const std::string& arg : argv) {
        wanted += arg + '\0';
    }
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream cmdline(entry.path() / "cmdline", std::ios::binary);
        const std::string value((std::istreambuf_iterator<char>(cmdline)), {});
        if (value == wanted) {
            found.push_back(std::stoi(pid));
        }
    }
    return found;
}

// Without following symbolic links: a dangling link left on the host must count.
bool onHost(const fs::path& path) {
    std::error_code ec;
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

TEST_F(HostIsolation, WritesOutsideTheOutputFolderNeverReachTheHost) {
    const std::vector<fs::path> simOnly = {"/Applications/x",   "/usr/bin/defaults",
                                           "/usr/bin/security", "/usr/libexec/sim",
                                           "/etc/sim-was-here", "/Users/tester"};
    for (const auto& path : simOnly) {
        ASSERT_FALSE(onHost(path)) << path;
    }
    const auto realGetconf = fs::symlink_status("/usr/bin/getconf").type();
    // Started from /usr/bin: the working folder is the simulated Mac's own /usr/bin.
    const std::string inner = "mkdir -p /Applications/x && touch /etc/sim-was-here && "
                              "/usr/bin/defaults write com.example.t k -bool true && "
                              "/usr/bin/defaults export com.example.t - > "
                              "\"$SIM_OUTPUT/exported.plist\"";
    const auto r = SimMac::run({"/bin/sh", "-c", "cd /usr/bin && exec \"$@\"", "sh", simRun,
                                "--output", scratch.string(), "--", "/bin/sh", "-c", inner});
    SKIP_IF_NO_SIM(r);
    EXPECT_EQ(r.status, 0) << r.output;
    for (const auto& path : simOnly) {
        EXPECT_FALSE(onHost(path)) << path;
    }
    EXPECT_EQ(fs::symlink_status("/usr/bin/getconf").type(), realGetconf);
    // ... while the output folder received what the command wrote there.
    std::ifstream exported(scratch / "exported.plist");
    std::string text((std::istreambuf_iterator<char>(exported)), {});
    EXPECT_NE(text.find("<key>k</key>"), std::string::npos) << text;
}

TEST_F(HostIsolation, OutputFoldersAmongTheSystemsFilesAreRefusedBeforeAnythingRuns) {
    // The system's own folders, and the checkout, which must stay read-only.
    for (const char* folder : {"/", "/usr", "/usr/bin", "/etc", "/var", "/var/lib", "/run", "/root",
                               "/root/.ssh", "/proc/self", NUVRA_SOURCE_DIR}) {
        // A folder must exist to be refused for where it lies rather than for being missing. One
        // made here (root's .ssh on a host without it) goes again: the host is left as it was.
        std::error_code ignored;
        const bool made = fs::create_directory(folder, ignored);
        const auto r = SimMac::run({simRun, "--output", folder, "--", "/bin/true"});
        if (made) {
            fs::remove(folder, ignored);
        }
        EXPECT_EQ(r.status, 2) << folder;
        EXPECT_NE(r.output.find("cannot use /"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("give a folder of its own"), std::string::npos) << r.output;
    }
    EXPECT_EQ(SimMac::run({simRun, "--build", "/", "--", "/bin/true"}).status, 2);
}

// The checkout is seen only at a neutral place and only read-only, so nothing inside (the
// uninstaller removing its paths as root, a scene, a scan) can change it or find its files.
TEST_F(HostIsolation, TheCheckoutIsSeenReadOnlyAtANeutralPlaceOnly) {
    const std::string repo = NUVRA_SOURCE_DIR;
    // A file of the build tree that the command tries to remove (inside, under its neutral path).
    const fs::path canary = scratch.parent_path() / (scratch.filename().string() + ".canary");
    std::ofstream(canary).put('\n');
    const std::string script = "echo \"$SIM_REPO|$SIM_BUILD|$1|$(pwd)\"; "
                               "[ -e '" +
                               repo +
                               "' ] && echo 'host path seen'; "
                               "rm -f \"$2\" 2>/dev/null; "
                               "touch \"$SIM_REPO/written\" \"$SIM_BUILD/written\" 2>/dev/null; "
                               "[ -x \"$SIM_REPO/sim/run\" ] && [ -f \"$2\" ] && echo intact";
    const std::string command = "cd \"$0\" && exec \"$@\"";
    const auto r = SimMac::run({"/bin/sh", "-c", command, repo + "/sim", simRun, "--build",
                                NUVRA_BINARY_DIR, "--output", scratch.string(), "--", "/bin/sh",
                                "-c", script, "sh", repo + "/sim/run", canary.string()});
    SKIP_IF_NO_SIM(r);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "/sim-host/repo|/sim-host/build|/sim-host/repo/sim/run|/sim-host/repo/sim\n"
                        "intact\n");
    EXPECT_TRUE(fs::exists(canary));
    fs::remove(canary);
    EXPECT_FALSE(onHost(repo + "/written"));
    EXPECT_FALSE(onHost(fs::path(NUVRA_BINARY_DIR) / "written"));
}

// Beside the file system: the host's name, its System V IPC, its network, its devices and its
// kernel's files are out of reach inside. (Only looked at: a test that changed them would change
// the host's wherever a wall is missing.)
TEST_F(HostIsolation, TheHostsNameIpcNetworkDevicesAndKernelFilesAreWalledOff) {
    const int hostSegment = shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600);
    ASSERT_GE(hostSegment, 0);
    const auto r =
        sim({}, "hostname; "
                "ipcs -m | awk '{print $2}' | grep -qx " +
                    std::to_string(hostSegment) +
                    " && echo 'host IPC seen'; "
                    "ls -A /dev | tr '\\n' ' '; echo; "
                    "tail -n +3 /proc/net/dev | cut -d: -f1 | tr -d ' '; "
                    "echo x > /dev/full 2>/dev/null || echo 'full is full'; "
                    "awk '$2 == \"/sys\" {print \"sys \" substr($4, 1, 2)}' /proc/self/mounts");
    shmctl(hostSegment, IPC_RMID, nullptr);
    SKIP_IF_NO_SIM(r);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "simulated-mac\n"
                        "console fd full null ptmx pts random shm stderr stdin stdout tty urandom "
                        "zero \n"
                        "lo\n"
                        "full is full\n"
                        "sys ro\n");
}

TEST_F(HostIsolation, ExitStatusAndEnvironmentComeThrough) {
    auto r = sim({}, "exit 3");
    SKIP_IF_NO_SIM(r);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(sim({}, "kill -TERM $$").status, 128 + SIGTERM);

    r = sim({}, "echo \"$HOME|$TMPDIR|$(id -u)|$$\"; stat -c %u \"$HOME\" \"$TMPDIR\"");
    EXPECT_EQ(r.output, "/Users/tester|/var/folders/mv/x8b0x3qn2g53p4j0kfh9lfm40000gn/T/|0|2\n"
                        "501\n501\n");
    r = sim({"--user", "--name", "alex"}, "echo \"$HOME|$(id -u)|$(id -un)\"; touch ~/ok");
    EXPECT_EQ(r.output, "/Users/alex|501|alex\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(HostIsolation, ProcessesAreEndedInsideAndNoneOutlivesTheSimulation) {
    // Two pipes pass the turns without any waiting for time: the command inside writes a line to
    // descriptor 3 once its processes run, then reads descriptor 4 until the test has looked.
    // One "nuvraInput" is ended by pkill inside; a second one, detached and deaf to SIGTERM, is
    // left running when the command ends. Both must have become "nuvraInput" (their exec done, which
    // on a loaded machine can come late) before pkill looks for them.
    const std::string script =
        "cp /bin/sleep /tmp/nuvraInput; /tmp/nuvraInput 60 3>&- 4<&- & victim=$!; "
        "(trap '' TERM; exec setsid /tmp/nuvraInput 61 3>&- 4<&-) & "
        "until [ \"$(pgrep -x nuvraInput | wc -l)\" -eq 2 ]; do :; done; "
        "echo \"inside: $(ps -e -o comm= | sort | tr '\\n' ' ')\"; "
        "echo started >&3; exec 3>&-; read -r _ <&4; "
        "/usr/bin/pkill -x nuvraInput; wait $victim; echo \"victim status $?\"; "
        "pgrep -x nuvraInput >/dev/null && echo 'deaf one still running'";
    std::vector<std::string> args = {simRun, "--output", scratch.string(), "--", "/bin/sh",
                                     "-c",   script};
    int started[2];
    int checked[2];
    ASSERT_EQ(pipe2(started, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(checked, O_CLOEXEC), 0);
    // Above 4 first: a dup2 onto itself (an end already at 3 or 4) would keep close-on-exec.
    for (int* end : {&started[1], &checked[0]}) {
        const int moved = fcntl(*end, F_DUPFD_CLOEXEC, 10);
        close(*end);
        *end = moved;
    }
    const std::string output = (scratch / "out").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_adddup2(&actions, started[1], 3);
    posix_spawn_file_actions_adddup2(&actions, checked[0], 4);
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(started[1]);
    close(checked[0]);

    // A line once the processes run; end of file if the simulation ended first (a skip).
    char line[16] = {};
    const bool ready = read(started[0], line, sizeof line) > 0;
    close(started[0]);
    // The processes exist only in the simulated Mac's file system: their executable path is
    // not the host's.
    EXPECT_FALSE(fs::exists("/tmp/nuvraInput"));
    close(checked[1]); // end of file: the command goes on
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(output);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << text;
    }
    ASSERT_TRUE(ready) << text;
    EXPECT_NE(text.find("victim status 143"), std::string::npos) << text; // ended by SIGTERM
    EXPECT_NE(text.find("deaf one still running"), std::string::npos) << text;
    // Inside, only the simulation's own processes were visible: no host process such as init.
    EXPECT_NE(text.find("inside: "), std::string::npos);
    EXPECT_EQ(text.find("systemd"), std::string::npos) << text;
    EXPECT_EQ(text.find("ctest"), std::string::npos) << text;
    // The deaf one died with the simulation's PID namespace.
    EXPECT_TRUE(hostProcessesRunning({"/tmp/nuvraInput", "61"}).empty());
}

TEST_F(HostIsolation, OptionsAreChecked) {
    EXPECT_EQ(SimMac::run({simRun, "--pkexec", "maybe", "--", "true"}).status, 2);
    EXPECT_EQ(SimMac::run({simRun, "--name", "../x", "--", "true"}).status, 2);
    const auto help = SimMac::run({simRun, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--scene NAME"), std::string::npos);
}

} // namespace
