#include "Bundle.h"
#include "TextInputSources.h"
#include "Utf8.h"
#include "discovery/HIToolboxEntries.h"
#include "engine/LaunchServicesDump.h"
#include "engine/UninstallEngine.h"
#include "foundation/HIToolboxStore.h"
#include "foundation/MainThread.h"
#include "foundation/NuvraFootprint.h"
#include "foundation/SystemTools.h"
#include "foundation/TargetUser.h"
#include "foundation/UninstallerLog.h"
#include "foundation/UserCommand.h"
#include "foundation/WhiteSpace.h"
#include "foundation/WriteAll.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* helperWarning = "Could not run the input source helper.";
constexpr const char* readWarning = "Could not read keyboard settings.";
constexpr const char* writeWarning =
    "Could not update keyboard settings; they were kept as they were.";
constexpr const char* abcLayoutID = "com.apple.keylayout.ABC";
// In the session's log folder, beside the log that tells what happened to it.
constexpr const char* keyboardSettingsCopyName = "keyboard-settings-before-uninstall.plist";

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isExecutableFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

// Drops the product's entries from the input-source lists; returns how many were dropped.
// Only lists made entirely of dictionaries are touched: anything else is not a shape we know.
int removeNuvraEntries(plist::Dictionary& settings) {
    int removed = 0;
    for (const std::string& key : NuvraFootprint::hiToolboxKeys()) {
        if (HIToolboxEntries::entryList(settings, key) == nullptr) {
            continue;
        }
        plist::Array& entries = *settings.at(key).get<plist::Array>();
        const auto dropped =
            std::remove_if(entries.begin(), entries.end(), HIToolboxEntries::isProductEntry);
        removed += static_cast<int>(std::distance(dropped, entries.end()));
        entries.erase(dropped, entries.end());
    }
    return removed;
}

// The staging folder sits in the temporary folder; when that is shared (/tmp), someone else could
// have planted a link or folder there to make us write elsewhere. Only our own real folder will
// do: opened without following a link and judged by what the descriptor shows.
int openStagingFolder(const std::string& folder, std::error_code& error) {
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = {errno, std::generic_category()};
        return -1;
    }
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = {errno, std::generic_category()};
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
        close(fd);
        error = std::make_error_code(std::errc::permission_denied);
        return -1;
    }
    return fd;
}

std::error_code copyBytes(int from, int to) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(from, buffer, sizeof buffer);
        if (got == 0) {
            return {};
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {errno, std::generic_category()};
        }
        if (!writeAll(to, {buffer, static_cast<std::size_t>(got)})) {
            return {errno != 0 ? errno : EIO, std::generic_category()};
        }
    }
}

// A fresh file of our own in `folder`: whatever had the name goes first (a link as a link), and
// the copy is created anew, so nothing planted there can be written through or have its mode
// changed; the mode is set on the descriptor, never by name.
std::error_code copyTool(const std::string& source, int folder, const char* name) {
    if (unlinkat(folder, name, 0) != 0 && errno != ENOENT) {
        return {errno, std::generic_category()};
    }
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return {errno, std::generic_category()};
    }
    const int out =
        openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
    if (out < 0) {
        const std::error_code error{errno, std::generic_category()};
        close(in);
        return error;
    }
    std::error_code error = copyBytes(in, out);
    if (!error && fchmod(out, 0755) != 0) {
        error = {errno, std::generic_category()};
    }
    close(in);
    if (close(out) != 0 && !error) {
        error = {errno, std::generic_category()};
    }
    return error;
}

// The keyboard settings hold every layout and input source the user set up: they are replaced
// only with a copy of them kept first in the session's folder, and put back when the replacement
// fails or does not read back as written.
void removeKeyboardSettingsEntries(const HIToolboxStore::Snapshot& snapshot,
                                   UninstallEngine::Sentences& warnings) {
    plist::Dictionary cleaned = snapshot.contents;
    const int removed = removeNuvraEntries(cleaned);
    const std::string counted =
        "  Input method: keyboard settings entries removed — " + std::to_string(removed);
    if (removed == 0) {
        UninstallerLog::file(counted);
        return;
    }
    const std::string copy = UninstallerLog::logDirectory() + "/" + keyboardSettingsCopyName;
    switch (HIToolboxStore::replace(snapshot, cleaned, copy)) {
    case HIToolboxStore::Replacement::replaced:
        UninstallerLog::file(counted);
        return;
    case HIToolboxStore::Replacement::notAttempted:
        UninstallerLog::file("  Input method: keyboard settings left as they were, the cleaned "
                             "settings could not be written out — WARN");
        break;
    case HIToolboxStore::Replacement::noCopy:
        UninstallerLog::file("  Input method: keyboard settings left as they were, no copy of "
                             "them could be kept first — WARN");
        break;
    case HIToolboxStore::Replacement::keptAsBefore:
        UninstallerLog::file("  Input method: keyboard settings could not be updated, still as "
                             "they were — WARN");
        break;
    case HIToolboxStore::Replacement::putBack:
        UninstallerLog::file("  Input method: keyboard settings could not be updated, put back as "
                             "they were — WARN");
        break;
    case HIToolboxStore::Replacement::lost: {
        const std::string shown = utf8::visible(copy);
        UninstallerLog::file("  Input method: keyboard settings could not be updated or put back; "
                             "a copy is in " +
                             shown + " — WARN");
        warnings.push_back("Could not update keyboard settings or put them back as they were; a "
                           "copy of them is in " +
                           shown + " (defaults import com.apple.HIToolbox " + shown +
                           " restores it).");
        return;
    }
    }
    warnings.emplace_back(writeWarning);
}

} // namespace

