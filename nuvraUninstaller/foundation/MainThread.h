#pragma once

#include <functional>

// The few pieces of work that must happen on the UI thread (the input-source switch, the window
// moves around the password dialog) go through this seam. The application installs a dispatcher
// at start-up; without one (inventory mode, tests) the work runs inline on the calling thread.
namespace MainThread {

struct Dispatcher {
    virtual ~Dispatcher() = default;
    // Runs `work` on the main thread and returns when it has finished.
    virtual void runAndWait(const std::function<void()>& work) = 0;
    // Queues `work` for the main thread and returns at once.
    virtual void post(std::function<void()> work) = 0;
};

// Installs the process-wide dispatcher (nullptr restores inline execution). Not owned.
void install(Dispatcher* dispatcher);

void runAndWait(const std::function<void()>& work);
void post(std::function<void()> work);

} // namespace MainThread
