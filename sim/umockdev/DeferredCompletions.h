#pragma once

// Completes umockdev clients' calls at given moments, from a thread of its
// own. umockdev hands every node's calls to one worker thread, so a write that
// waited there for its link slot would hold up the other wallets' writes too;
// completed from here, each wallet's writes take their own slots side by side.

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace sim {

class DeferredCompletions
{
public:
    using Clock = std::chrono::steady_clock;

    DeferredCompletions();
    // Completes whatever is still waiting at once.
    ~DeferredCompletions();
    DeferredCompletions(const DeferredCompletions&) = delete;
    DeferredCompletions& operator=(const DeferredCompletions&) = delete;

    // The client's call returns `result` (and `error`) at `when`, not before.
    void completeAt(Clock::time_point when, UMockdevIoctlClient* client, long result, int error);

private:
    struct Pending
    {
        UMockdevIoctlClient* client;
        long result;
        int error;
    };

    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::multimap<Clock::time_point, Pending> pending_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace sim
