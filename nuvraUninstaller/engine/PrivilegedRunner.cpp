#include "engine/PrivilegedRunner.h"

#include "foundation/MainThread.h"
#include "foundation/Shell.h"
#include "foundation/SystemTools.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace PrivilegedRunner {
namespace {

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

std::string replacingAll(const std::string& text, char needle, const std::string& replacement) {
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

// The blocking form; runs only on the serial queue. Where the system wants the script run on the
// main thread, the queue waits for the main thread to run it.
void runScriptAsAdminSynchronously(const std::string& scriptPath) {
    const std::optional<AppleScript> script = AppleScript::fromSource(scriptSource(scriptPath));
    if (!script) {
        throw EngineError::failed("Could not create the privileged removal script.");
    }
    std::optional<AppleScript::ErrorInfo> error;
    const auto execute = [&] { error = script->execute(); };
    if (AppleScript::requiresMainThread()) {
        MainThread::runAndWait(execute);
    } else {
        execute();
    }
    if (error) {
        throw classify(*error);
    }
}

} // namespace

std::string shellQuoted(const std::string& text) {
    return "'" + replacingAll(text, '\'', "'\\''") + "'";
}

std::string appleScriptEscaped(const std::string& text) {
    return replacingAll(replacingAll(text, '\\', "\\\\"), '"', "\\\"");
}

std::string scriptSource(const std::string& scriptPath) {
    const std::string command = std::string(SystemTools::bash) + " " + shellQuoted(scriptPath);
    return "do shell script \"" + appleScriptEscaped(command) + "\" with administrator privileges";
}

EngineError classify(const AppleScript::ErrorInfo& error) {
    const std::string message = error.message.value_or("Unknown error");
    if (error.number == -128 || containsCancel(message)) {
        return EngineError::adminCancelled();
    }
    return EngineError::failed("Privileged removal failed: " + message);
}

void runScriptAsRoot(const std::string& scriptPath) {
    const auto result = Shell::runIgnoringLaunchFailure(SystemTools::bash, {scriptPath});
    if (!result) {
        throw EngineError::failed("Privileged removal failed: could not start " +
                                  std::string(SystemTools::bash) + ".");
    }
    if (result->terminationStatus != 0) {
        std::string message(result->output());
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
            message.pop_back();
        }
        if (message.empty()) {
            message = "exit status " + std::to_string(result->terminationStatus);
        }
        throw EngineError::failed("Privileged removal failed: " + message);
    }
}

void runScriptAsAdmin(const std::string& scriptPath) {
    auto job = std::make_shared<std::packaged_task<void()>>(
        [scriptPath] { runScriptAsAdminSynchronously(scriptPath); });
    std::future<void> done = job->get_future();
    SerialQueue::shared().submit([job] { (*job)(); });
    done.get(); // rethrows the job's EngineError on this thread
}

} // namespace PrivilegedRunner
