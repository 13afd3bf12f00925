#include "engine/WindowHook.h"

#include <atomic>

namespace WindowHook {
namespace {
std::atomic<Hook*> current{nullptr};
}

void install(Hook* hook) {
    current.store(hook);
}
Hook* installed() {
    return current.load();
}

} // namespace WindowHook
