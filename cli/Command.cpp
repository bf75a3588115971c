#include "cli/Command.h"

#include "log/ExitStatus.h"

#include <QCommandLineParser>

namespace {

QString dashed(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// "[--device PATH]" or "[-v]": the shortest name, as a usage line writes it.
QString usage_of(CliOption option)
{
    const CliOptionRow& row = cli_option(option);
    QString text = dashed(row.names.first());
    if (row.value_name != nullptr) {
        text += QLatin1Char(' ') + QLatin1String(row.value_name);
    }
    return QLatin1Char('[') + text + QLatin1Char(']');
}

QString number_word(int count)
{
    static const char* const words[] = {"no", "one", "two", "three"};
    return count < 4 ? QString::fromLatin1(words[count]) : QString::number(count);
}

} // namespace

bool CommandCall::isSet(CliOption option) const
{
    return parser.isSet(cli_option(option).names.first());
}

QString CommandCall::value(CliOption option) const
{
    return parser.value(cli_option(option).names.first());
}

QStringList CommandCall::values(CliOption option) const
{
    return parser.values(cli_option(option).names.first());
}

Command::Command(CommandSpec spec)
    : spec_(std::move(spec))
{
}

QString Command::usage() const
{
    QStringList parts {QStringLiteral("tessaro-flash"), name()};
    parts << spec_.arguments;
    for (CliOption option : spec_.options) {
        parts << usage_of(option);
    }
    return parts.join(QLatin1Char(' '));
}

QString Command::helpText() const
{
    QString text = QStringLiteral("Usage: ") + usage() + QLatin1Char('\n') + QString::fromUtf8(spec_.help) + '\n';
    for (CliOption option : spec_.options) {
        const CliOptionRow& row = cli_option(option);
        text += QStringLiteral("  %1  %2\n").arg(option_synopsis(row), -15).arg(QString::fromUtf8(row.help));
    }
    text += QStringLiteral("Example: tessaro-flash ") + QString::fromUtf8(spec_.example) + '\n';
    if (spec_.own_exit_statuses != nullptr) {
        text += QStringLiteral("Exit status: ") + QString::fromUtf8(spec_.own_exit_statuses) + '\n';
    } else {
        text += QStringLiteral("Exit status:\n") + exit_status_lines(QStringLiteral("  "));
    }
    return text;
}

QString Command::misuse(const CommandCall& call) const
{
    const int wanted = spec_.arguments.size();
    if (call.arguments.size() != wanted) {
        if (wanted == 0) {
            return name() + QStringLiteral(" takes no arguments");
        }
        return name() + QStringLiteral(" takes exactly ") + number_word(wanted) + QLatin1Char(' ')
            + spec_.arguments.join(QLatin1Char(' '));
    }
    for (const CliOptionRow& row : cli_options()) {
        if (!takes(row.id) && call.parser.isSet(row.names.first())) {
            return name() + QStringLiteral(" does not take ") + dashed(row.names.last());
        }
    }
    return QString();
}

QString device_or_port(const QString& misused, const CommandCall& call)
{
    if (misused.isEmpty() && call.isSet(CliOption::Device) && call.isSet(CliOption::Port)) {
        return QStringLiteral("name the wallet with --device or with --port, not both");
    }
    return misused;
}

const Command* find_command(const QString& name)
{
    for (const std::unique_ptr<Command>& command : command_registry()) {
        if (command->name() == name) {
            return command.get();
        }
    }
    return nullptr;
}

QString exit_status_lines(const QString& indent)
{
    QString text;
    for (const ExitStatusRow& row : exit_statuses()) {
        text += indent + QStringLiteral("%1  %2\n").arg(int(row.code)).arg(QString::fromLatin1(row.meaning));
    }
    return text;
}

QString tool_description()
{
    QString text = QStringLiteral("Tessaro firmware tool for engineers and factory use.\n\nCommands:\n");
    for (const std::unique_ptr<Command>& command : command_registry()) {
        const CommandSpec& spec = command->spec();
        const QString call = (QStringList {command->name()} + spec.arguments).join(QLatin1Char(' '));
        text += QStringLiteral("  %1  %2\n").arg(call, -15).arg(QString::fromUtf8(spec.summary));
        text += QStringLiteral("  %1    tessaro-flash %2\n").arg(QString(), -15).arg(QString::fromUtf8(spec.example));
    }
    text += QStringLiteral("'tessaro-flash COMMAND --help' shows a command's options.\n\n");
    text += QStringLiteral("Exit status of");
    QStringList shared;
    QStringList own;
    for (const std::unique_ptr<Command>& command : command_registry()) {
        if (command->spec().own_exit_statuses == nullptr) {
            shared << command->name();
        } else {
            own << command->name() + QStringLiteral(": ") + QString::fromUtf8(command->spec().own_exit_statuses);
        }
    }
    text += QLatin1Char(' ') + shared.join(QStringLiteral(", ")) + QStringLiteral(":\n");
    text += exit_status_lines(QStringLiteral("  "));
    for (const QString& line : qAsConst(own)) {
        text += line + QLatin1Char('\n');
    }
    text += QStringLiteral("See docs/CLI.md and tessaro-flash(1).");
    return text;
}
