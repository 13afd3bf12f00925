// The core of sim/run: builds a throwaway simulated Mac and runs a command in it.
//
// One process does every mount and file operation with system calls, because each test case
// starts its own simulated Mac and every extra program start costs milliseconds here.
//
//   simroot --repo DIR [--user] [--name NAME] [--scene NAME] [--pkexec MODE] [--bind DIR]...
//           [--] [CMD ...]
//
// The host side enters new mount and PID namespaces (and a user namespace when not root) and
// forks PID 1 of the simulation, which mounts an overlay of the host root whose writes go to a
// tmpfs, chroots into it, installs the fake tools, creates the user, and runs CMD.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <sched.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int skipStatus = 77;
constexpr uid_t simUid = 501; // the first user of a Mac
constexpr gid_t simGid = 20;  // group "staff"
const std::string darwinUserDir = "/var/folders/mv/x8b0x3qn2g53p4j0kfh9lfm40000gn";
const std::string stateDir = "/var/db/sim";
const std::string logDir = "/var/log/sim";
const std::string libexecDir = "/usr/libexec/sim";
const std::string lsSupport = "/System/Library/Frameworks/CoreServices.framework/Frameworks/"
                              "LaunchServices.framework/Support";

// Fake tool name -> folder it is installed in under its own name.
const std::map<std::string, std::string> toolFolders = {
    {"defaults", "/usr/bin"}, {"security", "/usr/bin"}, {"tccutil", "/usr/bin"},
    {"getconf", "/usr/bin"},  {"pkexec", "/usr/bin"},   {"pkill", "/usr/bin"},
    {"killall", "/usr/bin"},  {"launchctl", "/bin"},    {"PlistBuddy", "/usr/libexec"},
    {"lsregister", lsSupport}, {"sudo", "/usr/bin"}};
// Real tools the fakes and wrappers hand over to, kept under libexecDir/host.
const std::vector<std::string> hostTools = {"/usr/bin/getconf", "/usr/bin/pkill",
                                            "/usr/bin/killall"};

struct Options {
    std::string repo;
    bool asUser = false;
    std::string name = "tester";
    std::string scene;
    std::string pkexecMode = "approve";
    std::vector<std::string> binds;
    std::vector<std::string> command;
};

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "sim/run: %s\n", message.c_str());
    std::exit(2);
}

// Listing a gtest binary's cases needs no simulated Mac; letting it through keeps test discovery
// working where the cases themselves will be skipped.
std::vector<std::string> commandForListing;

[[noreturn]] void refuse(const std::string& reason) {
    if (std::find(commandForListing.begin(), commandForListing.end(), "--gtest_list_tests") !=
        commandForListing.end()) {
        std::vector<char*> argv;
        for (std::string& arg : commandForListing) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
    }
    const char* ci = std::getenv("CI");
    if (ci && std::string(ci) == "true") {
        std::fprintf(stderr, "sim/run: cannot build the simulated Mac: %s (CI must not skip)\n",
                     reason.c_str());
        std::exit(1);
    }
    std::fprintf(stderr, "sim/run: skipped: %s\n", reason.c_str());
    std::exit(skipStatus);
}

void check(int result, const std::string& what) {
    if (result != 0) {
        throw std::runtime_error(what + ": " + std::strerror(errno));
    }
}

bool validUserName(const std::string& name) {
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    });
}

Options parseOptions(int argc, char** argv) {
    Options o;
    int i = 1;
    auto value = [&](const std::string& flag) -> std::string {
        if (i + 1 >= argc) {
            usageError(flag + " needs a value");
        }
        return argv[++i];
    };
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a.empty() || a[0] != '-') {
            break;
        }
        if (a == "--user") {
            o.asUser = true;
        } else if (a == "--repo") {
            o.repo = value(a);
        } else if (a == "--name") {
            o.name = value(a);
        } else if (a == "--scene") {
            o.scene = value(a);
        } else if (a == "--pkexec") {
            o.pkexecMode = value(a);
        } else if (a == "--bind") {
            o.binds.push_back(fs::weakly_canonical(value(a)).string());
        } else {
            usageError("unknown option " + a + " (see sim/run --help)");
        }
    }
    for (; i < argc; ++i) {
        o.command.emplace_back(argv[i]);
    }
    if (o.repo.empty() || o.repo[0] != '/') {
        usageError("--repo must be an absolute path");
    }
    if (!validUserName(o.name)) {
        usageError("bad user name '" + o.name + "'");
    }
    if (o.pkexecMode != "approve" && o.pkexecMode != "dismiss" && o.pkexecMode != "fail") {
        usageError("--pkexec must be approve, dismiss or fail");
    }
    return o;
}

