#pragma once

// Command-line options of the -sim executables: they describe the one wallet
// the simulated bus starts with, its faults, and where the wire trace goes.

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

// At exit: writes the wire trace if --trace asked for one.
void finish();

} // namespace sim
