// A local HTTPS firmware server for demos and manual tests.
#include "FirmwareServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption cert("cert", "PEM certificate chain of the server.", "FILE");
    const QCommandLineOption key("key", "PEM private key of the server.", "FILE");
    const QCommandLineOption port("port", "Port to listen on, 0 for any.", "N", "0");
    const QCommandLineOption root("root", "Folder whose files are served under /firmware/.", "DIR");
    const QCommandLineOption release("release", "HEX file announced at /firmware/latest.", "FILE");
    parser.addOptions({cert, key, port, root, release});
    parser.process(app);

    if (!parser.isSet(cert) || !parser.isSet(key)) {
        std::fprintf(stderr, "--cert and --key are required\n");
        return 2;
    }
    bool port_ok = false;
    const uint port_value = parser.value(port).toUInt(&port_ok);
    if (!port_ok || port_value > 65535) {
        std::fprintf(stderr, "bad --port\n");
        return 2;
    }

    FirmwareServer server;
    QString error;
    if (!server.set_certificate_files(parser.value(cert), parser.value(key), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    if (!server.listen_local(quint16(port_value))) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    if (parser.isSet(root)) {
        server.set_file_root(parser.value(root));
    }

    if (parser.isSet(release)) {
        QFile file(parser.value(release));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(file.fileName()));
            return 1;
        }
        // Served and digested in the form the updater stores: each line ended
        // with CR LF, so that a file with LF line ends verifies too.
        QByteArray data;
        for (QByteArray line : file.readAll().split('\n')) {
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            data += line + "\r\n";
        }
        if (data.endsWith("\r\n\r\n")) {
            data.chop(2);
        }
        const QString name = QFileInfo(file.fileName()).fileName();
        const QByteArray md5 = QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
        const QString version = QFileInfo(file.fileName()).completeBaseName();
        const QByteArray answer = QStringLiteral("{\"version\":\"%1\",\"url\":\"%2/firmware/%3\",\"md5\":\"%4\"}")
                                      .arg(version, server.base_url(), name, QString::fromLatin1(md5))
                                      .toUtf8();
        server.set_route("/firmware/latest", 200, answer, "application/json");
        server.set_route("/firmware/" + name, 200, data);
    }

    std::printf("port %d\n", int(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
