#include "sim/umockdev/DeferredCompletions.h"

#include <umockdev.h>

namespace sim {

DeferredCompletions::DeferredCompletions()
    : thread_([this] { run(); })
{
}

DeferredCompletions::~DeferredCompletions()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void DeferredCompletions::completeAt(Clock::time_point when, UMockdevIoctlClient* client, long result, int error)
{
    // Held until completed: umockdev may drop the client once its caller is gone.
    g_object_ref(client);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.emplace(when, Pending {client, result, error});
    }
    wake_.notify_one();
}

void DeferredCompletions::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (pending_.empty()) {
            if (stopping_) {
                return;
            }
            wake_.wait(lock);
            continue;
        }
        const auto first = pending_.begin();
        if (!stopping_ && Clock::now() < first->first) {
            // Waits for an absolute moment, so a late wake-up does not add up.
            wake_.wait_until(lock, first->first);
            continue;
        }
        const Pending done = first->second;
        pending_.erase(first);
        lock.unlock();
        // Thread-safe in umockdev: it passes the result on to its worker thread.
        umockdev_ioctl_client_complete(done.client, done.result, done.error);
        g_object_unref(done.client);
        lock.lock();
    }
}

} // namespace sim
