#include "engine/UninstallEngine.h"
#include "foundation/NuvraFootprint.h"
#include "foundation/SystemTools.h"
#include "foundation/TargetUser.h"
#include "foundation/UninstallerLog.h"
#include "foundation/UserCommand.h"
#include "foundation/WhiteSpace.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

// Long enough for a product process to save and exit after SIGTERM before the SIGKILL pass.
constexpr std::chrono::milliseconds gracePeriod{600};

std::vector<std::string> pkillArguments(const std::optional<std::string>& signalFlag,
                                        const char* matchFlag, const std::string& pattern) {
    std::vector<std::string> args;
    if (signalFlag) {
        args.push_back(*signalFlag);
    }
    args.emplace_back(matchFlag);
    args.push_back(pattern);
    return args;
}

bool fileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// The agent's label as PlistBuddy reads it from the file; none when it cannot be read or is empty.
std::optional<std::string> launchAgentLabel(const std::string& plistPath) {
    const auto result =
        UserCommand::run(SystemTools::plistBuddy, {"-c", "Print :Label", plistPath});
    if (!result || result->terminationStatus != 0) {
        return std::nullopt;
    }
    std::string label = WhiteSpace::trimmed(result->output());
    if (label.empty()) {
        return std::nullopt;
    }
    return label;
}

// Unloads the agent from the user's GUI session and forgets its label, so it cannot restart the
// product between now and the deletion of its plist.
void unloadLaunchAgent(const std::string& plistPath, const std::string& guiDomain) {
    UserCommand::run(SystemTools::launchctl, {"bootout", guiDomain, plistPath});
    if (const auto label = launchAgentLabel(plistPath)) {
        UserCommand::run(SystemTools::launchctl, {"remove", *label});
    }
}

} // namespace

void UninstallEngine::killNuvraProcesses(const std::optional<std::string>& signalFlag) {
    // Exit status 1 only means nothing matched; every outcome is fine here.
    for (const std::string& name : NuvraFootprint::processExactNames()) {
        UserCommand::run(SystemTools::pkill, pkillArguments(signalFlag, "-x", name));
    }
    for (const std::string& fragment : NuvraFootprint::processPathPatterns()) {
        UserCommand::run(SystemTools::pkill, pkillArguments(signalFlag, "-f", fragment));
    }
}

UninstallEngine::Sentences UninstallEngine::stopProcesses() {
    killNuvraProcesses(std::nullopt);
    std::this_thread::sleep_for(gracePeriod);
    killNuvraProcesses("-9");

    const std::string guiDomain = "gui/" + std::to_string(TargetUser::uid());
    for (const std::string& plistPath : NuvraFootprint::legacyLaunchAgentPlists()) {
        if (fileExists(plistPath)) {
            unloadLaunchAgent(plistPath, guiDomain);
        }
    }

    // Written even when nothing was found: a later reinstall must not start at login by itself.
    for (const std::string& group : NuvraFootprint::appGroupIDs()) {
        UserCommand::run(SystemTools::defaults,
                         {"write", group, "ai.nuvra.startAtLogin", "-bool", "false"});
    }

    UninstallerLog::file("  Stop: processes and launch agents — OK");
    return {};
}