UninstallEngine::Sentences UninstallEngine::removeInputSourceState() {
    Sentences warnings;
    // Before anything here makes the product's bundles unknown to the system.
    privacyResetWarnings = resetPrivacyRecords();

    MainThread::runAndWait([this] { switchToABCIfCurrentIsNuvra(); });

    if (stageSourcectlIfNeeded()) {
        runSourcectl({"--disable-all"});
    } else {
        warnings.emplace_back(helperWarning);
    }

    if (auto snapshot = HIToolboxStore::readSnapshot()) {
        removeKeyboardSettingsEntries(*snapshot, warnings);
    } else {
        warnings.emplace_back(readWarning);
    }

    // The preferences daemon caches the old keyboard settings; ending it makes the import stick.
    UserCommand::run(SystemTools::killall, {"cfprefsd"});

    clearLaunchServicesRegistrations();
    UninstallerLog::file("  Input method: TIS + LaunchServices cleanup — OK");
    return warnings;
}

void UninstallEngine::switchToABCIfCurrentIsNuvra() {
    TextInputSources& sources = TextInputSourcesService::shared();
    const TISInputSourceRef current = sources.TISCopyCurrentKeyboardInputSource();
    if (!current) {
        return;
    }
    const TISPropertyValue id =
        sources.TISGetInputSourceProperty(current, TISPropertyKey::kTISPropertyInputSourceID);
    const std::string* idText = std::get_if<std::string>(&id);
    if (idText == nullptr ||
        lowercased(*idText).find(NuvraFootprint::looseMatchNeedle) == std::string::npos) {
        return;
    }
    const auto abc = sources.TISCreateInputSourceList(TISPropertyKey::kTISPropertyInputSourceID,
                                                      abcLayoutID, true);
    if (!abc || abc->empty()) {
        return;
    }
    sources.TISSelectInputSource(abc->front());
    UninstallerLog::file("  Input method: switched active source to ABC");
}

bool UninstallEngine::stageSourcectlIfNeeded() {
    if (sourcectlPath && isExecutableFile(*sourcectlPath)) {
        return true;
    }
    const auto bundled = Bundle::resourcePath("sourcectl");
    if (!bundled) {
        UninstallerLog::error("sourcectl binary not found in bundle");
        return false;
    }
    const std::string folder = TargetUser::temporaryDirectory() + "nuvra-uninstaller-sourcectl";
    std::error_code error;
    const int folderFd = openStagingFolder(folder, error);
    if (folderFd >= 0) {
        error = copyTool(*bundled, folderFd, "sourcectl");
        close(folderFd);
    }
    if (error) {
        UninstallerLog::error("sourcectl staging failed: %s", error.message().c_str());
        return false;
    }
    const std::string staged = folder + "/sourcectl";
    sourcectlPath = staged;
    return true;
}

std::string UninstallEngine::runSourcectl(const std::vector<std::string>& args) {
    if (!sourcectlPath) {
        return "ERROR: sourcectl not staged";
    }
    const auto result = UserCommand::run(*sourcectlPath, args);
    if (!result) {
        return "ERROR: sourcectl failed to run";
    }
    return WhiteSpace::trimmed(result->output());
}

void UninstallEngine::clearLaunchServicesRegistrations() {
    for (const std::string& path : NuvraFootprint::canonicalBundlePaths()) {
        std::error_code error;
        if (fs::exists(path, error)) {
            UserCommand::run(SystemTools::lsregister, {"-u", path});
        }
    }

    // Stray registrations: copies of the input method elsewhere on disk (old installs, disk
    // images, backups) that would keep offering the input source. The raw bytes are read, since
    // one badly encoded name anywhere in the database must not hide all the product's lines.
    Shell::Options whole;
    whole.wait = Shell::Wait::longTool;
    const auto dump = UserCommand::run(SystemTools::lsregister, {"-dump"}, whole);
    if (!dump) {
        return;
    }
    for (const std::string& path :
         LaunchServicesDump::strayInputMethodPaths(dump->data, Bundle::mainBundlePath())) {
        UserCommand::run(SystemTools::lsregister, {"-u", path});
    }
}
