#include "FirmwareServer.h"
#include "TestConfig.h"
#include "support/TempImage.h"
#include "support/ToolRun.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QString kTls = QStringLiteral(TESSARO_TEST_DATA_DIR "/tls/");

// The firmware lands beside the executable, as in the installed program.
const QString kFirmwareName = QStringLiteral("cli-test-fw.hex");

} // namespace

// `tessaro-flash-sim update`: the automatic update headless, as a separate
// process against the local HTTPS server, with exit status and stderr as the
// engineer or a factory script sees them.
class TestFlashUpdateCommand : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void update_data();
    void update();

private:
    FirmwareServer server_;
};

void TestFlashUpdateCommand::initTestCase()
{
    QVERIFY(server_.set_certificate_files(kTls + "server.crt", kTls + "server.key"));
    QVERIFY(server_.listen_local());
    const QByteArray body = hex::image({{0x0800, 0x4000, hex::pattern(64 * 16, 5)}}).join("\r\n") + "\r\n";
    const QByteArray digest = QCryptographicHash::hash(body, QCryptographicHash::Md5).toHex();
    server_.set_route("/firmware/" + kFirmwareName, 200, body);
    server_.set_route(QStringLiteral("/firmware/latest"), 200,
                      "{\"version\":\"1\",\"url\":\"" + server_.base_url().toUtf8() + "/firmware/"
                          + kFirmwareName.toUtf8() + "\",\"md5\":\"" + digest + "\"}");
}

void TestFlashUpdateCommand::cleanup()
{
    QFile::remove(QStringLiteral(TESSARO_FLASH_SIM_DIR "/") + kFirmwareName);
}

void TestFlashUpdateCommand::update_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("lastNotice");
    QTest::addColumn<QString>("because"); // in the last line on stderr
    QTest::addColumn<QString>("failure"); // the failure's name in the JSON end event

    const QString ca = kTls + "ca.crt";
    QTest::newRow("updated") << QStringList {"--ca", ca} << 0 << "更新完成"
                             << ""
                             << "";
    QTest::newRow("updated, JSON events") << QStringList {"--ca", ca, "--json"} << 0 << "更新完成"
                                          << ""
                                          << "";
    QTest::newRow("CRC refused") << QStringList {"--ca", ca, "--fault", "refuse-crc=0", "--json"} << 1 << "更新失败"
                                 << "CRC check of segment 0"
                                 << "crc-refused";
    QTest::newRow("bootloader without permission")
        << QStringList {"--ca", ca, "--fault", "bootloader-open-denied", "--json"} << 1 << "更新设备未找到"
        << "Install the udev rule 70-tessaro-wallet.rules"
        << "bootloader-no-permission";
    QTest::newRow("server not trusted") << QStringList {"--json"} << 5 << "获取固件信息失败"
                                        << "certificate: "
                                        << "release-tls-refused";
    QTest::newRow("server unreachable") << QStringList {"--ca", ca, "--server", "https://127.0.0.1:1", "--json"} << 5
                                        << "获取固件信息失败"
                                        << "https://127.0.0.1:1/firmware/latest: Connection refused"
                                        << "release-no-answer";
    QTest::newRow("release not found") << QStringList {"--ca", ca, "--server", server_.base_url() + "/none", "--json"}
                                       << 5 << "获取固件信息失败"
                                       << "(HTTP 404)"
                                       << "release-http-status";
    QTest::newRow("no wallet") << QStringList {"--ca", ca, "--no-wallet", "--json"} << 3 << "设备未找到"
                               << "no wallet attached"
                               << "no-wallet";
    QTest::newRow("several wallets, none named") << QStringList {"--ca", ca, "--wallets", "2", "--json"} << 3 << ""
                                                 << "several wallets attached (application IOService:"
                                                 << "several-wallets";
    QTest::newRow("the second wallet by its port")
        << QStringList {"--ca", ca, "--wallets", "2", "--port", "0x14200000"} << 0 << "更新完成"
        << ""
        << "";
    QTest::newRow("the second wallet by its path")
        << QStringList {"--ca", ca, "--wallets", "2", "--path-style", "linux", "--device", "/dev/hidraw2"} << 0
        << "更新完成"
        << ""
        << "";
    QTest::newRow("no wallet on the port")
        << QStringList {"--ca", ca, "--wallets", "2", "--port", "1-9", "--json"} << 3 << ""
        << "no wallet on port 1-9"
        << "no-wallet-on-port";
    QTest::newRow("missing CA file") << QStringList {"--ca", "/nonexistent/ca.pem"} << 2 << ""
                                     << ""
                                     << "";
    QTest::newRow("stray argument") << QStringList {"--ca", ca, "now"} << 2 << ""
                                    << ""
                                    << "";
}

void TestFlashUpdateCommand::update()
{
    QFETCH(QStringList, extra);
    QFETCH(int, exitCode);
    QFETCH(QString, lastNotice);
    QFETCH(QString, because);
    QFETCH(QString, failure);

    // The server runs on this thread; run_tool keeps the event loop going.
    const ToolRun run
        = run_tool(QStringLiteral("tessaro-flash-sim"), QStringList {"update", "--server", server_.base_url()} + extra);
    QVERIFY2(run.code == exitCode, qPrintable(run.err));
    const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList notices;
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("提示: "))) {
            notices << line.mid(4);
        }
    }
    QCOMPARE(notices.value(notices.size() - 1), lastNotice);
    // Only a finished update says it is finished; a failed one ends on its reason.
    QCOMPARE(notices.contains(QStringLiteral("更新完成")), exitCode == 0);
    if (exitCode != 0 && exitCode != 2) {
        QVERIFY2(lines.last().startsWith(QStringLiteral("tessaro-flash: ")) && lines.last().contains(because),
                 qPrintable(run.err));
    }
    QVERIFY(!run.err.contains(QStringLiteral("md5值匹配"))); // no debug trace without --verbose
    // Under --json every stdout line is an event, a notice for each box, the last the end.
    if (extra.contains(QStringLiteral("--json"))) {
        QStringList events;
        QJsonObject last;
        for (const QString& line : run.out.split('\n', Qt::SkipEmptyParts)) {
            last = QJsonDocument::fromJson(line.toUtf8()).object();
            events << last.value("event").toString() + ":" + last.value("step").toString()
                    + last.value("text").toString();
        }
        // Which wallet is settled before the server is asked: without one, no box and no query.
        QVERIFY2(events.contains("step:release-query") == !lastNotice.isEmpty(), qPrintable(run.out));
        QCOMPARE(events.contains("step:write"), exitCode == 0 || failure.startsWith("crc"));
        QVERIFY(lastNotice.isEmpty() || events.contains("notice:" + lastNotice));
        QCOMPARE(last.value("exit").toInt(), exitCode);
        QCOMPARE(last.value("failure").toString(), failure);
    }
}

QTEST_MAIN(TestFlashUpdateCommand)
#include "TestFlashUpdateCommand.moc"
