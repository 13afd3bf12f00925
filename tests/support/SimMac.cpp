#include "SimMac.h"

#include "Waiting.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace SimMac {
namespace {

std::string env(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string callLogPath() {
    return env("SIM_CALL_LOG", "/var/log/sim/calls.log");
}

void appendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool readHex4(const std::string& s, size_t& i, unsigned long& value) {
    if (i + 4 > s.size()) {
        return false;
    }
    value = std::stoul(s.substr(i, 4), nullptr, 16);
    i += 4;
    return true;
}

// Reads one JSON string starting at the opening quote; bytes outside escapes are kept as they are.
bool parseString(const std::string& s, size_t& i, std::string& out) {
    ++i; // opening quote
    while (i < s.size()) {
        const char c = s[i++];
        if (c == '"') {
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i >= s.size()) {
            return false;
        }
        const char e = s[i++];
        switch (e) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'u': {
            unsigned long cp = 0;
            try {
                if (!readHex4(s, i, cp)) {
                    return false;
                }
                if (cp >= 0xD800 && cp < 0xDC00 && s.compare(i, 2, "\\u") == 0) {
                    size_t j = i + 2;
                    unsigned long low = 0;
                    if (readHex4(s, j, low) && low >= 0xDC00 && low < 0xE000) {
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                        i = j;
                    }
                }
            } catch (const std::exception&) {
                return false;
            }
            appendUtf8(out, cp);
            break;
        }
        default:
            out += e;
            break; // \" \\ \/
        }
    }
    return false;
}

std::optional<Call> parseLine(const std::string& line) {
    size_t i = line.find_first_not_of(" \t");
    if (i == std::string::npos || line[i] != '[') {
        return std::nullopt;
    }
    ++i;
    Call call;
    for (;;) {
        i = line.find_first_not_of(" \t", i);
        if (i == std::string::npos) {
            return std::nullopt;
        }
        if (line[i] == ']') {
            return call;
        }
        if (line[i] != '"') {
            return std::nullopt;
        }
        std::string arg;
        if (!parseString(line, i, arg)) {
            return std::nullopt;
        }
        call.push_back(std::move(arg));
        i = line.find_first_not_of(" \t", i);
        if (i == std::string::npos) {
            return std::nullopt;
        }
        if (line[i] == ',') {
            ++i;
        } else if (line[i] != ']') {
            return std::nullopt;
        }
    }
}

// The calls in call-log text, each with its user id; see parseCallLog.
std::vector<CallByUser> parseCallLogWithUids(const std::string& text) {
    std::vector<CallByUser> result;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        auto call = parseLine(line);
        if (!call) {
            continue;
        }
        // Tabs inside the array are escaped, so the last raw tab starts the user id.
        int uid = -1;
        if (const auto tab = line.rfind('\t');
            tab != std::string::npos && line.compare(tab + 1, 4, "uid=") == 0) {
            uid = std::atoi(line.c_str() + tab + 5);
        }
        result.push_back({uid, std::move(*call)});
    }
    return result;
}

std::vector<Call> withoutUids(std::vector<CallByUser> byUser) {
    std::vector<Call> calls;
    calls.reserve(byUser.size());
    for (CallByUser& one : byUser) {
        calls.push_back(std::move(one.call));
    }
    return calls;
}

} // namespace

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool inside() {
    return env("SIM", "") == "1";
}

std::string repoDir() {
    return env("SIM_REPO", NUVRA_SOURCE_DIR);
}

std::string insidePath(const std::string& hostPath) {
    // sim/run lists the folders it shows as "HOST<tab>INSIDE" lines, innermost first.
    std::istringstream lines(env("SIM_HOST_PATHS", ""));
    for (std::string line; std::getline(lines, line);) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            continue;
        }
        const std::string host = line.substr(0, tab);
        if (hostPath == host || hostPath.starts_with(host + "/")) {
            return line.substr(tab + 1) + hostPath.substr(host.size());
        }
    }
    return hostPath;
}

std::string home() {
    return env("HOME", "/Users/tester");
}

