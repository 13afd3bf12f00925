// The real sourcectl program, run as a child process against a prepared home folder: the exact
// bytes it writes (standard output and error together) and exit statuses.
#include "TemporaryHome.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace testing_home;

namespace {

struct ProgramRun {
    int exitStatus = -1;
    std::string out; // standard output and error
};

ProgramRun runSourcectl(const std::filesystem::path& home, const std::vector<std::string>& args) {
    std::vector<std::string> argStrings{SOURCECTL_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argStrings) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> envStrings{"HOME=" + home.string(), "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (auto& entry : envStrings) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);

    ProgramRun run;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) {
            run.out.append(buffer, static_cast<size_t>(got));
        }
    }
    ::close(pipeFds[0]);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << SOURCECTL_PATH;
        return run;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(SourcectlProgram, UsageAndUnknownCommand) {
    TemporaryHome home;
    ProgramRun usage = runSourcectl(home.path(), {});
    EXPECT_EQ(usage.out, "Usage: sourcectl --disable-source|--disable-all|--enable-source|"
                         "--is-enabled|--enable-remaining|--verify\n");
    EXPECT_EQ(usage.exitStatus, 1);

    ProgramRun unknown = runSourcectl(home.path(), {"--DISABLE-ALL"});
    EXPECT_EQ(unknown.out, "Unknown command: --DISABLE-ALL\n");
    EXPECT_EQ(unknown.exitStatus, 1);
}

TEST(SourcectlProgram, WithoutTheProduct) {
    TemporaryHome home;
    writeFile(home.preferences(), preferencesWith(""));
    const std::string before = readFile(home.preferences());

    ProgramRun disableAll = runSourcectl(home.path(), {"--disable-all"});
    EXPECT_EQ(disableAll.out, "no nuvra sources found\n");
    EXPECT_EQ(disableAll.exitStatus, 0);

    ProgramRun isEnabled = runSourcectl(home.path(), {"--is-enabled"});
    EXPECT_EQ(isEnabled.out, "ENABLED=false\nERROR: parent not found\n");
    EXPECT_EQ(isEnabled.exitStatus, 0);
    EXPECT_EQ(readFile(home.preferences()), before);
}

TEST(SourcectlProgram, DisableAllRemovesExactlyTheProductsEntries) {
    TemporaryHome home;
    home.addNuvraInputMethod();
    writeFile(home.preferences(),
              preferencesWith(methodEntry(nuvraBundleID) + modeEntry(nuvraBundleID, nuvraModeID)));

    ProgramRun run = runSourcectl(home.path(), {"--disable-all", "ignored"});
    EXPECT_EQ(run.out, "TISDisable(ai.nuvra.inputmethod.NuvraInput.default) \u2192 0\n"
                       "TISDisable(ai.nuvra.inputmethod.NuvraInput) \u2192 0\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(canonicalXML(readFile(home.preferences())), canonicalXML(preferencesWith("")));

    ProgramRun verify = runSourcectl(home.path(), {"--verify"});
    EXPECT_EQ(verify.out, "current=com.apple.keylayout.ABC\n"
                          "NOT switched, current: com.apple.keylayout.ABC\n"
                          "  ai.nuvra.inputmethod.NuvraInput: enabled=false selectable=false\n"
                          "  ai.nuvra.inputmethod.NuvraInput.default: enabled=false "
                          "selectable=true\n");

    ProgramRun enable = runSourcectl(home.path(), {"--enable-source"});
    EXPECT_EQ(enable.out, "TISEnable(ai.nuvra.inputmethod.NuvraInput) \u2192 0\n"
                          "enabled_after=true\n");
    EXPECT_EQ(enable.exitStatus, 0);
}

} // namespace
