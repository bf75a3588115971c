#include "cli/FlashTool.h"

#include "cli/CliExtension.h"
#include "cli/Command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <hidapi.h>

namespace {

int usage_error(QTextStream& err, const QString& text, const Command* command = nullptr)
{
    const QString help = command != nullptr ? command->name() + QStringLiteral(" --help") : QStringLiteral("--help");
    err << "tessaro-flash: " << text << "\nTry 'tessaro-flash " << help << "'.\n";
    return EXIT_USAGE;
}

// An option of the table as the parser takes it, its help naming the commands
// that take it.
QCommandLineOption parser_option(const CliOptionRow& row)
{
    QStringList takers;
    for (const std::unique_ptr<Command>& command : command_registry()) {
        if (command->takes(row.id)) {
            takers << command->name();
        }
    }
    const QString help = QString::fromUtf8(row.help) + QStringLiteral(" (") + takers.join(QStringLiteral(", ")) + ')';
    return row.value_name != nullptr ? QCommandLineOption(row.names, help, QString::fromLatin1(row.value_name))
                                     : QCommandLineOption(row.names, help);
}

// Quiet unless asked: the debug trace only with --verbose; warnings and errors always.
void quiet_debug_output(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg || type == QtInfoMsg) {
        return;
    }
    QTextStream(stderr) << text << '\n';
}

} // namespace

int run_flash_tool(int argc, char** argv, CliExtension* extension)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaro-flash"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSARO_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");

    QCommandLineParser parser;
    parser.setApplicationDescription(tool_description());
    const QCommandLineOption help = parser.addHelpOption();
    // Not addVersionOption(): its -v is --verbose here.
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Displays version information."));
    parser.addOption(version);
    for (const CliOptionRow& row : cli_options()) {
        parser.addOption(parser_option(row));
    }
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command to run."),
                                 QStringLiteral("command [args]"));
    if (extension != nullptr) {
        extension->addOptions(parser);
    }

    if (!parser.parse(app.arguments())) {
        return usage_error(err, parser.errorText());
    }
    const QStringList positional = parser.positionalArguments();
    const Command* command = find_command(positional.value(0));
    if (parser.isSet(help)) {
        out << (command != nullptr ? command->helpText() : parser.helpText());
        return EXIT_OK;
    }
    if (parser.isSet(version)) {
        out << "tessaro-flash " << QCoreApplication::applicationVersion() << '\n';
        return EXIT_OK;
    }
    if (positional.isEmpty()) {
        return usage_error(err, QStringLiteral("no command given"));
    }
    if (command == nullptr) {
        return usage_error(err, QStringLiteral("unknown command '%1'").arg(positional.first()));
    }
    const CommandCall call {positional.mid(1), parser, out, err};
    const QString misuse = command->misuse(call);
    if (!misuse.isEmpty()) {
        return usage_error(err, misuse, command);
    }
    if (!parser.isSet(cli_option(CliOption::Verbose).names.first())) {
        qInstallMessageHandler(quiet_debug_output);
    }
    QString error;
    if (extension != nullptr && !extension->apply(parser, &error)) {
        return usage_error(err, error);
    }
    // hidapi's state lives as long as the run: the commands' sessions come and go within it.
    hid_init();
    const int code = command->run(call);
    hid_exit();
    out.flush();
    err.flush();
    if (extension != nullptr) {
        extension->finish();
    }
    return code;
}
