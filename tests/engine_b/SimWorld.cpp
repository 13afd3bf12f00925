#include "SimWorld.h"

#include "SimMac.h"
#include "foundation/UninstallerLog.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/mount.h>

namespace fs = std::filesystem;

namespace SimWorld {

std::vector<std::string> sessionLogMessages() {
    return SimMac::sessionLogMessages(UninstallerLog::logFile());
}

std::vector<std::string> sessionLogMessages(const std::string& prefix) {
    std::vector<std::string> lines;
    for (std::string& message : sessionLogMessages()) {
        if (message.starts_with(prefix)) {
            lines.push_back(std::move(message));
        }
    }
    return lines;
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

std::string assembleAppBundle(const std::string& folder) {
    return SimMac::assembleAppBundle(folder, SimMac::insidePath(NUVRA_SOURCECTL_PATH));
}

bool present(const std::string& path) {
    return fs::exists(fs::symlink_status(path));
}

std::string keychainDump() {
    return SimMac::run({"/usr/bin/security", "dump-keychain"}).output;
}

} // namespace SimWorld
