#include "FirmwareServer.h"
#include "TestConfig.h"
#include "support/TempImage.h"
#include "support/ToolRun.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtTest>

namespace {

QString tls(const char* name)
{
    return QStringLiteral(TESSARO_TEST_DATA_DIR "/tls/") + QLatin1String(name);
}

QByteArray firmware_text()
{
    QByteArray text;
    for (const QByteArray& line : hex::image({{0x0800, 0x4000, hex::pattern(64 * 16, 5)}})) {
        text += line + "\r\n";
    }
    return text;
}

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
    QVERIFY(server_.set_certificate_files(tls("server.crt"), tls("server.key")));
    QVERIFY(server_.listen_local());
    const QByteArray body = firmware_text();
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
    QTest::addColumn<bool>("trustCa");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("lastNotice");

    QTest::newRow("updated") << QStringList() << true << 0 << "更新完成";
    QTest::newRow("CRC refused") << QStringList {"--fault", "refuse-crc=0"} << true << 1 << "更新失败";
    QTest::newRow("server not trusted") << QStringList() << false << 1 << "获取固件信息失败";
    QTest::newRow("missing CA file") << QStringList {"--ca", "/nonexistent/ca.pem"} << false << 2 << "";
    QTest::newRow("stray argument") << QStringList {"now"} << true << 2 << "";
}

void TestFlashUpdateCommand::update()
{
    QFETCH(QStringList, extra);
    QFETCH(bool, trustCa);
    QFETCH(int, exitCode);
    QFETCH(QString, lastNotice);

    QStringList args {"update", "--server", server_.base_url()};
    if (trustCa) {
        args << "--ca" << tls("ca.crt");
    }
    args << extra;
    // The server runs on this thread; run_tool keeps the event loop going.
    const ToolRun run = run_tool(QStringLiteral("tessaro-flash-sim"), args);
    const QString& err = run.err;
    QVERIFY2(run.code == exitCode, qPrintable(err));
    if (!lastNotice.isEmpty()) {
        QStringList notices;
        for (const QString& line : err.split(QLatin1Char('\n'))) {
            if (line.startsWith(QStringLiteral("提示: "))) {
                notices << line.mid(4);
            }
        }
        QVERIFY2(!notices.isEmpty(), qPrintable(err));
        QCOMPARE(notices.last(), lastNotice);
        // Only a finished update says it is finished.
        QCOMPARE(notices.contains(QStringLiteral("更新完成")), exitCode == 0);
    }
}

QTEST_MAIN(TestFlashUpdateCommand)
#include "TestFlashUpdateCommand.moc"