std::string temporaryDirectory() {
    std::string dir = env("TMPDIR", "/tmp/");
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

std::vector<std::string> sessionLogMessages(const std::string& logFile) {
    std::ifstream log(logFile);
    std::vector<std::string> messages;
    for (std::string line; std::getline(log, line);) {
        // "[yyyy-MM-dd HH:mm:ss] " is 22 characters.
        if (line.size() >= 22 && line.front() == '[' && line[20] == ']') {
            messages.push_back(line.substr(22));
        }
    }
    return messages;
}

std::string assembleAppBundle(const std::string& folder, const std::string& sourcectl) {
    namespace fs = std::filesystem;
    const std::string bundle = folder + "/nuvraUninstaller.app";
    fs::create_directories(bundle + "/Contents/MacOS");
    fs::create_directories(bundle + "/Contents/Resources");
    fs::copy_file(sourcectl, bundle + "/Contents/Resources/sourcectl",
                  fs::copy_options::overwrite_existing);
    return bundle;
}

std::string unavailableReason() {
    if (inside()) {
        return {};
    }
    return "not inside the simulated Mac: run this test through ctest, or by hand with "
           "sim/run -- <test binary>";
}

RunResult run(const std::vector<std::string>& argv, const std::string& input) {
    RunResult result;
    int out[2];
    int in[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return result;
    }
    if (pipe2(in, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (spawned != 0) {
        close(in[1]);
        close(out[0]);
        return result;
    }
    // Feed standard input from a second thread so a large input cannot deadlock with output.
    // A child may end without reading all of it: that is EPIPE for this thread, not a SIGPIPE
    // that ends the whole test program.
    std::thread feeder([fd = in[1], &input] {
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        size_t done = 0;
        while (done < input.size()) {
            const ssize_t n = write(fd, input.data() + done, input.size() - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        close(fd);
    });
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0) {
            result.output.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(out[0]);
    feeder.join();
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    return result;
}

::testing::AssertionResult plantScene(const std::string& scene, bool withProcesses) {
    std::vector<std::string> argv = {repoDir() + "/sim/scene", scene};
    if (!withProcesses) {
        argv.push_back("--no-processes");
    }
    const RunResult r = run(argv);
    if (r.status != 0) {
        return ::testing::AssertionFailure()
               << "sim/scene " << scene << " failed (" << r.status << "): " << r.output;
    }
    clearCalls();
    return ::testing::AssertionSuccess();
}

std::vector<Call> parseCallLog(const std::string& text) {
    return withoutUids(parseCallLogWithUids(text));
}

std::vector<Call> calls() {
    return withoutUids(callsWithUids());
}

std::vector<Call> callsTo(const std::string& toolPath) {
    std::vector<Call> matching;
    for (Call& call : calls()) {
        if (!call.empty() && call[0] == toolPath) {
            matching.push_back(std::move(call));
        }
    }
    return matching;
}

std::vector<CallByUser> callsWithUids() {
    return parseCallLogWithUids(readFile(callLogPath()));
}

void clearCalls() {
    std::ofstream(callLogPath(), std::ios::trunc);
}

namespace {

const char* pkexecWord(Pkexec mode) {
    switch (mode) {
    case Pkexec::approve:
        return "approve";
    case Pkexec::dismiss:
        return "dismiss";
    case Pkexec::fail:
        return "fail";
    case Pkexec::hold:
        break;
    }
    return "hold";
}

std::string pkexecState(const std::string& name) {
    return env("SIM_STATE_DIR", "/var/db/sim") + "/pkexec." + name;
}

} // namespace

void setPkexec(Pkexec mode) {
    if (mode == Pkexec::hold) {
        ::unlink(pkexecState("shown").c_str());
        ::unlink(pkexecState("answer").c_str());
        ::mkfifo(pkexecState("answer").c_str(), 0666);
        ::chmod(pkexecState("answer").c_str(), 0666); // the user's dialog reads it
    }
    std::ofstream(pkexecState("mode"), std::ios::trunc) << pkexecWord(mode) << "\n";
}

void untilPkexecShown() {
    Waiting::untilFileHolds(pkexecState("shown"), "open\n");
}

void answerPkexec(Pkexec answer) {
    // Opening the FIFO waits for the dialog to read it.
    std::ofstream(pkexecState("answer")) << pkexecWord(answer) << "\n";
}

void lockLoginKeychain(const std::string& home) {
    std::ofstream(env("SIM_STATE_DIR", "/var/db/sim") + "/keychain.locked", std::ios::app)
        << home << "/Library/Keychains/login.keychain-db\n";
}

::testing::AssertionResult refuseRemoval(const std::string& path) {
    const RunResult r = run({repoDir() + "/sim/refuse-removal", path});
    if (r.status != 0) {
        return ::testing::AssertionFailure()
               << "sim/refuse-removal failed (" << r.status << "): " << r.output;
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::vector<std::string>> state(const std::string& what) {
    std::vector<std::vector<std::string>> records;
    const RunResult r = run({repoDir() + "/sim/state", what});
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t')) {
            fields.push_back(cell);
        }
        records.push_back(std::move(fields));
    }
    return records;
}

ReplacedTool::ReplacedTool(std::string toolPath, const std::string& script)
    : tool_(std::move(toolPath)) {
    std::filesystem::rename(tool_, realPath());
    std::ofstream(tool_) << script;
    std::filesystem::permissions(tool_, std::filesystem::perms(0755));
}

ReplacedTool::~ReplacedTool() {
    std::error_code ignored;
    std::filesystem::rename(realPath(), tool_, ignored);
}

} // namespace SimMac
