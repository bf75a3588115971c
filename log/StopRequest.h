#pragma once

#include "log/Failure.h"

#include <QObject>

#include <csignal>

// The process-wide request to stop, raised by the operator (Ctrl-C, SIGTERM)
// and read by every running sequence at its boundaries. It only ever grows:
// first no new wallet is taken, then every running update stops before its
// next command, between two blocks, never inside one. Nothing here ends a
// sequence by itself: each sequence asks at its own boundaries and ends with
// the stop's failure row, so a wallet is never left in the middle of a block
// and is never told to finish after a stop.
enum class StopLevel {
    None,
    NoNewWallets, // a wallet not yet restarted is not taken; running updates go on to their end
    AtBlockBoundary, // every running update stops before its next command or data block
};

StopLevel stop_level();
// True once the request has reached `level`.
bool stop_requested(StopLevel level);

// Raises the request for `signal` (SIGINT or SIGTERM): a first SIGINT takes
// no new wallets, a second one or a SIGTERM stops at the next block boundary.
// Only atomics and one write(): safe inside a signal handler.
void note_stop_signal(int signal);

// The failure a stop ends a sequence with: the row of the signal that raised
// it last, and so its exit status.
UpdateFailure stop_failure();

// Holds SIGINT and SIGTERM back on this thread while it lives; one that came
// meanwhile is handled as it ends. Around a wait for the wallet's reply: a
// read that a signal cuts short (hidraw's poll() fails with EINTR, whatever
// SA_RESTART says) would read as no reply and fail an update that a first
// Ctrl-C should let finish.
class StopSignalsHeld
{
public:
    StopSignalsHeld();
    ~StopSignalsHeld();
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

private:
    sigset_t previous_;
};

// Tells the event loop of each request after it was raised, also when it came
// from a signal handler: a wait that has nothing to do with the wallet (a
// network reply) can end at once. Created on first use, on the main thread,
// before any handler is installed.
class StopNotifier : public QObject
{
    Q_OBJECT
public:
    static StopNotifier* instance();

signals:
    void requested(StopLevel level);

private:
    StopNotifier();
    void drain();

    int read_fd_ = -1;
};
