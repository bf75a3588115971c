#include "TestConfig.h"
#include "support/RunLog.h"
#include "support/TempImage.h"
#include "support/ToolRun.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

// `tessaro-flash-sim devices` and `flash`: the manual path headless, as the
// factory runs it, with exit status, output and the run log it leaves.
class TestFlashDevices : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void devices_data();
    void devices();
    void flash_data();
    void flash();
    void flashWithoutRunLog();

private:
    // The run log lands in the working directory.
    ToolRun run(const QStringList& args) const
    {
        return run_tool(QStringLiteral("tessaro-flash-sim"), args, workDir_.path());
    }

    QTemporaryDir workDir_;
};

void TestFlashDevices::initTestCase()
{
    QVERIFY(workDir_.isValid());
}

void TestFlashDevices::devices_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("expectedPath");
    QTest::newRow("macOS: Smart@1 left out") << "macos"
                                             << "Korvex N1@0";
    QTest::newRow("hidraw: interface 1 left out") << "linux"
                                                  << "/dev/hidraw0";
}

void TestFlashDevices::devices()
{
    QFETCH(QString, style);
    QFETCH(QString, expectedPath);
    const ToolRun result = run({"devices", "--json", "--path-style", style});
    QCOMPARE(result.code, 0);
    const QJsonArray devices = QJsonDocument::fromJson(result.out.toUtf8()).object().value("devices").toArray();
    QCOMPARE(devices.size(), 1);
    const QJsonObject wallet = devices.first().toObject();
    QVERIFY2(wallet.value("path").toString().contains(expectedPath), qPrintable(result.out));
    QCOMPARE(wallet.value("mode").toString(), QStringLiteral("application"));
    QCOMPARE(wallet.value("product").toString(), QStringLiteral("Korvex N1"));
    QCOMPARE(wallet.value("interface").toInt(), 0);
}

void TestFlashDevices::flash_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<bool>("validImage");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("lastLogLine");

    QTest::newRow("download") << QStringList() << true << 0 << "Send 程序下载成功";
    QTest::newRow("hidraw paths") << QStringList {"--path-style", "linux"} << true << 0 << "Send 程序下载成功";
    QTest::newRow("later segment refused")
        << QStringList {"--fault", "refuse-crc=1"} << true << 1 << "Send CRC校验错误";
    QTest::newRow("no erase reply") << QStringList {"--fault", "no-erase-reply"} << true << 1 << "Send 程序擦除失败";
    QTest::newRow("refused image") << QStringList() << false << 1 << "Send 固件文件格式错误";
    QTest::newRow("unknown device") << QStringList {"--device", "/dev/hidraw99"} << true << 1 << "";
    QTest::newRow("alone in its bootloader")
        << QStringList {"--mode", "bootloader"} << true << 0 << "Send 程序下载成功";
    QTest::newRow("another wallet, none named") << QStringList {"--second-wallet", "bootloader"} << true << 2 << "";
}

void TestFlashDevices::flash()
{
    QFETCH(QStringList, extra);
    QFETCH(bool, validImage);
    QFETCH(int, code);
    QFETCH(QString, lastLogLine);

    QList<QByteArray> lines = hex::image({{0x0800, 0x4000, hex::pattern(40 * 16)}, {0x0801, 0, hex::pattern(300)}});
    if (!validImage) {
        lines.removeAt(3);
    }
    TempImage image(lines, "\r\n");
    for (const QString& log : QDir(workDir_.path()).entryList({"*.log"})) {
        QFile::remove(workDir_.filePath(log));
    }
    const ToolRun result = run(QStringList {"flash", image.path()} + extra);
    QVERIFY2(result.code == code, qPrintable(result.err));
    QCOMPARE(result.out.contains(QStringLiteral("下载成功")), code == 0);
    // The bar follows the writer's increments to the last record.
    if (code == 0) {
        QVERIFY2(result.err.contains(QStringLiteral("] 100%")), qPrintable(result.err));
    }
    if (!lastLogLine.isEmpty()) {
        const QStringList logs = QDir(workDir_.path()).entryList({"*.log"});
        QCOMPARE(logs.size(), 1);
        QFile log(workDir_.filePath(logs.first()));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList logged = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(!logged.isEmpty());
        QVERIFY2(logged.last().contains(lastLogLine), qPrintable(logged.last()));
    }
}

// A run log that cannot be opened changes nothing about the download.
void TestFlashDevices::flashWithoutRunLog()
{
    for (const QString& log : QDir(workDir_.path()).entryList({"*.log"})) {
        QFile::remove(workDir_.filePath(log));
    }
    const QString name = run_log::fileName();
    QVERIFY(QDir(workDir_.path()).mkdir(name));
    TempImage image(hex::image({{0x0800, 0x4000, hex::pattern(40 * 16)}}), "\r\n");
    const ToolRun result = run(QStringList {"flash", image.path()});
    QVERIFY(QDir(workDir_.path()).rmdir(name));
    QVERIFY2(result.code == 0, qPrintable(result.err));
    QVERIFY(result.out.contains(QStringLiteral("下载成功")));
}

QTEST_MAIN(TestFlashDevices)
#include "TestFlashDevices.moc"
