#include "foundation/MainThread.h"

#include <atomic>

namespace MainThread {
namespace {
std::atomic<Dispatcher*> installed{nullptr};
}

void install(Dispatcher* dispatcher) {
    installed.store(dispatcher);
}

void runAndWait(const std::function<void()>& work) {
    if (Dispatcher* d = installed.load()) {
        d->runAndWait(work);
    } else {
        work();
    }
}

void post(std::function<void()> work) {
    if (Dispatcher* d = installed.load()) {
        d->post(std::move(work));
    } else {
        work();
    }
}

} // namespace MainThread
