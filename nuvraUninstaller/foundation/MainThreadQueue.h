#pragma once

#include "foundation/MainThread.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

// The main-thread seam for a program without an event loop (the command-line tool): the calling
// thread, its main thread, hands the real work to a worker and, until that is done, runs what the
// worker sends back through MainThread (the input-source switch, the administrator script on a
// Mac). Installed as the process's dispatcher for that time; afterwards none is installed.
class MainThreadQueue final : public MainThread::Dispatcher {
public:
    // Runs `work` on a new worker thread while this thread serves the queue; returns its result or
    // rethrows what it threw, here.
    template <typename Work> static std::invoke_result_t<Work&> runWorkOnWorker(Work work) {
        using Result = std::invoke_result_t<Work&>;
        if constexpr (std::is_void_v<Result>) {
            serve([&] { work(); });
        } else {
            std::optional<Result> result;
            serve([&] { result.emplace(work()); });
            return std::move(*result);
        }
    }

    // From the worker: waits for the main thread. On the main thread itself, or once the work has
    // ended, the work runs inline, so nothing can wait on a queue no one serves any more.
    void runAndWait(const std::function<void()>& work) override;
    void post(std::function<void()> work) override;

private:
    static void serve(const std::function<void()>& work);
    void drainUntilFinished();
    void finish();
    bool servedByCaller() const;

    std::thread::id mainThread_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool finished_ = false;
};
