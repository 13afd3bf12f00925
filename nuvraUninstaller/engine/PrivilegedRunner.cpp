#include "engine/PrivilegedRunner.h"

#include "Utf8.h"
#include "engine/UninstallScript.h"
#include "foundation/Deadlines.h"
#include "foundation/Shell.h"
#include "foundation/SystemTools.h"
#include "foundation/UninstallerLog.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace PrivilegedRunner {
namespace {

// A message keeps this much of what a tool printed; a flood of output is not a message.
constexpr std::size_t longestMessage = 4096;
// What is read of the script's output at all; the rest is drained and dropped.
constexpr std::size_t outputKept = 64 * 1024;

// The serial queue: one worker thread draining a FIFO of jobs. It is never destroyed, so the
// detached worker can never outlive what it waits on, even during process exit.
class SerialQueue {
public:
    void submit(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        ready_.notify_one();
    }

    static SerialQueue& shared() {
        static SerialQueue* queue = [] {
            auto* created = new SerialQueue;
            std::thread([created] { created->drain(); }).detach();
            return created;
        }();
        return *queue;
    }

private:
    [[noreturn]] void drain() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> jobs_;
};

// Ends the wait for the dialog when the window goes; lives until exit, like the queue.
Shell::Cancellation& dialogWait() {
    static auto* cancellation = new Shell::Cancellation;
    return *cancellation;
}
std::atomic<bool> abandoned{false};
std::atomic<bool> dialogOpen{false};

std::string replacingAll(std::string_view text, char needle, std::string_view replacement) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (c == needle) {
            result += replacement;
        } else {
            result += c;
        }
    }
    return result;
}

bool containsCancel(const std::string& message) {
    std::string lowered = message;
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lowered.find("cancel") != std::string::npos;
}

// The non-empty lines of `text` (line feeds or carriage returns), without surrounding blanks.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string_view::npos) {
            line = line.substr(first, line.find_last_not_of(" \t") - first + 1);
            lines.push_back(line);
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

// What a tool printed, as one bounded line of a message.
std::string messageOf(std::string_view output) {
    std::string joined;
    for (std::string_view line : linesOf(output)) {
        if (!joined.empty()) {
            joined += ' ';
        }
        joined += line;
        if (joined.size() > longestMessage) {
            break;
        }
    }
    return utf8::shortened(joined, longestMessage);
}

// The blocking form; runs only on the serial queue.
Sentences runScriptAsAdminSynchronously() {
    Shell::Options options;
    options.wait = Shell::Wait::person;
    options.cancellation = &dialogWait();
    options.keepAtMost = outputKept;
    UninstallerLog::file("  Apps: waiting for the administrator password (no time limit)");
    std::optional<Shell::Result> result;
    dialogOpen = true;
    try {
        result = Shell::run(SystemTools::osascript, {"-e", scriptSource(uninstallScript)}, options);
    } catch (const Shell::LaunchError& error) {
        dialogOpen = false;
        throw EngineError::failed("Privileged removal failed: " + std::string(error.what()) + ".");
    }
    dialogOpen = false;
    if (result->cancelled) {
        throw EngineError::failed(
            "The window was closed before the administrator dialog was answered.");
    }
    if (result->terminationStatus != 0) {
        throw classify(scriptErrorOf(result->output()));
    }
    return warningsIn(result->output());
}

} // namespace

std::string shellQuoted(std::string_view text) {
    return "'" + replacingAll(text, '\'', "'\\''") + "'";
}

std::string appleScriptEscaped(std::string_view text) {
    return replacingAll(replacingAll(text, '\\', "\\\\"), '"', "\\\"");
}

std::string scriptSource(std::string_view scriptText) {
    const std::string command =
        std::string(SystemTools::bash) + " -c " + shellQuoted(scriptText) + " uninstall.sh";
    return "do shell script \"" + appleScriptEscaped(command) + "\" with administrator privileges";
}

ScriptError scriptErrorOf(std::string_view output) {
    // "0:123: execution error: The message. (-128)"; a message may span lines.
    constexpr std::string_view marker = "execution error: ";
    const std::size_t at = output.rfind(marker);
    if (at == std::string_view::npos) {
        return {messageOf(output), std::nullopt};
    }
    std::string_view text = output.substr(at + marker.size());
    text = text.substr(0, text.find_last_not_of(" \t\r\n") + 1);
    const std::size_t open = text.rfind(" (");
    if (open != std::string_view::npos && text.ends_with(')')) {
        long number = 0;
        const std::string_view digits = text.substr(open + 2, text.size() - open - 3);
        const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (parsed.ec == std::errc() && parsed.ptr == digits.data() + digits.size()) {
            return {messageOf(text.substr(0, open)), number};
        }
    }
    return {messageOf(text), std::nullopt};
}

EngineError classify(const ScriptError& error) {
    const std::string message = error.message.empty() ? "Unknown error" : error.message;
    if (error.number == -128 || containsCancel(message)) {
        return EngineError::adminCancelled();
    }
    return EngineError::failed("Privileged removal failed: " + message);
}

Sentences warningsIn(std::string_view output) {
    Sentences warnings;
    for (std::string_view line : linesOf(output)) {
        if (warnings.size() == 8) {
            break; // the script names a folder and a few receipts at most; more is noise
        }
        warnings.push_back(utf8::shortened(line, longestMessage));
    }
    return warnings;
}

Sentences runScriptAsRoot() {
    Shell::Options options;
    options.wait = Shell::Wait::longTool;
    options.keepAtMost = outputKept;
    options.shownName = "The removal script";
    const auto result = Shell::runIgnoringLaunchFailure(
        SystemTools::bash, {"-c", std::string(uninstallScript), "uninstall.sh"}, options);
    if (!result) {
        throw EngineError::failed("Privileged removal failed: could not start " +
                                  std::string(SystemTools::bash) + ".");
    }
    if (result->timedOut) {
        throw EngineError::failed("Privileged removal failed: the removal script did not finish "
                                  "within " +
                                  Deadlines::spoken(Deadlines::current().longTool) + ".");
    }
    if (result->terminationStatus != 0) {
        std::string message = messageOf(result->output());
        if (message.empty()) {
            message = "exit status " + std::to_string(result->terminationStatus);
        }
        throw EngineError::failed("Privileged removal failed: " + message);
    }
    return warningsIn(result->output());
}

Sentences runScriptAsAdmin() {
    auto job = std::make_shared<std::packaged_task<Sentences()>>(runScriptAsAdminSynchronously);
    std::future<Sentences> done = job->get_future();
    SerialQueue::shared().submit([job] { (*job)(); });
    return done.get(); // rethrows the job's EngineError on this thread
}

void abandonWaiting() {
    if (abandoned.exchange(true)) {
        return;
    }
    dialogWait().cancel();
    if (dialogOpen) {
        // The step itself reports nothing more: whoever waited for it is going.
        UninstallerLog::file("  Apps: the window was closed while the administrator dialog was "
                             "open; the system-wide removal did not report back");
    }
}

} // namespace PrivilegedRunner
