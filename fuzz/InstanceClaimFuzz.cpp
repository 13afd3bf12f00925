// Any lock file a refused window start could meet, held by another session: the refusal it gives
// is one line of printable text (it goes to standard error and into a message box), and names a
// process only when the file is exactly a command-line run's own line.
#include "../nuvraUninstaller/foundation/InstanceClaim.cpp"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const std::string& folder() {
    static const std::string path = [] {
        char name[] = "/tmp/instance-claim-fuzz.XXXXXX";
        if (::mkdtemp(name) == nullptr) {
            std::abort();
        }
        return std::string(name);
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string lockPath = folder() + "/.instance.lock";
    const int holder = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (holder < 0 || ::write(holder, data, size) != static_cast<ssize_t>(size) ||
        ::flock(holder, LOCK_EX) != 0) {
        std::abort();
    }
    const InstanceClaim::Result result =
        InstanceClaim::claim(folder(), InstanceClaim::Role::window);
    ::close(holder);
    if (result.outcome != InstanceClaim::Result::Outcome::refused) {
        std::abort();
    }
    for (char c : result.refusal) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            std::abort();
        }
    }
    const std::string line(reinterpret_cast<const char*>(data), size);
    const bool named = result.refusal.find("process ") != std::string::npos;
    if (named && !(line.starts_with("command ") && line.ends_with("\n"))) {
        std::abort();
    }
    return 0;
}
