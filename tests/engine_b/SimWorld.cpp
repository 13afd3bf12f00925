#include "SimWorld.h"

#include "foundation/UninstallerLog.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/mount.h>

namespace fs = std::filesystem;

namespace SimWorld {
namespace {

std::string env(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// One call-log line: a JSON array of strings.
Call parseCall(const std::string& line) {
    Call call;
    size_t i = line.find('[');
    while (i != std::string::npos && i < line.size()) {
        i = line.find('"', i);
        if (i == std::string::npos) {
            break;
        }
        std::string arg;
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] != '\\') {
                arg += line[i];
                continue;
            }
            switch (line[++i]) {
            case 'n':
                arg += '\n';
                break;
            case 't':
                arg += '\t';
                break;
            case 'r':
                arg += '\r';
                break;
            case 'u':
                arg += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16));
                i += 4;
                break;
            default:
                arg += line[i];
                break;
            }
        }
        call.push_back(std::move(arg));
        ++i;
    }
    return call;
}

} // namespace

std::vector<Call> calls() {
    std::ifstream log(env("SIM_CALL_LOG", "/var/log/sim/calls.log"));
    std::vector<Call> result;
    for (std::string line; std::getline(log, line);) {
        if (!line.empty()) {
            result.push_back(parseCall(line));
        }
    }
    return result;
}

std::vector<Call> callsTo(const std::string& toolPath) {
    std::vector<Call> result;
    for (Call& call : calls()) {
        if (!call.empty() && call.front() == toolPath) {
            result.push_back(std::move(call));
        }
    }
    return result;
}

std::vector<std::string> sessionLogMessages() {
    std::ifstream log(UninstallerLog::logFile());
    std::vector<std::string> messages;
    for (std::string line; std::getline(log, line);) {
        // "[yyyy-MM-dd HH:mm:ss] " is 22 characters.
        if (line.size() >= 22 && line.front() == '[' && line[20] == ']') {
            messages.push_back(line.substr(22));
        }
    }
    return messages;
}

void setPkexecMode(const std::string& mode) {
    std::ofstream(env("SIM_STATE_DIR", "/var/db/sim") + "/pkexec.mode") << mode << "\n";
}

void makeFile(const std::string& path, const std::string& contents) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << contents;
}

void makeBundle(const std::string& path) {
    makeFile(path + "/Contents/Info.plist", "<plist/>");
    makeFile(path + "/Contents/MacOS/" + fs::path(path).stem().string(), "#!/bin/sh\n");
}

void pinDown(const std::string& path) {
    if (mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        throw std::runtime_error("cannot pin down " + path);
    }
}

std::string assembleAppBundle(const std::string& folder, bool withScript) {
    const std::string bundle = folder + "/nuvraUninstaller.app";
    fs::create_directories(bundle + "/Contents/MacOS");
    fs::create_directories(bundle + "/Contents/Resources");
    if (withScript) {
        fs::copy_file(NUVRA_SOURCE_DIR "/nuvraUninstaller/resources/uninstall.sh",
                      bundle + "/Contents/Resources/uninstall.sh",
                      fs::copy_options::overwrite_existing);
    }
    fs::copy_file(NUVRA_SOURCECTL_PATH, bundle + "/Contents/Resources/sourcectl",
                  fs::copy_options::overwrite_existing);
    return bundle;
}

bool present(const std::string& path) {
    return fs::exists(fs::symlink_status(path));
}

void plantScene(const std::string& name, bool withProcesses) {
    const std::string command = env("SIM_REPO", NUVRA_SOURCE_DIR) + "/sim/scene " +
                                (withProcesses ? "" : "--no-processes ") + name;
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("cannot plant scene " + name);
    }
    std::ofstream(env("SIM_CALL_LOG", "/var/log/sim/calls.log"), std::ios::trunc);
}

std::string outputOf(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (size_t count = fread(buffer, 1, sizeof buffer, pipe)) {
            output.append(buffer, count);
        }
        pclose(pipe);
    }
    return output;
}

} // namespace SimWorld
