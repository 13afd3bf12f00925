#pragma once

#include "foundation/MainThread.h"

// The application's main-thread seam: work goes to the thread of the Qt application object.
// Without an application object, or when already on its thread, work runs inline, so that
// run-and-wait from the main thread can never wait on itself.
class QtMainThreadDispatcher final : public MainThread::Dispatcher {
public:
    void runAndWait(const std::function<void()>& work) override;
    void post(std::function<void()> work) override;
};
