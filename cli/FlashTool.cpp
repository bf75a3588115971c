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

const char kDescription[] = "Tessaro firmware tool for engineers and factory use.\n"
                            "\n"
                            "Commands:\n"
                            "  info FILE.hex    check an Intel HEX image and print its segment table\n"
                            "  update           the automatic update: current release from the server onto the wallet\n"
                            "  devices          list the wallet's HID interfaces\n"
                            "  flash FILE.hex   write a local image to a wallet (--device PATH picks one)\n"
                            "\n"
                            "Exit status: 0 success, 1 failure, 2 usage error.";

struct Options
{
    QCommandLineOption json {QStringLiteral("json"), QStringLiteral("Print the result as JSON (info, devices).")};
    QCommandLineOption server {QStringLiteral("server"),
                               QStringLiteral("Base address of the firmware server (update), default https://")
                                   + QStringLiteral(TESSARO_FIRMWARE_HOST) + QLatin1Char('.'),
                               QStringLiteral("URL")};
    QCommandLineOption ca {QStringLiteral("ca"), QStringLiteral("Also trust this PEM CA certificate (update)."),
                           QStringLiteral("FILE")};
    QCommandLineOption device {QStringLiteral("device"), QStringLiteral("HID path of the wallet to flash (flash)."),
                               QStringLiteral("PATH")};
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
        return run_update(parser.value(options.server), parser.value(options.ca), out, err);
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
        return run_flash(args[1], parser.value(options.device), out, err);
    }
    return usage_error(err, QStringLiteral("unknown command '%1'").arg(command));
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
    const QCommandLineOption version = parser.addVersionOption();
    const Options options;
    parser.addOptions({options.json, options.server, options.ca, options.device});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command to run."),
                                 QStringLiteral("command [args]"));
    if (extension != nullptr) {
        extension->addOptions(parser);
    }

    if (!parser.parse(app.arguments())) {
        return usage_error(err, parser.errorText());
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return EXIT_OK;
    }
    if (parser.isSet(version)) {
        out << "tessaro-flash " << QCoreApplication::applicationVersion() << '\n';
        return EXIT_OK;
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
