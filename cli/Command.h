#pragma once

#include "cli/CliOption.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

class QCommandLineParser;
class QTextStream;

// What one command of tessaro-flash is, declared once by the command itself:
// the tool's help, the command's --help and the usage errors are made from it.
struct CommandSpec
{
    const char* name;
    QStringList arguments; // the positional arguments after the name, all required
    QVector<CliOption> options;
    const char* summary; // one line in the tool's help
    const char* help; // the command's --help, after its usage line
    const char* example; // what follows "tessaro-flash "
    // The command's own exit statuses in a sentence; nullptr: the tool's table.
    const char* own_exit_statuses = nullptr;
};

// A command as it runs: its positional arguments and the options given.
struct CommandCall
{
    QStringList arguments;
    const QCommandLineParser& parser;
    QTextStream& out;
    QTextStream& err;

    bool isSet(CliOption option) const;
    QString value(CliOption option) const;
    QStringList values(CliOption option) const;
};

class Command
{
public:
    explicit Command(CommandSpec spec);
    virtual ~Command() = default;
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    const CommandSpec& spec() const { return spec_; }
    QString name() const { return QString::fromLatin1(spec_.name); }
    bool takes(CliOption option) const { return spec_.options.contains(option); }
    // "tessaro-flash flash FILE.hex [--device PATH] [--json] [-v]"
    QString usage() const;
    // The command's own --help.
    QString helpText() const;
    // The usage error in what was given, or an empty string.
    virtual QString misuse(const CommandCall& call) const;

    virtual int run(const CommandCall& call) const = 0;

private:
    CommandSpec spec_;
};

// `misused`, or when it is empty and both --device and --port were given, the
// usage error of naming one wallet twice.
QString device_or_port(const QString& misused, const CommandCall& call);

// Every command of the tool, in the order the help lists them.
const std::vector<std::unique_ptr<Command>>& command_registry();
const Command* find_command(const QString& name);

// The exit statuses of update, flash and devices, a line each, from their table.
QString exit_status_lines(const QString& indent);
// The tool's --help text above its option list, made from the registry.
QString tool_description();
