#include "foundation/MainThreadQueue.h"

#include <exception>
#include <future>
#include <memory>

void MainThreadQueue::serve(const std::function<void()>& work) {
    MainThreadQueue queue;
    MainThread::install(&queue);
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        queue.finish();
    });
    queue.drainUntilFinished();
    worker.join();
    MainThread::install(nullptr);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void MainThreadQueue::drainUntilFinished() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return finished_ || !jobs_.empty(); });
            if (jobs_.empty()) {
                return; // finished, and everything sent before the end has run
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

void MainThreadQueue::finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

bool MainThreadQueue::servedByCaller() const {
    return std::this_thread::get_id() == mainThread_;
}

void MainThreadQueue::runAndWait(const std::function<void()>& work) {
    if (servedByCaller()) {
        work();
        return;
    }
    // The work's own exception travels back to the thread that waits for it.
    auto task = std::make_shared<std::packaged_task<void()>>([&work] { work(); });
    std::future<void> done = task->get_future();
    {
        std::unique_lock lock(mutex_);
        if (!finished_) {
            jobs_.emplace_back([task] { (*task)(); });
            lock.unlock();
            changed_.notify_all();
            done.get();
            return;
        }
    }
    work();
}

void MainThreadQueue::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        if (!finished_) {
            jobs_.push_back(std::move(work));
            changed_.notify_all();
            return;
        }
    }
    work();
}
