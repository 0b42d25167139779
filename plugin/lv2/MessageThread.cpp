#include "MessageThread.h"

#include <juce_events/juce_events.h>

#include <cassert>
#include <future>
#include <mutex>

namespace {

/// Guards starting and stopping the thread: hosts create and destroy instances on any of their
/// threads, and one thread must have shut JUCE down before the next one starts it.
std::mutex& lifecycleMutex()
{
    static std::mutex mutex;
    return mutex;
}

// The message thread, from its start to its end.
void runLoop(std::promise<void>& started)
{
    juce::initialiseJuce_GUI();
    juce::MessageManager::getInstance()->setCurrentThreadAsMessageThread();
    started.set_value();
    juce::MessageManager::getInstance()->runDispatchLoop();
    juce::shutdownJuce_GUI();
}

}  // namespace

// The one message thread of the process: the only shared mutable state of the plug-in's LV2
// entry point, guarded by lifecycleMutex().
MessageThread& MessageThread::instance()
{
    static MessageThread thread;
    return thread;
}

MessageThread::Lease MessageThread::acquire()
{
    auto& self = instance();
    const std::scoped_lock lock(lifecycleMutex());
    if (self.leases++ == 0)
        self.start();
    return Lease(&self, [](MessageThread*) { release(); });
}

void MessageThread::release()
{
    auto& self = instance();
    const std::scoped_lock lock(lifecycleMutex());
    if (--self.leases == 0)
        self.stop();
}

void MessageThread::start()
{
    std::promise<void> started;
    auto ready = started.get_future();
    thread = std::thread(runLoop, std::ref(started));
    ready.wait();
}

void MessageThread::stop()
{
    auto* mm = juce::MessageManager::getInstanceWithoutCreating();
    assert(mm != nullptr && !mm->isThisTheMessageThread());
    mm->stopDispatchLoop();
    thread.join();
}

void MessageThread::call(const std::function<void()>& job)
{
    auto* mm = juce::MessageManager::getInstanceWithoutCreating();
    assert(mm != nullptr);
    if (mm->isThisTheMessageThread()) {
        job();
        return;
    }
    std::promise<void> done;
    auto finished = done.get_future();
    juce::MessageManager::callAsync([&job, &done] {
        try {
            job();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    finished.get();
}
