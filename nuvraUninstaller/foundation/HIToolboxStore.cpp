#include "foundation/HIToolboxStore.h"

#include "foundation/SystemTools.h"
#include "foundation/TargetUser.h"
#include "foundation/UserCommand.h"
#include "foundation/WriteAll.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace HIToolboxStore {
namespace {

constexpr const char* domain = "com.apple.HIToolbox";

bool import(const std::string& bytes) {
    std::optional<Shell::Result> result =
        UserCommand::run(SystemTools::defaults, {"import", domain, "-"}, bytes);
    return result && result->terminationStatus == 0;
}

bool readsBackAs(const plist::Dictionary& expected) {
    const std::optional<plist::Dictionary> now = read();
    return now && *now == expected;
}

// A file of our own, made afresh: whatever had the name goes first (a link as a link), so the copy
// is never written through something planted there. Synced, since it may be all that is left of
// the settings if the machine goes down during the import.
bool keepCopy(const std::string& path, const std::string& bytes) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        return false;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    return ::close(fd) == 0 && written;
}

} // namespace

std::optional<Snapshot> readSnapshot() {
    // "-" makes the tool print the domain to its output; it shares the pipe with its error
    // stream, so a warning there spoils the parse and the read fails rather than guessing.
    std::optional<Shell::Result> result =
        UserCommand::run(SystemTools::defaults, {"export", domain, "-"});
    if (!result || result->terminationStatus != 0 || result->data.empty()) {
        return std::nullopt;
    }
    std::optional<plist::Value> contents = plist::parse(result->data);
    if (!contents) {
        return std::nullopt;
    }
    plist::Dictionary* dictionary = contents->get<plist::Dictionary>();
    if (dictionary == nullptr) {
        return std::nullopt;
    }
    return Snapshot{std::move(*dictionary), std::string(std::string_view(result->data))};
}

std::optional<plist::Dictionary> read() {
    std::optional<Snapshot> snapshot = readSnapshot();
    if (!snapshot) {
        return std::nullopt;
    }
    return std::move(snapshot->contents);
}

bool domainFileExists() {
    const std::string path =
        TargetUser::homeDirectory() + "/Library/Preferences/" + domain + ".plist";
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool write(const plist::Dictionary& contents) {
    // Serialise first: a value that cannot be written must not replace the domain with anything.
    std::optional<std::string> xml = plist::toXml(plist::Value(contents));
    return xml && import(*xml);
}

Replacement replace(const Snapshot& before, const plist::Dictionary& after,
                    const std::string& copyPath) {
    const std::optional<std::string> xml = plist::toXml(plist::Value(after));
    // What the domain must read back as: the XML carries dates in whole seconds only.
    const std::optional<plist::Value> written = xml ? plist::parse(*xml) : std::nullopt;
    const plist::Dictionary* expected = written ? written->get<plist::Dictionary>() : nullptr;
    if (expected == nullptr) {
        return Replacement::notAttempted;
    }
    if (!keepCopy(copyPath, before.exported)) {
        return Replacement::noCopy;
    }
    if (import(*xml) && readsBackAs(*expected)) {
        return Replacement::replaced;
    }
    // A failed import may have changed nothing, or left the domain half-written.
    if (readsBackAs(before.contents)) {
        return Replacement::keptAsBefore;
    }
    const std::optional<std::string> original = plist::toXml(plist::Value(before.contents));
    if (original && import(*original) && readsBackAs(before.contents)) {
        return Replacement::putBack;
    }
    return Replacement::lost;
}

} // namespace HIToolboxStore
