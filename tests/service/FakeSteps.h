#pragma once

#include "engine/UninstallSteps.h"
#include "service/Workspace.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

// A door a background operation waits at until the test opens it.
class Gate {
public:
    void open() {
        std::lock_guard lock(mutex);
        isOpen = true;
        opened.notify_all();
    }
    void pass() {
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return isOpen; });
    }

private:
    std::mutex mutex;
    std::condition_variable opened;
    bool isOpen = false;
};

inline bool onMainThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Scripted steps. Records every call; counts calls that wrongly arrive on the main thread.
class FakeSteps final : public UninstallSteps {
public:
    UninstallInventory inventory;
    std::map<UninstallStepID, Sentences> results; // missing: no problems
    std::function<void()> removeAppsThrows;       // called inside removeApps when set
    std::function<void()> otherStepThrows;        // called inside removeData when set
    Gate* scanGate = nullptr;
    Gate* stopProcessesGate = nullptr;

    std::atomic<int> callsOnMainThread{0};

    std::vector<UninstallStepID> calls() const {
        std::lock_guard lock(mutex);
        return recorded;
    }
    std::vector<bool> removeAppsArguments() const {
        std::lock_guard lock(mutex);
        return adminArguments;
    }

    UninstallInventory scan() override {
        checkThread();
        if (scanGate) {
            scanGate->pass();
        }
        return inventory;
    }
    Sentences stopProcesses() override {
        if (stopProcessesGate) {
            stopProcessesGate->pass();
        }
        return step(UninstallStepID::stopProcesses);
    }
    Sentences removeInputSourceState() override { return step(UninstallStepID::inputSource); }
    Sentences removeApps(bool needsAdmin) override {
        {
            std::lock_guard lock(mutex);
            adminArguments.push_back(needsAdmin);
        }
        Sentences result = step(UninstallStepID::removeApps);
        if (removeAppsThrows) {
            removeAppsThrows();
        }
        return result;
    }
    Sentences removeData() override {
        Sentences result = step(UninstallStepID::removeData);
        if (otherStepThrows) {
            otherStepThrows();
        }
        return result;
    }
    Sentences resetPermissions() override { return step(UninstallStepID::resetPermissions); }
    Sentences refreshSystemUI() override { return step(UninstallStepID::refreshSystem); }
    Sentences verify() override { return step(UninstallStepID::verify); }

private:
    void checkThread() {
        if (onMainThread()) {
            ++callsOnMainThread;
        }
    }
    Sentences step(UninstallStepID id) {
        checkThread();
        std::lock_guard lock(mutex);
        recorded.push_back(id);
        auto found = results.find(id);
        return found == results.end() ? Sentences{} : found->second;
    }

    mutable std::mutex mutex;
    std::vector<UninstallStepID> recorded;
    std::vector<bool> adminArguments;
};

class FakeWorkspace final : public Workspace {
public:
    std::vector<QUrl> opened;
    std::vector<QUrl> revealed;
    void open(const QUrl& url) override { opened.push_back(url); }
    void revealFile(const QUrl& fileUrl) override { revealed.push_back(fileUrl); }
};
