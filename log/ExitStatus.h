#pragma once

#include <QString>
#include <QVector>

// The exit statuses of tessaro-flash's update, flash and devices, each with
// what it means, written once: the help, docs/CLI.md and the manual page are
// held to this table by a test. Once anything was sent to a wallet every
// failure is EXIT_FAILED; the others say why nothing was.
enum ExitCode {
    EXIT_OK = 0,
    EXIT_FAILED = 1,
    EXIT_USAGE = 2,
    EXIT_NO_WALLET = 3,
    EXIT_IMAGE = 4,
    EXIT_SERVER = 5,
    EXIT_NO_PERMISSION = 6,
    EXIT_BUSY = 7,
    // Stopped by a signal: 128 + its number, as a shell reports a process it killed.
    EXIT_INTERRUPTED = 130, // SIGINT
    EXIT_TERMINATED = 143, // SIGTERM
};

struct ExitStatusRow
{
    ExitCode code;
    const char* meaning;
    // A run over several wallets ends with the status of its worst wallet:
    // the one of highest rank. A wallet touched and not verified comes first,
    // then a stop the operator asked for, then why a wallet was not taken.
    int rank;
};

// Every status, in order of its number.
const QVector<ExitStatusRow>& exit_statuses();
QString exit_meaning(ExitCode code);
// The status of a run over wallets that ended with `codes`: EXIT_OK only when
// every one did, and when there is none.
int worst_exit(const QVector<int>& codes);
