#include "EngineSimHelpers.h"

#include "Bundle.h"
#include "SimMac.h"
#include "foundation/HIToolboxStore.h"
#include "foundation/UninstallerLog.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace EngineSim {

std::size_t logSize() {
    std::error_code error;
    const auto size = fs::file_size(UninstallerLog::logFile(), error);
    return error ? 0 : static_cast<std::size_t>(size);
}

std::vector<std::string> logMessages(std::size_t fromSize) {
    const std::string text = readFile(UninstallerLog::logFile());
    std::istringstream stream(text.substr(std::min(fromSize, text.size())));
    std::vector<std::string> messages;
    for (std::string line; std::getline(stream, line);) {
        // "[yyyy-MM-dd HH:mm:ss] " is 22 characters.
        if (line.size() >= 22 && line[0] == '[' && line.compare(20, 2, "] ") == 0) {
            line.erase(0, 22);
        }
        messages.push_back(line);
    }
    return messages;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void writeFile(const std::string& path, const std::string& contents, unsigned mode) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
    fs::permissions(path, static_cast<fs::perms>(mode));
}

void useBundle(const std::string& bundlePath, const std::string* sourcectlScript) {
    fs::create_directories(bundlePath + "/Contents/MacOS");
    fs::create_directories(bundlePath + "/Contents/Resources");
    if (sourcectlScript != nullptr) {
        writeFile(bundlePath + "/Contents/Resources/sourcectl", *sourcectlScript, 0755);
    }
    Bundle::overrideMainBundlePathForTesting(bundlePath);
}

std::string recordingSourcectl(const std::string& recordFile) {
    return "#!/bin/sh\necho \"$*\" >> '" + recordFile + "'\necho '  done  '\n";
}

void setKeyboardSettings(const plist::Dictionary& settings) {
    EXPECT_TRUE(HIToolboxStore::write(settings));
    SimMac::clearCalls();
}

std::vector<std::string> runningCommandLines() {
    std::vector<std::string> lines;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) {
            continue;
        }
        // A zombie has an empty command line: it has ended, only its exit status is left.
        std::string commandLine = readFile(entry.path().string() + "/cmdline");
        std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
        if (!commandLine.empty()) {
            lines.push_back(commandLine);
        }
    }
    return lines;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace EngineSim
