// The main window against the simulated wallet, for the demo and for looking
// at every path without hardware. The product itself takes no options.
#include "app/HomePage.h"
#include "app/QtCatalogue.h"
#include "console/MessageBoxNotices.h"
#include "console/Widget.h"
#include "log/Settings.h"
#include "net/NetSettings.h"
#include "net/ServerConfig.h"
#include "sim/SimOptions.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    // Sharp on high-density screens: Qt scales the whole window by the
    // screen's factor; it has to know before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setApplicationName(QStringLiteral("tessaro-updater-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSARO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tessaro firmware updater on a simulated wallet."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption server(QStringLiteral("server"), QStringLiteral("Base address of the firmware server."),
                                    QStringLiteral("URL"));
    const QCommandLineOption ca(QStringLiteral("ca"), QStringLiteral("Also trust this PEM CA certificate."),
                                QStringLiteral("FILE"));
    const QCommandLineOption advanced(QStringLiteral("advanced"), QStringLiteral("Show the advanced window instead."));
    parser.addOptions({server, ca, advanced});
    sim::addOptions(parser);

    // --help and --version answer on a terminal without a display: they are
    // looked for before the window system is reached. Qt's own options
    // (-platform and the like) are still in the list here and count as
    // unknown, so only the help and the version are acted on now.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    parser.parse(arguments);
    const QString help_all = QStringLiteral("help-all");
    if (parser.isSet(help) || parser.isSet(version) || parser.isSet(help_all)) {
        QCoreApplication terminal(argc, argv);
        if (parser.isSet(version)) {
            parser.showVersion();
        }
        if (parser.isSet(help)) {
            parser.showHelp(0);
        }
        // Only process() lists Qt's own options as well.
        parser.process(terminal);
    }

    QApplication app(argc, argv);
    if (!install_qt_catalogue(app)) {
        qInfo("Qt's Chinese catalogue is not installed; standard buttons keep their English texts");
    }
    parser.process(app);

    QTextStream err(stderr);
    QString error;
    if (!sim::applyOptions(parser, &error)) {
        err << "tessaro-updater-sim: " << error << '\n';
        return 2;
    }
    if (parser.isSet(server)) {
        net_settings().server_base = normalized_base(parser.value(server));
    }
    if (parser.isSet(ca) && !add_trusted_ca_file(parser.value(ca), &error)) {
        err << "tessaro-updater-sim: " << error << '\n';
        return 2;
    }

    MessageBoxNotices boxes;
    settings().notices = &boxes;
    int code = 0;
    {
        HomePage page(nullptr);
        if (parser.isSet(advanced)) {
            page.adv_widget->show();
        } else {
            page.show();
        }
        code = app.exec();
    }
    settings().notices = nullptr;
    sim::finish();
    return code;
}
