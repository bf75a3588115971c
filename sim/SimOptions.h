#pragma once

// Command-line options of the -sim executables: they describe the one wallet
// the simulated bus starts with, its faults, the signals raised at given
// reports, and where the wire trace and the wallets' final state go.

#include <QString>

class QCommandLineParser;

namespace sim {

struct WalletConfig;

void addOptions(QCommandLineParser& parser);

// Reads the options and attaches one wallet in application mode. False, with
// `error` set, when an option value makes no sense.
bool applyOptions(const QCommandLineParser& parser, QString* error);

// Applies one --fault value ("unplug-after=3", "no-erase-reply", ...) to `config`.
bool applyFault(const QString& spec, WalletConfig* config, QString* error);

// At exit: writes the wire trace and the wallets' state where --trace and
// --state asked for them. False, with `error` set, when one cannot be written.
bool finish(QString* error = nullptr);

} // namespace sim
