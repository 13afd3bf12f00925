// The core of sim/run: builds a throwaway simulated Mac and runs a command in it.
//
// One process does every mount and file operation with system calls, because each test case
// starts its own simulated Mac and every extra program start costs milliseconds here.
//
//   simroot --repo DIR [--user] [--name NAME] [--scene NAME] [--pkexec MODE] [--build DIR]
//           [--output DIR] [--] [CMD ...]
//
// The host side enters new mount and PID namespaces (and a user namespace when not root) and
// forks PID 1 of the simulation, which mounts an overlay of the host root whose writes go to a
// tmpfs, shows the repository and build tree read-only and the output folder writable under
// /sim-host, chroots into it, installs the fake tools, creates the user, and runs CMD.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <initializer_list>
#include <map>
#include <net/if.h>
#include <optional>
#include <sched.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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
// Where the host's folders appear inside. No product path, scene or fake tool lies under it, so
// nothing meant for the simulated Mac can remove or change them, wherever they lie on the host.
const std::string hostFoldersInside = "/sim-host";
const std::string lsSupport = "/System/Library/Frameworks/CoreServices.framework/Frameworks/"
                              "LaunchServices.framework/Support";

// Fake tool name -> folder it is installed in under its own name.
const std::map<std::string, std::string> toolFolders = {
    {"defaults", "/usr/bin"},  {"security", "/usr/bin"}, {"tccutil", "/usr/bin"},
    {"getconf", "/usr/bin"},   {"pkexec", "/usr/bin"},   {"pkill", "/usr/bin"},
    {"killall", "/usr/bin"},   {"launchctl", "/bin"},    {"PlistBuddy", "/usr/libexec"},
    {"lsregister", lsSupport}, {"sudo", "/usr/bin"},     {"screencapture", "/usr/sbin"},
    {"osascript", "/usr/bin"}, {"pkgutil", "/usr/sbin"}};
// Real tools the fakes and wrappers hand over to, kept under libexecDir/host.
const std::vector<std::string> hostTools = {"/usr/bin/getconf", "/usr/bin/pkill",
                                            "/usr/bin/killall"};