int exitCode(int status) {
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// ---------------------------------------------------------------------------------------------
// Host side.

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream f(path);
    f << text;
    if (!f.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

void enterNamespaces(const Options& o) {
    int flags = CLONE_NEWNS | CLONE_NEWPID;
    const bool privileged = geteuid() == 0;
    if (!privileged) {
        if (o.asUser) {
            refuse("--user needs real root (an unprivileged user namespace maps only one user)");
        }
        flags |= CLONE_NEWUSER;
    }
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(flags) != 0) {
        refuse(std::string("cannot create namespaces: ") + std::strerror(errno));
    }
    if (!privileged) {
        writeFile("/proc/self/setgroups", "deny");
        writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
        writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    }
}

pid_t simPid = 0;

void endSimulation(int signum) {
    // Killing PID 1 takes every process of its namespace along.
    kill(simPid, SIGKILL);
    _exit(128 + signum);
}

// Interrupts are left to the command inside; a termination request ends the whole simulation.
[[noreturn]] void waitForSimulation(pid_t child) {
    simPid = child;
    signal(SIGINT, SIG_IGN);
    signal(SIGQUIT, SIG_IGN);
    signal(SIGTERM, endSimulation);
    signal(SIGHUP, endSimulation);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::exit(exitCode(status));
}

// ---------------------------------------------------------------------------------------------
// PID 1 of the simulation.

void mountOrThrow(const char* source, const std::string& target, const char* type,
                  unsigned long flags, const std::string& data = {}) {
    check(mount(source, target.c_str(), type, flags, data.empty() ? nullptr : data.c_str()),
          "mount " + target);
}

// False in an unprivileged user namespace, where the simulated user's id is not mapped.
bool canChownToSimUser() {
    std::ifstream f("/proc/self/uid_map");
    long inside = 0, outside = 0, count = 0;
    while (f >> inside >> outside >> count) {
        if (inside <= simUid && simUid < inside + count) {
            return true;
        }
    }
    return false;
}

// Folders the simulated Mac writes into. A bind that covers one of them would let those writes
// through to the host, so no bind may be one of them or hold one of them.
const std::vector<std::string> simWritesInto = {
    "/usr/bin",     "/usr/libexec", "/usr/local", "/etc",          "/var/folders", "/var/db",
    "/var/log/sim", "/var/decoy",   "/Users",     "/Applications", "/Library",     "/System",
    "/run/sim",     "/tmp",         "/dev",       "/proc",         "/sys",         "/private"};
// Folders whose insides belong to the simulated Mac: nothing may be bound inside them either.
// (/tmp is not one: a checkout in /tmp is bound into the simulation's own fresh /tmp.)
const std::vector<std::string> simOwns = {
    "/usr/bin",      "/usr/libexec", "/etc",    "/var/folders", "/var/db", "/var/log/sim", "/Users",
    "/Applications", "/Library",     "/System", "/private",     "/dev",    "/proc",        "/sys"};

bool inside(const std::string& path, const std::string& folder) {
    return path == folder || path.starts_with(folder + "/");
}

// Why `path` may not be bound, or empty when it may.
std::string bindProblem(const std::string& path) {
    if (path.empty() || path[0] != '/' || path == "/") {
        return "the root folder";
    }
    for (const std::string& folder : simWritesInto) {
        if (inside(folder, path)) {
            return "it holds " + folder + ", which the simulated Mac writes into";
        }
    }
    for (const std::string& folder : simOwns) {
        if (inside(path, folder)) {
            return "it lies inside " + folder + ", which belongs to the simulated Mac";
        }
    }
    return {};
}

bool onRootFileSystem(const std::string& path) {
    struct stat rootStat {};
    struct stat pathStat {};
    return stat("/", &rootStat) == 0 && stat(path.c_str(), &pathStat) == 0 &&
           rootStat.st_dev == pathStat.st_dev;
}

// The folders bound into the simulation, outermost first, none inside another. The repository
// and --bind folders must be safe to bind; the command's folder and the working folder are
// bound only when the overlay cannot show them (another file system) and it is safe.
std::vector<std::string> foldersToBind(const Options& o, const std::string& cwd) {
    std::vector<std::string> wanted;
    for (const std::string& path : o.binds) {
        if (const std::string problem = bindProblem(path); !problem.empty()) {
            usageError("cannot bind " + path + ": " + problem);
        }
        wanted.push_back(path);
    }
    if (const std::string problem = bindProblem(o.repo); !problem.empty()) {
        usageError("cannot bind the repository " + o.repo + ": " + problem);
    }
    wanted.push_back(o.repo);
    std::vector<std::string> automatic = {cwd};
    if (!o.command.empty() && o.command[0].find('/') != std::string::npos) {
        automatic.push_back(fs::weakly_canonical(o.command[0]).parent_path().string());
    }
    for (const std::string& path : automatic) {
        if (bindProblem(path).empty() && !onRootFileSystem(path)) {
            wanted.push_back(path);
        }
    }
    std::sort(wanted.begin(), wanted.end(),
              [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    std::vector<std::string> result;
    for (const std::string& path : wanted) {
        const bool covered = std::any_of(result.begin(), result.end(),
                                         [&](const std::string& b) { return inside(path, b); });
        std::error_code ec;
        if (!covered && fs::is_directory(path, ec)) {
            result.push_back(path);
        }
    }
    return result;
}

struct OpenFolder {
    std::string path;
    int fd;
};

std::string buildRoot(const Options& o, const std::string& cwd) {
    // Opened before the staging tmpfs goes over /tmp, which may hide some of them.
    std::vector<OpenFolder> binds;
    for (const std::string& path : foldersToBind(o, cwd)) {
        const int fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
        }
        binds.push_back({path, fd});
    }
    check(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), "make mounts private");
    // The staging tmpfs hides the host's /tmp, in this mount namespace only.
    const std::string stage = "/tmp";
    const std::string root = stage + "/root";
    mountOrThrow("simstage", stage, "tmpfs", 0, "mode=755");
    for (const char* d : {"/upper", "/work", "/root"}) {
        check(mkdir((stage + d).c_str(), 0755), "mkdir");
    }
    const std::string options =
        "lowerdir=/,upperdir=" + stage + "/upper,workdir=" + stage + "/work";
    if (mount("overlay", root.c_str(), "overlay", 0, options.c_str()) != 0) {
        // In a user namespace "/" cannot be a lower layer (its submounts are locked), and the
        // mapped root could not write into the host's root-owned folders anyway.
        throw std::runtime_error(
            std::string("cannot overlay the host's root (") + std::strerror(errno) +
            (canChownToSimUser() ? ")"
                                 : "): an unprivileged user namespace cannot do it; run as root"));
    }
    mountOrThrow("proc", root + "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC);
    mountOrThrow("/dev", root + "/dev", nullptr, MS_BIND | MS_REC);
    mountOrThrow("/sys", root + "/sys", nullptr, MS_BIND | MS_REC);
    // The host's /tmp and /dev/shm would let writes through.
    mountOrThrow("simtmp", root + "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777");
    mountOrThrow("simshm", root + "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777");
    for (const OpenFolder& folder : binds) {
        fs::create_directories(root + folder.path);
        const std::string source = "/proc/self/fd/" + std::to_string(folder.fd);
        mountOrThrow(source.c_str(), root + folder.path, nullptr, MS_BIND | MS_REC);
        close(folder.fd);
    }
    return root;
}

// The folders the simulated Mac changes, as the host sees them (device and inode), taken before
// the chroot. The last line of defence compares them with what the simulation sees afterwards.
const std::vector<std::string> guardedFolders = {"/usr/bin", "/usr/libexec", "/usr/local", "/etc",
                                                 "/var"};

std::vector<std::pair<dev_t, ino_t>> hostIdentities() {
    std::vector<std::pair<dev_t, ino_t>> ids;
    for (const std::string& folder : guardedFolders) {
        struct stat st {};
        ids.emplace_back(stat(folder.c_str(), &st) == 0 ? std::pair{st.st_dev, st.st_ino}
                                                        : std::pair<dev_t, ino_t>{0, 0});
    }
    return ids;
}

void requireNoHostFolder(const std::vector<std::pair<dev_t, ino_t>>& host) {
    for (size_t i = 0; i < guardedFolders.size(); ++i) {
        struct stat st {};
        if (stat(guardedFolders[i].c_str(), &st) == 0 && host[i].first != 0 &&
            st.st_dev == host[i].first && st.st_ino == host[i].second) {
            throw std::runtime_error(guardedFolders[i] + " is the host's own folder");
        }
    }
}

void copyFile(const std::string& from, const std::string& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// Puts the fake tools at their macOS paths. They are copied, not linked, because the repository
// may be unreadable for the simulated user.
void installTools(const Options& o) {
    fs::create_directories(libexecDir + "/host");
    for (const std::string& tool : hostTools) {
        copyFile(tool, libexecDir + "/host/" + fs::path(tool).filename().string());
    }
    const std::string tools = libexecDir + "/tools";
    fs::create_directories(tools);
    for (const auto& entry : fs::directory_iterator(o.repo + "/sim/tools")) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name[0] != '.') {
            copyFile(entry.path().string(), tools + "/" + name);
        }
    }
    for (const auto& [name, folder] : toolFolders) {
        fs::create_directories(folder);
        const std::string target = folder + "/" + name;
        unlink(target.c_str());
        fs::create_symlink(tools + "/" + name, target);
    }
}

std::string makeUser(const Options& o) {
    const std::string home = "/Users/" + o.name;
    {
        std::ifstream in("/etc/passwd");
        std::string line;
        bool known = false;
        while (std::getline(in, line)) {
            known = known || line.starts_with(o.name + ":");
        }
        if (!known) {
            std::ofstream out("/etc/passwd", std::ios::app);
            out << o.name << ":x:" << simUid << ":" << simGid << ":Simulated User:" << home
                << ":/bin/bash\n";
        }
    }
    std::vector<std::string> userOwned = {home, "/var/folders/mv", darwinUserDir, stateDir};
    for (const char* sub : {"Desktop", "Documents", "Downloads", "Library", "Library/Preferences",
                            "Library/Application Support", "Library/Caches", "Library/Logs",
                            "Library/LaunchAgents", "Library/Keychains"}) {
        userOwned.push_back(home + "/" + sub);
    }
    for (const char* sub : {"/T", "/C", "/0"}) {
        userOwned.push_back(darwinUserDir + sub);
    }
    for (const std::string& d : userOwned) {
        fs::create_directories(d);
    }
    for (const char* d : {"/Applications", "/Library/Input Methods", "/Library/Keychains"}) {
        fs::create_directories(d);
    }
    fs::create_directories(logDir);
    for (const char* sub : {"/T", "/C", "/0"}) {
        chmod((darwinUserDir + sub).c_str(), 0700);
    }
    chmod(logDir.c_str(), 01777);
    const std::string callLog = logDir + "/calls.log";
    writeFile(callLog, "");
    chmod(callLog.c_str(), 0666);
    writeFile(stateDir + "/pkexec.mode", o.pkexecMode + "\n");
    userOwned.push_back(stateDir + "/pkexec.mode");
    if (canChownToSimUser()) {
        for (const std::string& path : userOwned) {
            check(chown(path.c_str(), simUid, simGid), "chown " + path);
        }
    }
    return home;
}

// A second account beside the simulated user, with a home and per-user folders of its own, so
// that tests can show what a run for one user leaves of another's. Every account is listed in
// stateDir/users (name, uid, gid, home, per-user folder), where the fake sudo finds its folders.
const std::string secondUser = "riley";
constexpr uid_t secondUid = 502;
const std::string secondDarwinUserDir = "/var/folders/zq/k7m2r9p41d8b3c6f5h0j2n4q0000gp";

void makeSecondUser(const Options& o, const std::string& home) {
    const std::string secondHome = "/Users/" + secondUser;
    if (o.name != secondUser) {
        std::ofstream(("/etc/passwd"), std::ios::app)
            << secondUser << ":x:" << secondUid << ":" << simGid << ":Second User:" << secondHome
            << ":/bin/bash\n";
    }
    std::vector<std::string> owned = {secondHome, secondDarwinUserDir};
    for (const char* sub : {"Library/Preferences", "Library/Logs", "Library/LaunchAgents"}) {
        owned.push_back(secondHome + "/" + sub);
    }
    for (const char* sub : {"/T", "/C", "/0"}) {
        owned.push_back(secondDarwinUserDir + sub);
    }
    for (const std::string& d : owned) {
        fs::create_directories(d);
    }
    for (const char* sub : {"/T", "/C", "/0"}) {
        chmod((secondDarwinUserDir + sub).c_str(), 0700);
    }
    if (canChownToSimUser()) {
        for (const std::string& path : owned) {
            check(chown(path.c_str(), secondUid, simGid), "chown " + path);
        }
    }
    writeFile(stateDir + "/users",
              o.name + "\t" + std::to_string(simUid) + "\t" + std::to_string(simGid) + "\t" +
                  home + "\t" + darwinUserDir + "\n" + secondUser + "\t" +
                  std::to_string(secondUid) + "\t" + std::to_string(simGid) + "\t" +
                  secondHome + "\t" + secondDarwinUserDir + "\n");
}

void setSimEnvironment(const Options& o, const std::string& home) {
    const std::map<std::string, std::string> vars = {
        {"HOME", home},
        {"USER", o.name},
        {"LOGNAME", o.name},
        {"TMPDIR", darwinUserDir + "/T/"},
        {"SIM", "1"},
        {"SIM_REPO", o.repo},
        {"SIM_USER", o.name},
        {"SIM_UID", std::to_string(simUid)},
        {"SIM_GID", std::to_string(simGid)},
        {"SIM_STATE_DIR", stateDir},
        {"SIM_CALL_LOG", logDir + "/calls.log"},
        {"SIM_DARWIN_USER_DIR", darwinUserDir},
        {"PATH", "/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin"},
    };
    for (const auto& [key, val] : vars) {
        setenv(key.c_str(), val.c_str(), 1);
    }
}

pid_t spawn(const std::vector<std::string>& command, bool asUser) {
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    for (int s : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
        signal(s, SIG_DFL);
    }
    if (asUser) {
        const gid_t groups[] = {simGid};
        if (setgroups(1, groups) != 0 || setgid(simGid) != 0 || setuid(simUid) != 0) {
            std::perror("sim/run: cannot become the simulated user");
            _exit(126);
        }
    }
    std::vector<char*> argv;
    for (const std::string& arg : command) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    std::fprintf(stderr, "sim/run: %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
}

// Runs the command and waits for it, reaping every orphan meanwhile (PID 1's duty).
int runAndReap(const std::vector<std::string>& command, bool asUser) {
    const pid_t pid = spawn(command, asUser);
    for (;;) {
        int status = 0;
        const pid_t done = wait(&status);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done < 0) {
            return 127;
        }
        if (done == pid) {
            return exitCode(status);
        }
    }
}

[[noreturn]] void simulationMain(const Options& o) {
    prctl(PR_SET_PDEATHSIG, SIGKILL); // the host side is gone: end the whole simulation
    signal(SIGINT, SIG_IGN);
    signal(SIGQUIT, SIG_IGN);
    const std::string cwd = fs::current_path().string();
    const auto hostFolders = hostIdentities();
    const std::string root = buildRoot(o, cwd);
    check(chroot(root.c_str()), "chroot");
    check(chdir("/"), "chdir");
    requireNoHostFolder(hostFolders);
    installTools(o);
    const std::string home = makeUser(o);
    makeSecondUser(o, home);
    setSimEnvironment(o, home);

    if (o.asUser && fs::exists(libexecDir + "/tools/pkexec-broker")) {
        spawn({libexecDir + "/tools/pkexec-broker"}, false);
    }
    if (!o.scene.empty()) {
        const int status = runAndReap({o.repo + "/sim/scene", o.scene}, false);
        if (status != 0) {
            std::fprintf(stderr, "sim/run: planting scene '%s' failed (%d)\n", o.scene.c_str(),
                         status);
            _exit(status);
        }
        writeFile(logDir + "/calls.log", ""); // tests start from an empty call log
    }
    if (chdir(cwd.c_str()) != 0 && chdir(home.c_str()) != 0) {
        std::perror("sim/run: chdir");
    }
    std::vector<std::string> command = o.command;
    if (command.empty()) {
        command = {"/bin/bash", "-i"};
    }
    // Ending PID 1 ends every process still running in the simulated Mac.
    _exit(runAndReap(command, o.asUser));
}

// PID 1's command line holds CMD's; a `pkill -f` run inside must never match it and end the
// whole simulation, so it is blanked to a fixed name once the options have been copied.
void hideCommandLine(int argc, char** argv) {
    char* start = argv[0];
    char* end = argv[argc - 1] + std::strlen(argv[argc - 1]);
    std::memset(start, 0, static_cast<size_t>(end - start));
    std::strncpy(start, "sim-init", static_cast<size_t>(end - start));
}

} // namespace

int main(int argc, char** argv) {
    const Options options = parseOptions(argc, argv);
    commandForListing = options.command;
    enterNamespaces(options);
    const pid_t child = fork();
    if (child < 0) {
        refuse(std::string("fork: ") + std::strerror(errno));
    }
    if (child == 0) {
        hideCommandLine(argc, argv);
        try {
            simulationMain(options);
        } catch (const std::exception& e) {
            refuse(e.what());
        }
    }
    waitForSimulation(child);
}
