#pragma once

// From here on Ctrl-C and SIGTERM no longer end the process at once: they
// raise its stop request, which the running sequence answers at its next
// boundary (log/StopRequest.h). Only commands that answer it install this.
void install_stop_signals();
