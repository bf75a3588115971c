#pragma once

#include <QString>

class QCommandLineParser;

// Lets a build of tessaro-flash add options of its own (the simulated wallet's)
// without the tool knowing what stands behind them.
class CliExtension
{
public:
    virtual ~CliExtension() = default;
    virtual void addOptions(QCommandLineParser& parser) = 0;
    // Called after parsing; false stops the tool with a usage error.
    virtual bool apply(const QCommandLineParser& parser, QString* error) = 0;
    // Called once before the tool exits.
    virtual void finish() = 0;
};
