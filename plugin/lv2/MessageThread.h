#pragma once

#include <functional>
#include <memory>
#include <thread>

/// The JUCE message thread of the plug-in's LV2 instances: the plug-in's JUCE objects (the
/// parameter set's poll timer, the update check, the window) need a running message loop even
/// where no window is open and the host runs none for us (lv2bench, Ardour without its GUI, jalv
/// without a UI). One thread serves every instance in the process: it starts with the first
/// lease and stops when the last lease goes.
///
/// Threads: acquire, call and letting go of a lease run on host threads (never the render
/// thread, and never the message thread itself); what `call` runs, runs on the message thread.
class MessageThread {
public:
    /// Keeps the thread running while any lease is held.
    using Lease = std::shared_ptr<MessageThread>;

    /// A lease on the thread, started if no lease was held.
    static Lease acquire();

    /// Runs `job` on the message thread and waits until it has run (at once when called there).
    /// An exception thrown by `job` is thrown here.
    void call(const std::function<void()>& job);

    MessageThread(const MessageThread&) = delete;
    MessageThread& operator=(const MessageThread&) = delete;

private:
    MessageThread() = default;
    static MessageThread& instance();
    static void release();
    void start();
    void stop();

    std::thread thread;
    int leases = 0;  ///< guarded by the process-wide mutex in MessageThread.cpp
};