struct Options {
    std::string repo;
    bool asUser = false;
    std::string name = "tester";
    std::string scene;
    std::string pkexecMode = "approve";
    std::string build;        // shown read-only, when given
    std::string output;       // the one folder whose writes reach the host, when given
    bool hostNetwork = false; // the host's network (its abstract sockets: a person's display)
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

bool inside(const std::string& path, const std::string& folder) {
    return path == folder || path.starts_with(folder + "/");
}

// Why a folder cannot take the simulation's writes: the system's files (programs, libraries,
// settings, state in /var and /run) and root's own (its home's folders and files, which hold keys
// and settings; a checkout in a folder of its own there is fine). /var/tmp is scratch like /tmp.
std::string outputFolderProblem(const std::string& path) {
    for (const char* folder : {"/bin", "/boot", "/etc", "/lib", "/lib32", "/lib64", "/libx32",
                               "/sbin", "/usr", "/run"}) {
        if (inside(path, folder)) {
            return std::string("it lies among the system's files in ") + folder;
        }
    }
    if (inside(path, "/var") && !inside(path, "/var/tmp")) {
        return "it lies among the system's files in /var";
    }
    if (path == "/root" || path.starts_with("/root/.")) {
        return "it lies among root's own files in /root";
    }
    return {};
}

// Why a host folder cannot be shown inside the simulated Mac, or empty when it can. The overlay
// hides a shown folder's host path, which the system's own folders must never be; and a run's
// output never belongs among the system's files.
std::string hostFolderProblem(const std::string& path, bool writable) {
    if (path == "/") {
        return "it is the root folder";
    }
    if (path.find_first_of("\t\n") != std::string::npos) {
        return "its name holds a tab or a line break";
    }
    for (const char* folder :
         {"/bin", "/boot", "/etc", "/lib", "/lib64", "/sbin", "/usr", "/var"}) {
        if (path == folder) {
            return std::string("it is the host's ") + folder;
        }
    }
    if (writable) {
        if (const std::string problem = outputFolderProblem(path); !problem.empty()) {
            return problem;
        }
    }
    for (const char* folder : {"/dev", "/proc", "/sys"}) {
        if (inside(path, folder)) {
            return std::string("it lies inside ") + folder;
        }
    }
    return {};
}

[[noreturn]] void refuseFolder(const std::string& path, const std::string& role,
                               const std::string& problem) {
    usageError("cannot use " + path + " as the " + role + ": " + problem +
               "; give a folder of its own" +
               (role == "output folder" ? ", for example an empty one in the build tree" : ""));
}

// The canonical path of a folder given on the command line; refuses what cannot be shown before
// anything runs.
std::string hostFolder(const std::string& given, const std::string& role, bool writable) {
    std::error_code ec;
    const std::string path = fs::weakly_canonical(fs::absolute(given, ec), ec).string();
    if (ec || !fs::is_directory(path, ec)) {
        usageError("the " + role + " '" + given + "' is not a folder" +
                   (writable ? " (create it first)" : ""));
    }
    if (const std::string problem = hostFolderProblem(path, writable); !problem.empty()) {
        refuseFolder(path, role, problem);
    }
    return path;
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
        } else if (a == "--host-network") {
            o.hostNetwork = true;
        } else if (a == "--repo") {
            o.repo = value(a);
        } else if (a == "--name") {
            o.name = value(a);
        } else if (a == "--scene") {
            o.scene = value(a);
        } else if (a == "--pkexec") {
            o.pkexecMode = value(a);
        } else if (a == "--build") {
            o.build = hostFolder(value(a), "build tree", false);
        } else if (a == "--output") {
            o.output = hostFolder(value(a), "output folder", true);
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
    o.repo = hostFolder(o.repo, "repository", false);
    // The sources and the build tree stay read-only: the output folder may not hold them.
    for (const std::string& tree : {o.repo, o.build}) {
        if (!o.output.empty() && !tree.empty() && inside(tree, o.output)) {
            refuseFolder(o.output, "output folder", "it holds " + tree + ", which stays read-only");
        }
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
    // Its own host name, System V IPC and network as well: nothing set inside reaches the host's,
    // and servers inside (an X server's abstract socket) never meet another simulated Mac's.
    int flags = CLONE_NEWNS | CLONE_NEWPID | CLONE_NEWUTS | CLONE_NEWIPC;
    if (!o.hostNetwork) {
        flags |= CLONE_NEWNET;
    }
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

// A host folder shown inside the simulated Mac, at a fixed place under hostFoldersInside.
struct HostFolder {
    std::string host;
    std::string inside;
    bool writable;
    std::string variable; // the environment variable naming `inside` for the command
};

// The shown folders, innermost host path first, so that the first match translates a path.
std::vector<HostFolder> shownFolders(const Options& o) {
    std::vector<HostFolder> folders = {{o.repo, hostFoldersInside + "/repo", false, "SIM_REPO"}};
    if (!o.build.empty()) {
        folders.push_back({o.build, hostFoldersInside + "/build", false, "SIM_BUILD"});
    }
    if (!o.output.empty()) {
        folders.push_back({o.output, hostFoldersInside + "/output", true, "SIM_OUTPUT"});
    }
    std::stable_sort(folders.begin(), folders.end(), [](const HostFolder& a, const HostFolder& b) {
        return a.host.size() > b.host.size();
    });
    return folders;
}

// Where a host path appears inside, or the path unchanged when no shown folder holds it. Runs on
// the host side, where a path can still be made canonical (a build tree reached through a link).
std::string translated(const std::vector<HostFolder>& folders, const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return path;
    }
    auto within = [&](const std::string& candidate) -> std::optional<std::string> {
        for (const HostFolder& folder : folders) {
            if (inside(candidate, folder.host)) {
                return folder.inside + candidate.substr(folder.host.size());
            }
        }
        return std::nullopt;
    };
    if (auto inner = within(path)) {
        return *inner;
    }
    std::error_code ec;
    const std::string canonical = fs::weakly_canonical(path, ec).string();
    if (auto inner = within(canonical); inner && !ec) {
        return *inner;
    }
    return path;
}

// Arguments and environment values naming a path in a shown folder now name it where it is seen.
void translateEnvironment(const std::vector<HostFolder>& folders) {
    std::vector<std::pair<std::string, std::string>> changed;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string value = text.substr(equals + 1);
        if (std::string inner = translated(folders, value); inner != value) {
            changed.emplace_back(text.substr(0, equals), std::move(inner));
        }
    }
    for (const auto& [name, value] : changed) {
        setenv(name.c_str(), value.c_str(), 1);
    }
}

bool onRootFileSystem(const std::string& path) {
    struct stat rootStat {};
    struct stat pathStat {};
    return stat("/", &rootStat) == 0 && stat(path.c_str(), &pathStat) == 0 &&
           rootStat.st_dev == pathStat.st_dev;
}

// The shown folders the overlay of the host root would also show at their host paths, outermost
// only. (The simulation's /tmp is a fresh tmpfs, which shows nothing of the host's.)
std::vector<std::string> foldersToHide(const std::vector<HostFolder>& folders) {
    std::vector<std::string> paths;
    for (const HostFolder& folder : folders) {
        paths.push_back(folder.host);
    }
    std::sort(paths.begin(), paths.end(),
              [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    std::vector<std::string> hidden;
    for (const std::string& path : paths) {
        const bool covered = std::any_of(hidden.begin(), hidden.end(),
                                         [&](const std::string& h) { return inside(path, h); });
        if (!covered && !inside(path, "/tmp") && onRootFileSystem(path)) {
            hidden.push_back(path);
        }
    }
    return hidden;
}

// Makes a host path vanish from the overlay: a whiteout (a 0/0 character device) in the upper
// layer hides the lower layer's entry. Its parents get the host's owners and modes, so the
// folders around it look as they do on the host. A checkout is thus seen only at its neutral
// place, and a scan of the simulated Mac never finds the repository's own files.
void hideFromOverlay(const std::string& upper, const std::string& path) {
    std::string partial;
    for (const auto& part : fs::path(path).parent_path().relative_path()) {
        partial += "/" + part.string();
        struct stat host {};
        check(stat(partial.c_str(), &host), "stat " + partial);
        const std::string copy = upper + partial;
        if (mkdir(copy.c_str(), 0700) != 0 && errno != EEXIST) {
            check(-1, "mkdir " + copy);
        }
        check(chown(copy.c_str(), host.st_uid, host.st_gid), "chown " + copy);
        check(chmod(copy.c_str(), host.st_mode & 07777), "chmod " + copy);
    }
    check(mknod((upper + path).c_str(), S_IFCHR | 0600, makedev(0, 0)), "hide " + path);
}

// A /dev of the simulation's own: the few devices programs expect, each bound from the host's
// node (which works in a user namespace too, where no node can be made), a terminal layer of its
// own, and a private /dev/shm. The host's disks, consoles and the rest of /dev stay outside.
// /dev/console is an empty file of root's: nobody is logged in at the console until a scene
// binds the user's file over it.
void mountMinimalDev(const std::string& dev) {
    mountOrThrow("simdev", dev, "tmpfs", MS_NOSUID | MS_NOEXEC, "mode=755");
    for (const char* node : {"null", "zero", "full", "random", "urandom", "tty"}) {
        const std::string target = dev + "/" + node;
        writeFile(target, "");
        mountOrThrow(("/dev/" + std::string(node)).c_str(), target, nullptr, MS_BIND);
    }
    writeFile(dev + "/console", "");
    chmod((dev + "/console").c_str(), 0600);
    check(mkdir((dev + "/pts").c_str(), 0755), "mkdir " + dev + "/pts");
    mountOrThrow("devpts", dev + "/pts", "devpts", MS_NOSUID | MS_NOEXEC,
                 "newinstance,ptmxmode=0666,mode=0620");
    check(mkdir((dev + "/shm").c_str(), 01777), "mkdir " + dev + "/shm");
    mountOrThrow("simshm", dev + "/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777");
    for (const auto& [link, target] : std::initializer_list<std::pair<const char*, const char*>>{
             {"ptmx", "pts/ptmx"},
             {"fd", "/proc/self/fd"},
             {"stdin", "/proc/self/fd/0"},
             {"stdout", "/proc/self/fd/1"},
             {"stderr", "/proc/self/fd/2"}}) {
        check(symlink(target, (dev + "/" + link).c_str()), std::string("symlink ") + link);
    }
}

// /sys to read only. A fresh sysfs needs root of the initial namespaces; in a user namespace the
// host's is bound and made read-only (its own flags kept, which that namespace may not drop).
void mountReadOnlySys(const std::string& sys) {
    const unsigned long flags = MS_NOSUID | MS_NODEV | MS_NOEXEC;
    if (mount("sysfs", sys.c_str(), "sysfs", flags | MS_RDONLY, nullptr) == 0) {
        return;
    }
    mountOrThrow("/sys", sys, nullptr, MS_BIND | MS_REC);
    mountOrThrow(nullptr, sys, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | flags);
}

// A new network namespace has only its loopback, and that down: brought up, so that programs
// talking to this machine (127.0.0.1, ::1) work as on a Mac.
void bringUpLoopback() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    if (up) {
        request.ifr_flags |= IFF_UP;
        up = ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    }
    const int error = errno; // before close() can change it
    if (fd >= 0) {
        close(fd);
    }
    if (!up) {
        throw std::runtime_error(std::string("cannot bring up the loopback: ") +
                                 std::strerror(error));
    }
}

// The simulation's own host name, in its own UTS namespace.
void nameTheHost() {
    const std::string name = "simulated-mac";
    check(sethostname(name.c_str(), name.size()), "sethostname");
}

struct OpenFolder {
    HostFolder folder;
    int fd;
};

std::string buildRoot(const std::vector<HostFolder>& folders) {
    // Opened before the staging tmpfs goes over /tmp, which may hide some of them.
    std::vector<OpenFolder> shown;
    for (const HostFolder& folder : folders) {
        const int fd = open(folder.host.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            throw std::runtime_error("cannot open " + folder.host + ": " + std::strerror(errno));
        }
        shown.push_back({folder, fd});
    }
    const std::vector<std::string> hidden = foldersToHide(folders);
    check(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), "make mounts private");
    // The staging tmpfs hides the host's /tmp, in this mount namespace only.
    const std::string stage = "/tmp";
    const std::string root = stage + "/root";
    mountOrThrow("simstage", stage, "tmpfs", 0, "mode=755");
    for (const char* d : {"/upper", "/work", "/root"}) {
        check(mkdir((stage + d).c_str(), 0755), "mkdir");
    }
    for (const std::string& path : hidden) {
        hideFromOverlay(stage + "/upper", path);
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
    mountMinimalDev(root + "/dev");
    mountReadOnlySys(root + "/sys");
    // The host's /tmp would let writes through.
    mountOrThrow("simtmp", root + "/tmp", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777");
    for (const OpenFolder& entry : shown) {
        const std::string target = root + entry.folder.inside;
        fs::create_directories(target);
        const std::string source = "/proc/self/fd/" + std::to_string(entry.fd);
        // Not recursive: a mount inside the folder must not bring its own writes through.
        mountOrThrow(source.c_str(), target, nullptr, MS_BIND);
        if (!entry.folder.writable) {
            mountOrThrow(nullptr, target, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | MS_NOSUID);
        }
        close(entry.fd);
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
void installTools() {
    fs::create_directories(libexecDir + "/host");
    for (const std::string& tool : hostTools) {
        copyFile(tool, libexecDir + "/host/" + fs::path(tool).filename().string());
    }
    const std::string tools = libexecDir + "/tools";
    fs::create_directories(tools);
    for (const auto& entry : fs::directory_iterator(hostFoldersInside + "/repo/sim/tools")) {
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

// Which Mac this is: macOS's version file at its real path, and the model name a Mac gives for
// sysctl's hw.model, which Linux has no place for, beside the fake tools. Both root's, as on a Mac.
void installMachineIdentity() {
    fs::create_directories("/System/Library/CoreServices");
    copyFile(hostFoldersInside + "/repo/sim/SystemVersion.plist",
             "/System/Library/CoreServices/SystemVersion.plist");
    writeFile(libexecDir + "/hw.model", "Mac15,6\n");
}

// A home holding `homeFolders` and the per-user folders T, C and 0 under `darwinUserFolder`
// (private to their user, as macOS makes them), all created. Returns what the account must own.
std::vector<std::string> makeAccountFolders(const std::string& home,
                                            const std::string& darwinUserFolder,
                                            std::initializer_list<const char*> homeFolders) {
    std::vector<std::string> owned = {home, darwinUserFolder};
    for (const char* sub : homeFolders) {
        owned.push_back(home + "/" + sub);
    }
    for (const char* sub : {"/T", "/C", "/0"}) {
        owned.push_back(darwinUserFolder + sub);
    }
    for (const std::string& folder : owned) {
        fs::create_directories(folder);
    }
    for (const char* sub : {"/T", "/C", "/0"}) {
        chmod((darwinUserFolder + sub).c_str(), 0700);
    }
    return owned;
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
    std::vector<std::string> userOwned =
        makeAccountFolders(home, darwinUserDir,
                           {"Desktop", "Documents", "Downloads", "Library", "Library/Preferences",
                            "Library/Application Support", "Library/Caches", "Library/Logs",
                            "Library/LaunchAgents", "Library/Keychains"});
    for (const std::string& folder : {std::string("/var/folders/mv"), stateDir}) {
        fs::create_directories(folder);
        userOwned.push_back(folder);
    }
    for (const char* d : {"/Applications", "/Library/Input Methods", "/Library/Keychains"}) {
        fs::create_directories(d);
    }
    // The fake tools' state stands for system daemons every account talks to: any account's
    // tools may replace its files (no sticky bit, which would keep one account's from another's).
    chmod(stateDir.c_str(), 0777);
    fs::create_directories(logDir);
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
    const std::vector<std::string> owned =
        makeAccountFolders(secondHome, secondDarwinUserDir,
                           {"Library/Preferences", "Library/Logs", "Library/LaunchAgents"});
    if (canChownToSimUser()) {
        for (const std::string& path : owned) {
            check(chown(path.c_str(), secondUid, simGid), "chown " + path);
        }
    }
    writeFile(stateDir + "/users", o.name + "\t" + std::to_string(simUid) + "\t" +
                                       std::to_string(simGid) + "\t" + home + "\t" + darwinUserDir +
                                       "\n" + secondUser + "\t" + std::to_string(secondUid) + "\t" +
                                       std::to_string(simGid) + "\t" + secondHome + "\t" +
                                       secondDarwinUserDir + "\n");
}

void setSimEnvironment(const Options& o, const std::vector<HostFolder>& folders,
                       const std::string& home) {
    // Lets test programs find the folders their build compiled in: "HOST<tab>INSIDE" lines.
    std::string hostPaths;
    for (const HostFolder& folder : folders) {
        hostPaths += folder.host + "\t" + folder.inside + "\n";
        setenv(folder.variable.c_str(), folder.inside.c_str(), 1);
    }
    const std::map<std::string, std::string> vars = {
        {"SIM_HOST_PATHS", hostPaths},
        {"HOME", home},
        {"USER", o.name},
        {"LOGNAME", o.name},
        {"TMPDIR", darwinUserDir + "/T/"},
        {"SIM", "1"},
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

// Starts the broker that runs approved pkexec commands as root, and returns once it listens: the
// command never has to wait for it (a wait with a deadline would fail on a busy machine).
void startPkexecBroker() {
    int ready[2];
    check(pipe2(ready, O_CLOEXEC), "pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        for (int s : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
            signal(s, SIG_DFL);
        }
        // Without close-on-exec (dup2 onto itself would keep the flag).
        ready[1] == 3 ? fcntl(3, F_SETFD, 0) : dup2(ready[1], 3);
        setenv("SIM_READY_FD", "3", 1);
        const std::string broker = libexecDir + "/tools/pkexec-broker";
        execl(broker.c_str(), broker.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    char line[8];
    while (read(ready[0], line, sizeof line) < 0 && errno == EINTR) {
    }
    close(ready[0]); // a line once it listens; end of file if it failed to start
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
    const std::vector<HostFolder> folders = shownFolders(o);
    const std::string cwd = translated(folders, fs::current_path().string());
    std::vector<std::string> command;
    for (const std::string& arg : o.command) {
        command.push_back(translated(folders, arg));
    }
    translateEnvironment(folders);
    nameTheHost();
    if (!o.hostNetwork) {
        bringUpLoopback();
    }
    const auto systemFolders = hostIdentities();
    const std::string root = buildRoot(folders);
    check(chroot(root.c_str()), "chroot");
    check(chdir("/"), "chdir");
    requireNoHostFolder(systemFolders);
    installTools();
    installMachineIdentity();
    const std::string home = makeUser(o);
    makeSecondUser(o, home);
    setSimEnvironment(o, folders, home);

    if (o.asUser && fs::exists(libexecDir + "/tools/pkexec-broker")) {
        startPkexecBroker();
    }
    if (!o.scene.empty()) {
        const int status = runAndReap({hostFoldersInside + "/repo/sim/scene", o.scene}, false);
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
