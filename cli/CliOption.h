#pragma once

#include <QStringList>
#include <QVector>

// Every option a command of tessaro-flash can take, written once: its names,
// its value and its help. A command names the ones it takes (cli/Command.h);
// the parser, the help and the usage errors are made from these rows.
enum class CliOption {
    Json,
    Verbose,
    Server,
    Ca,
    Device,
    Port,
    All,
    Watch,
    Count,
};

struct CliOptionRow
{
    CliOption id;
    QStringList names; // the short name first, where there is one
    const char* value_name; // nullptr for a switch
    const char* help;
};

const QVector<CliOptionRow>& cli_options();
const CliOptionRow& cli_option(CliOption id);
// "--device PATH", "-v, --verbose": as the help and the usage lines write it.
QString option_synopsis(const CliOptionRow& row);
