#include "cli/FlashTool.h"

#include "cli/CliExtension.h"
#include "cli/InfoCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

const char kDescription[] = "Tessaro firmware tool for engineers and factory use.\n"
                            "\n"
                            "Commands:\n"
                            "  info FILE.hex   check an Intel HEX image and print its segment table";

int usage_error(QTextStream& err, const QString& text)
{
    err << "tessaro-flash: " << text << "\nTry 'tessaro-flash --help'.\n";
    return EXIT_USAGE;
}

int dispatch(const QCommandLineParser& parser, const QCommandLineOption& json, QTextStream& out, QTextStream& err)
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
        return run_info(args[1], parser.isSet(json), out, err);
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
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the result as one JSON object."));
    parser.addOption(json);
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
    const int code = dispatch(parser, json, out, err);
    out.flush();
    err.flush();
    if (extension != nullptr) {
        extension->finish();
    }
    return code;
}
