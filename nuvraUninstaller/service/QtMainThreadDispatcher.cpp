#include "service/QtMainThreadDispatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace {

bool onMainThreadOrNoApplication() {
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

} // namespace

void QtMainThreadDispatcher::runAndWait(const std::function<void()>& work) {
    if (onMainThreadOrNoApplication()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&work] { work(); }, Qt::BlockingQueuedConnection);
}

void QtMainThreadDispatcher::post(std::function<void()> work) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        work();
        return;
    }
    // Queued even from the main thread: "post" promises to return before the work runs.
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}
