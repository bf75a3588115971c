#include "cli/FlashTool.h"

#include "cli/CliExtension.h"
#include "cli/DevicesCommand.h"
#include "cli/FlashCommand.h"
#include "cli/InfoCommand.h"
#include "cli/UpdateCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

const char kDescription[]
    = "Tessaro firmware tool for engineers and factory use.\n"
      "\n"
      "Commands:\n"
      "  info FILE.hex    check an Intel HEX image and print its segment table (--json)\n"
      "                     tessaro-flash info --json fw.hex\n"
      "  update           the automatic update: current release from the server onto the wallet\n"
      "                   (--server, --ca, --json)\n"
      "                     tessaro-flash update --server https://fw.example --ca extra.pem --json\n"
      "  devices          list the wallet's HID interfaces (--json)\n"
      "                     tessaro-flash devices --json\n"
      "  flash FILE.hex   write a local image to a wallet (--device, --json)\n"
      "                     tessaro-flash flash fw.hex --device /dev/hidraw3 --json\n"
      "\n"
      "Exit status of update, flash and devices: 0 success; 1 failure after anything\n"
      "was sent to a wallet; 2 usage error; 3 no wallet, or several and no --device;\n"
      "4 image refused or unreadable; 5 the firmware server or its answer; 6 a wallet\n"
      "that could not be opened for lack of permission. info: 0 accepted, 1 refused,\n"
      "2 usage error or unreadable file. See docs/CLI.md.";

struct Options
{
    QCommandLineOption json {
        QStringLiteral("json"),
        QStringLiteral("JSON on stdout: the result (info, devices) or one event a line (update, flash).")};
    QCommandLineOption verbose {{QStringLiteral("v"), QStringLiteral("verbose")},
                                QStringLiteral("Also print the program's debug trace.")};
    QCommandLineOption server {QStringLiteral("server"),
                               QStringLiteral("Base address of the firmware server (update), default https://")
                                   + QStringLiteral(TESSARO_FIRMWARE_HOST) + QLatin1Char('.'),
                               QStringLiteral("URL")};
    QCommandLineOption ca {QStringLiteral("ca"), QStringLiteral("Also trust this PEM CA certificate (update)."),
                           QStringLiteral("FILE")};
    QCommandLineOption device {QStringLiteral("device"), QStringLiteral("HID path of the wallet to flash (flash)."),
                               QStringLiteral("PATH")};
};

// `tessaro-flash COMMAND --help`: the command's own options and an example.
struct CommandHelp
{
    const char* name;
    const char* text;
};
const CommandHelp kCommandHelp[] = {
    {"info",
     "Usage: tessaro-flash info [--json] FILE.hex\n"
     "Checks an Intel HEX image as the writers will and prints its segment table.\n"
     "  --json   the verdict and the table as one JSON object\n"
     "Example: tessaro-flash info --json fw.hex\n"
     "Exit status: 0 accepted, 1 refused, 2 usage error or unreadable file.\n"},
    {"update",
     "Usage: tessaro-flash update [--server URL] [--ca FILE] [--json] [-v]\n"
     "The automatic update: the current release from the firmware server onto the wallet.\n"
     "  --server URL   base address of the firmware server\n"
     "  --ca FILE      also trust this PEM CA certificate\n"
     "  --json         one JSON event a line on stdout (docs/CLI.md)\n"
     "  -v, --verbose  also print the debug trace\n"
     "Example: tessaro-flash update --server https://fw.example --ca extra.pem --json\n"},
    {"devices",
     "Usage: tessaro-flash devices [--json]\n"
     "Lists the wallet's HID interfaces: mode, interface, product, path, and \"no permission\"\n"
     "where this user may not open one (then the exit status is 6).\n"
     "  --json   {\"devices\":[...]}\n"
     "Example: tessaro-flash devices --json\n"},
    {"flash",
     "Usage: tessaro-flash flash FILE.hex [--device PATH] [--json] [-v]\n"
     "Writes a local image to a wallet, as the advanced window's download does.\n"
     "  --device PATH  the wallet to write (needed when several are attached)\n"
     "  --json         one JSON event a line on stdout (docs/CLI.md)\n"
     "  -v, --verbose  also print the debug trace\n"
     "Example: tessaro-flash flash fw.hex --device /dev/hidraw3\n"},
};

int usage_error(QTextStream& err, const QString& text)
{
    err << "tessaro-flash: " << text << "\nTry 'tessaro-flash --help'.\n";
    return EXIT_USAGE;
}

int dispatch(const QCommandLineParser& parser, const Options& options, QTextStream& out, QTextStream& err)
{
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        return usage_error(err, QStringLiteral("no command given"));
    }
    const QString command = args.first();
    if (command == QLatin1String("info")) {
        if (args.size() != 2) {
            return usage_error(err, QStringLiteral("info takes exactly one FILE.hex"));
        }
        return run_info(args[1], parser.isSet(options.json), out, err);
    }
    if (command == QLatin1String("update")) {
        if (args.size() != 1) {
            return usage_error(err, QStringLiteral("update takes no arguments"));
        }
        return run_update(parser.value(options.server), parser.value(options.ca), parser.isSet(options.json), out, err);
    }
    if (command == QLatin1String("devices")) {
        if (args.size() != 1) {
            return usage_error(err, QStringLiteral("devices takes no arguments"));
        }
        return run_devices(parser.isSet(options.json), out, err);
    }
    if (command == QLatin1String("flash")) {
        if (args.size() != 2) {
            return usage_error(err, QStringLiteral("flash takes exactly one FILE.hex"));
        }
        return run_flash(args[1], parser.value(options.device), parser.isSet(options.json), out, err);
    }
    return usage_error(err, QStringLiteral("unknown command '%1'").arg(command));
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
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    // Not addVersionOption(): its -v is --verbose here.
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Displays version information."));
    parser.addOption(version);
    const Options options;
    parser.addOptions({options.json, options.verbose, options.server, options.ca, options.device});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command to run."),
                                 QStringLiteral("command [args]"));
    if (extension != nullptr) {
        extension->addOptions(parser);
    }

    if (!parser.parse(app.arguments())) {
        return usage_error(err, parser.errorText());
    }
    if (parser.isSet(help)) {
        const QString command = parser.positionalArguments().value(0);
        for (const CommandHelp& entry : kCommandHelp) {
            if (command == QLatin1String(entry.name)) {
                out << QString::fromUtf8(entry.text);
                return EXIT_OK;
            }
        }
        out << parser.helpText();
        return EXIT_OK;
    }
    if (parser.isSet(version)) {
        out << "tessaro-flash " << QCoreApplication::applicationVersion() << '\n';
        return EXIT_OK;
    }
    if (!parser.isSet(options.verbose)) {
        qInstallMessageHandler(quiet_debug_output);
    }
    QString error;
    if (extension != nullptr && !extension->apply(parser, &error)) {
        return usage_error(err, error);
    }
    const int code = dispatch(parser, options, out, err);
    out.flush();
    err.flush();
    if (extension != nullptr) {
        extension->finish();
    }
    return code;
}
