#include "Sourcectl.h"

#include <optional>

namespace {

// The product's input method. Every command looks only at sources carrying this bundle id.
constexpr const char* bundleID = "ai.nuvra.inputmethod.NuvraInput";
// Input modes are told from the input method itself by this source-id suffix.
constexpr std::string_view modeSuffix = ".default";

constexpr const char* usageLine = "Usage: sourcectl "
                                  "--disable-source|--disable-all|--enable-source|--is-enabled|"
                                  "--enable-remaining|--verify";
constexpr const char* arrow = " \u2192 ";

class Commands {
public:
    Commands(TextInputSources& tis, std::ostream& out) : tis_(tis), out_(out) {}

    int disableSource() {
        TISInputSourceRef parent = findParent(getSources());
        if (!parent) {
            return parentNotFound();
        }
        OSStatus status = tis_.TISDisableInputSource(parent);
        line("TISDisable(" + idText(parent) + ")" + arrow + std::to_string(status));
        return 0;
    }

    int disableAll() {
        std::vector<TISInputSourceRef> sources = getSources();
        if (sources.empty()) {
            line("no nuvra sources found");
        }
        // Modes go first: the input method they belong to is still enabled while they go.
        std::vector<TISInputSourceRef> work;
        for (const TISInputSourceRef& source : sources) {
            if (isMode(source)) {
                work.push_back(source);
            }
        }
        for (const TISInputSourceRef& source : sources) {
            if (!isMode(source)) {
                work.push_back(source);
            }
        }
        for (const TISInputSourceRef& source : work) {
            std::string id = idText(source);
            OSStatus status = tis_.TISDisableInputSource(source);
            line("TISDisable(" + id + ")" + arrow + std::to_string(status));
        }
        return 0;
    }

    int enableSource() {
        TISInputSourceRef parent = findParent(getSources());
        if (!parent) {
            return parentNotFound();
        }
        OSStatus status = tis_.TISEnableInputSource(parent);
        line("TISEnable(" + idText(parent) + ")" + arrow + std::to_string(status));
        line("enabled_after=" + boolText(isEnabled(parent)));
        return 0;
    }

    int isEnabledCommand() {
        TISInputSourceRef parent = findParent(getSources());
        if (!parent) {
            line("ENABLED=false");
            line("ERROR: parent not found");
            return 0;
        }
        line("ENABLED=" + boolText(isEnabled(parent)));
        line("parent=" + idText(parent));
        return 0;
    }

    int enableRemaining() {
        for (const TISInputSourceRef& source : getSources()) {
            std::string id = idText(source);
            if (isEnabled(source)) {
                line(id + ": already enabled");
            } else {
                OSStatus status = tis_.TISEnableInputSource(source);
                line("TISEnable(" + id + ")" + arrow + std::to_string(status));
            }
        }
        return 0;
    }

    int verify() {
        if (TISInputSourceRef current = tis_.TISCopyCurrentKeyboardInputSource()) {
            std::string id = idText(current);
            line("current=" + id);
            // Two case-sensitive tests on purpose: "NUVRA" alone does not count.
            if (id.find("nuvra") != std::string::npos || id.find("Nuvra") != std::string::npos) {
                line("SUCCESS \u2014 switched to nuvraInput!");
            } else {
                line("NOT switched, current: " + id);
            }
        }
        for (const TISInputSourceRef& source : getSources()) {
            line("  " + idText(source) + ": enabled=" + boolText(isEnabled(source)) +
                 " selectable=" +
                 boolText(getBool(source, TISPropertyKey::kTISPropertyInputSourceIsSelectCapable)));
        }
        return 0;
    }

private:
    // The product's sources, disabled ones included, in the platform's order. The bundle id is
    // checked again here so that no other source is ever changed, whatever the query returned.
    std::vector<TISInputSourceRef> getSources() {
        std::optional<std::vector<TISInputSourceRef>> all =
            tis_.TISCreateInputSourceList(TISPropertyKey::kTISPropertyBundleID, bundleID, true);
        std::vector<TISInputSourceRef> sources;
        for (const TISInputSourceRef& source : all.value_or(std::vector<TISInputSourceRef>{})) {
            if (source && getStr(source, TISPropertyKey::kTISPropertyBundleID) == bundleID) {
                sources.push_back(source);
            }
        }
        return sources;
    }

    bool isMode(const TISInputSourceRef& source) {
        std::optional<std::string> id = getStr(source, TISPropertyKey::kTISPropertyInputSourceID);
        return id && id->ends_with(modeSuffix);
    }

    TISInputSourceRef findParent(const std::vector<TISInputSourceRef>& sources) {
        for (const TISInputSourceRef& source : sources) {
            if (!isMode(source)) {
                return source;
            }
        }
        return nullptr;
    }

    std::optional<std::string> getStr(const TISInputSourceRef& source, TISPropertyKey key) {
        TISPropertyValue value = tis_.TISGetInputSourceProperty(source, key);
        if (const auto* text = std::get_if<std::string>(&value)) {
            return *text;
        }
        return std::nullopt;
    }

    bool getBool(const TISInputSourceRef& source, TISPropertyKey key) {
        TISPropertyValue value = tis_.TISGetInputSourceProperty(source, key);
        const bool* flag = std::get_if<bool>(&value);
        return flag && *flag;
    }

    bool isEnabled(const TISInputSourceRef& source) {
        return getBool(source, TISPropertyKey::kTISPropertyInputSourceIsEnabled);
    }

    std::string idText(const TISInputSourceRef& source) {
        return getStr(source, TISPropertyKey::kTISPropertyInputSourceID).value_or("?");
    }

    static std::string boolText(bool value) { return value ? "true" : "false"; }

    int parentNotFound() {
        line("ERROR: parent not found");
        return 1;
    }

    void line(const std::string& text) { out_ << text << '\n'; }

    TextInputSources& tis_;
    std::ostream& out_;
};

} // namespace

int runSourcectl(const std::vector<std::string>& args, TextInputSources& sources,
                 std::ostream& out) {
    if (args.size() < 2) {
        // The usage line alone: scripts compare it whole. The manual page is found with man.
        out << usageLine << '\n';
        return 1;
    }
    const std::string& command = args[1];
    Commands commands(sources, out);
    if (command == "--disable-source") {
        return commands.disableSource();
    }
    if (command == "--disable-all") {
        return commands.disableAll();
    }
    if (command == "--enable-source") {
        return commands.enableSource();
    }
    if (command == "--is-enabled") {
        return commands.isEnabledCommand();
    }
    if (command == "--enable-remaining") {
        return commands.enableRemaining();
    }
    if (command == "--verify") {
        return commands.verify();
    }
    out << "Unknown command: " << command << '\n';
    return 1;
}
