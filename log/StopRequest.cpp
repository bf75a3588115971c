#include "log/StopRequest.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

std::atomic<int> g_level {static_cast<int>(StopLevel::None)};
std::atomic<int> g_signal {0};
std::atomic<int> g_interrupts {0};
// The write end of the self-pipe, -1 until the notifier exists.
std::atomic<int> g_wake_fd {-1};

static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

void raise_to(StopLevel level)
{
    int current = g_level.load();
    while (current < static_cast<int>(level) && !g_level.compare_exchange_weak(current, static_cast<int>(level))) { }
}

} // namespace

StopLevel stop_level()
{
    return static_cast<StopLevel>(g_level.load());
}

bool stop_requested(StopLevel level)
{
    return g_level.load() >= static_cast<int>(level);
}

void note_stop_signal(int signal)
{
    // Counted, not read off the level: with several threads two Ctrl-C may be
    // handled at once, on two threads, and the second must still be the second.
    const bool first_interrupt
        = signal == SIGINT && g_interrupts.fetch_add(1) == 0 && g_level.load() == static_cast<int>(StopLevel::None);
    raise_to(first_interrupt ? StopLevel::NoNewWallets : StopLevel::AtBlockBoundary);
    g_signal.store(signal);
    const int fd = g_wake_fd.load();
    if (fd >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up: the lost byte changes nothing.
        const ssize_t written = ::write(fd, &byte, 1);
        (void)written;
    }
}

UpdateFailure stop_failure()
{
    return g_signal.load() == SIGTERM ? UpdateFailure::Terminated : UpdateFailure::Interrupted;
}

StopSignalsHeld::StopSignalsHeld()
{
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

StopSignalsHeld::~StopSignalsHeld()
{
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

StopNotifier* StopNotifier::instance()
{
    // Lives until exit: a handler may still write after main returns.
    static StopNotifier* notifier = new StopNotifier();
    return notifier;
}

StopNotifier::StopNotifier()
{
    int fds[2];
    if (::pipe(fds) != 0) {
        return;
    }
    for (int fd : fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    read_fd_ = fds[0];
    auto* reader = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(reader, &QSocketNotifier::activated, this, &StopNotifier::drain);
    g_wake_fd.store(fds[1]);
}

void StopNotifier::drain()
{
    char bytes[16];
    while (::read(read_fd_, bytes, sizeof bytes) > 0) { }
    emit requested(stop_level());
}
