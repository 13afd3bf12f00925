#include "CrashHandlers.h"

#include "LogTimestamp.h"
#include "SessionLog.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <cxxabi.h>
#include <dlfcn.h>
#include <exception>
#include <execinfo.h>
#include <string>
#include <string_view>
#include <typeinfo>
#include <unistd.h>

namespace CrashHandlers {
namespace {

constexpr int fatalSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr int maximumStackLines = 10;
constexpr std::string_view crashMark = "\u203C\uFE0F CRASH: ";

// Read by the signal handler: plain lock-free atomics, no objects with destructors.
std::atomic<int> crashDescriptor{-1};
std::atomic<SessionLog*> crashLog{nullptr};
std::terminate_handler previousTerminateHandler = nullptr;

// A stack overflow leaves no room on the faulting stack for the handler itself.
alignas(16) char alternateSignalStack[64 * 1024];

// --- Signal context: async-signal-safe calls only. ---

std::size_t appendText(char* out, std::size_t at, std::string_view text) {
    for (char c : text)
        out[at++] = c;
    return at;
}

void writeAllSignalSafe(int descriptor, const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t written = ::write(descriptor, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
}

void onFatalSignal(int signalNumber) {
    const int savedErrno = errno;
    const int descriptor = crashDescriptor.load(std::memory_order_relaxed);
    if (descriptor >= 0) {
        char line[96];
        char stamp[LogTimestamp::textLength];
        LogTimestamp::formatFixedOffset(std::time(nullptr), LogTimestamp::lastKnownUtcOffset(),
                                        stamp);
        std::size_t length = appendText(line, 0, "[");
        length = appendText(line, length, std::string_view(stamp, sizeof stamp));
        length = appendText(line, length, "] ");
        length = appendText(line, length, crashMark);
        length += static_cast<std::size_t>(signalName(signalNumber, line + length));
        line[length++] = '\n';
        writeAllSignalSafe(descriptor, line, length);
    }
    errno = savedErrno;
    // End the way the process would have ended without us: default action, same signal.
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// --- Terminate handler: an ordinary context, but the process is going down. ---

std::string demangled(const char* mangledName) {
    int status = 0;
    char* readable = abi::__cxa_demangle(mangledName, nullptr, nullptr, &status);
    std::string name = (status == 0 && readable != nullptr) ? readable : mangledName;
    std::free(readable);
    return name;
}

std::string currentExceptionMessage() {
    try {
        throw;
    } catch (const std::exception& exception) {
        const std::string_view message = exception.what();
        return message.empty() ? "unknown" : std::string(message);
    } catch (...) {
        return "unknown";
    }
}

bool namesThrowMachinery(const char* symbolName) {
    if (symbolName == nullptr)
        return false;
    const std::string_view name = symbolName;
    return name.find("__cxa_throw") != name.npos || name.find("__cxa_rethrow") != name.npos ||
           name.find("rethrow_exception") != name.npos;
}

// An escaping exception reaches terminate before the stack is unwound, so the thrower's frames
// are still there, under this handler, std::terminate and the throw machinery (part of it in
// unnamed cold code of the C++ runtime, sanitizer wrappers included). The first frame worth
// showing is the first one past all of that.
// A frame holds a return address, which for a call that never returns (as into terminate) lies
// just past the calling function; one byte back is still inside it.
bool describeCaller(void* returnAddress, Dl_info& info) {
    return ::dladdr(static_cast<char*>(returnAddress) - 1, &info) != 0;
}

int firstFrameOfThrower(void* const* frames, int count) {
    Dl_info terminateInfo{};
    if (::dladdr(reinterpret_cast<void*>(&std::terminate), &terminateInfo) == 0)
        return 2;
    Dl_info ownInfo{};
    ::dladdr(reinterpret_cast<void*>(&firstFrameOfThrower), &ownInfo);
    // With a statically linked runtime, module identity tells nothing apart.
    const bool runtimeIsSeparate = terminateInfo.dli_fbase != ownInfo.dli_fbase;

    int index = 0;
    while (index < count) {
        Dl_info info{};
        const bool known = describeCaller(frames[index++], info);
        if (known && info.dli_saddr == terminateInfo.dli_saddr)
            break;
    }
    if (index >= count)
        return 2; // no std::terminate frame: only this handler's own frames are skipped
    while (index < count) {
        Dl_info info{};
        if (!describeCaller(frames[index], info))
            break;
        const bool inRuntime = runtimeIsSeparate && info.dli_fbase == terminateInfo.dli_fbase;
        if (!inRuntime && !namesThrowMachinery(info.dli_sname))
            break;
        ++index;
    }
    return index;
}

void logStackOfThrow(SessionLog& log) {
    void* frames[64];
    const int count = ::backtrace(frames, 64);
    const int first = firstFrameOfThrower(frames, count);
    char** symbols = ::backtrace_symbols(frames + first, count - first);
    if (symbols == nullptr)
        return;
    for (int i = 0; i < count - first && i < maximumStackLines; ++i)
        log.file(std::string("  ") + symbols[i]);
    std::free(symbols);
}

[[noreturn]] void onTerminate() {
    static std::atomic<bool> alreadyTerminating{false};
    SessionLog* log = crashLog.load();
    if (log != nullptr && !alreadyTerminating.exchange(true) && std::current_exception()) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        const std::string typeName = type != nullptr ? demangled(type->name()) : "unknown";
        log->file(std::string(crashMark) + typeName + " \u2014 " + currentExceptionMessage());
        logStackOfThrow(*log);
    }
    if (previousTerminateHandler != nullptr)
        previousTerminateHandler();
    std::abort();
}

void installAlternateSignalStack() {
    stack_t stack{};
    stack.ss_sp = alternateSignalStack;
    stack.ss_size = sizeof alternateSignalStack;
    ::sigaltstack(&stack, nullptr);
}

void installSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    // The default action comes back on entry and the re-raise is delivered at once.
    action.sa_flags = SA_ONSTACK | SA_RESETHAND | SA_NODEFER;
    for (int signalNumber : fatalSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

int signalName(int signalNumber, char* out) {
    std::string_view known;
    switch (signalNumber) {
    case SIGILL:
        known = "SIGILL";
        break;
    case SIGTRAP:
        known = "SIGTRAP";
        break;
    case SIGABRT:
        known = "SIGABRT";
        break;
    case SIGFPE:
        known = "SIGFPE";
        break;
    case SIGBUS:
        known = "SIGBUS";
        break;
    case SIGSEGV:
        known = "SIGSEGV";
        break;
    default:
        break;
    }
    if (!known.empty())
        return static_cast<int>(appendText(out, 0, known));
    std::size_t length = appendText(out, 0, "SIG");
    if (signalNumber < 0) {
        out[length++] = '-';
    }
    unsigned magnitude = signalNumber < 0 ? 0u - static_cast<unsigned>(signalNumber)
                                          : static_cast<unsigned>(signalNumber);
    char digits[12];
    int digitCount = 0;
    do {
        digits[digitCount++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (digitCount > 0)
        out[length++] = digits[--digitCount];
    return static_cast<int>(length);
}

void install(SessionLog& log) {
    LogTimestamp::refreshUtcOffset();
    crashLog.store(&log);
    crashDescriptor.store(log.descriptor());
    installAlternateSignalStack();
    installSignalHandlers();
    const std::terminate_handler previous = std::set_terminate(onTerminate);
    if (previous != onTerminate)
        previousTerminateHandler = previous;
}

} // namespace CrashHandlers
