#include "cli/StopSignals.h"

#include "log/StopRequest.h"

#include <csignal>

namespace {

extern "C" void on_stop_signal(int signal)
{
    note_stop_signal(signal);
}

} // namespace

void install_stop_signals()
{
    // The notifier's pipe must exist before a handler can write to it.
    StopNotifier::instance();
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes of the device go on: the stop is answered
    // at a boundary, not by whichever system call the signal happened to hit.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
