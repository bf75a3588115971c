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
    void severalWallets_data();
    void severalWallets();

private:
    // The run log lands in the working directory, the test's as well.
    ToolRun run(const QStringList& args) const
    {
        return run_tool(QStringLiteral("tessaro-flash-sim"), args, workDir_.path());
    }

    QTemporaryDir workDir_;
};

void TestFlashDevices::initTestCase()
{
    QVERIFY(workDir_.isValid());
    QVERIFY(QDir::setCurrent(workDir_.path()));
    QVERIFY(QDir().mkdir("rules"));
    QFile rule(QStringLiteral("rules/70-tessaro-wallet.rules"));
    QVERIFY(rule.open(QIODevice::WriteOnly)
            && rule.write("SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"4B71\", TAG+=\"uaccess\"\n"));
}

void TestFlashDevices::devices_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("expectedPath");
    QTest::newRow("macOS: Smart@1 left out") << QStringLiteral("macos") << "Korvex N1@0";
    QTest::newRow("empty bus") << QStringLiteral("linux") << "";
}

void TestFlashDevices::devices()
{
    QFETCH(QString, style);
    QFETCH(QString, expectedPath);
    const QStringList empty = expectedPath.isEmpty() ? QStringList {"--no-wallet"} : QStringList();
    const ToolRun result = run(QStringList {"devices", "--json", "--path-style", style} + empty);
    const QJsonArray devices = QJsonDocument::fromJson(result.out.toUtf8()).object().value("devices").toArray();
    if (expectedPath.isEmpty()) {
        QCOMPARE(result.code, 3);
        QVERIFY(devices.isEmpty() && result.out.startsWith(QStringLiteral("{\"devices\":[]}")));
        QCOMPARE(result.err.trimmed(), QStringLiteral("tessaro-flash: no wallet attached"));
        return;
    }
    QCOMPARE(result.code, 0);
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
    // "broken image"; "blocked log": a folder in the run log's place; "warned"
    // or "not warned" about a missing udev rule; "nothing sent" to any wallet
    QTest::addColumn<QString>("twist");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("lastLogLine");
    QTest::addColumn<QString>("failure"); // the failure's name in the JSON end event

    QTest::newRow("download") << QStringList() << "" << 0 << "Send 程序下载成功"
                              << "";
    QTest::newRow("run log cannot be opened") << QStringList() << "blocked log" << 0 << ""
                                              << "";
    QTest::newRow("run log cannot be opened, no wallet")
        << QStringList {"--no-wallet", "--json"} << "blocked log" << 3 << ""
        << "no-wallet";
    QTest::newRow("alone in its bootloader") << QStringList {"--mode", "bootloader"} << "" << 0 << "Send 程序下载成功"
                                             << "";
    QTest::newRow("download, JSON events") << QStringList {"--json"} << "" << 0 << "Send 程序下载成功"
                                           << "";
    QTest::newRow("refused image") << QStringList {"--json"} << "broken image" << 4 << "Send 固件文件格式错误"
                                   << "image-refused";
    QTest::newRow("later segment refused")
        << QStringList {"--fault", "refuse-crc=1", "--json"} << "" << 1 << "Send CRC校验错误"
        << "crc-refused";
    QTest::newRow("unknown device") << QStringList {"--device", "/dev/hidraw99", "--json"} << "nothing sent" << 3 << ""
                                    << "not-a-command-interface";
    // Only the application's interface 0 takes commands; interface 1 would
    // ignore the restart and leave the search to time out.
    const QStringList linux {"--path-style", "linux", "--device"};
    QTest::newRow("the application's interface 0")
        << linux + QStringList {"/dev/hidraw0"} << "" << 0 << "Send 程序下载成功"
        << "";
    QTest::newRow("the application's interface 1")
        << linux + QStringList {"/dev/hidraw1", "--json"} << "nothing sent" << 3 << ""
        << "not-a-command-interface";
    QTest::newRow("a bootloader by its path")
        << linux + QStringList {"/dev/hidraw0", "--mode", "bootloader"} << "" << 0 << "Send 程序下载成功"
        << "";
    QTest::newRow("no wallet") << QStringList {"--no-wallet", "--json"} << "" << 3 << ""
                               << "no-wallet";
    QTest::newRow("another wallet, none named")
        << QStringList {"--second-wallet", "bootloader", "--json"} << "" << 3 << ""
        << "several-wallets";
    // A user who may open the application but has no rule for its bootloader.
    const QStringList user {"--path-style", "linux", "--not-root", "--udev-rules-dir"};
    QTest::newRow("no udev rule") << user + QStringList {"none"} << "warned" << 0 << "Send 程序下载成功"
                                  << "";
    QTest::newRow("udev rule installed") << user + QStringList {"rules"} << "not warned" << 0 << "Send 程序下载成功"
                                         << "";
}

void TestFlashDevices::flash()
{
    QFETCH(QStringList, extra);
    QFETCH(QString, twist);
    QFETCH(int, code);
    QFETCH(QString, lastLogLine);
    QFETCH(QString, failure);

    QList<QByteArray> lines = hex::image({{0x0800, 0x4000, hex::pattern(40 * 16)}, {0x0801, 0, hex::pattern(300)}});
    if (twist == QLatin1String("broken image")) {
        lines.removeAt(3);
    }
    TempImage image(lines, "\r\n");
    const bool logBlocked = twist == QLatin1String("blocked log");
    QFile::remove(run_log::fileName());
    QVERIFY(!logBlocked || QDir().mkdir(run_log::fileName()));
    const QString trace = workDir_.filePath(QStringLiteral("trace.bin"));
    QFile::remove(trace);
    const QStringList traced = twist == QLatin1String("nothing sent") ? QStringList {"--trace", trace} : QStringList();
    const ToolRun result = run(QStringList {"flash", image.path()} + extra + traced);
    QVERIFY(!logBlocked || QDir().rmdir(run_log::fileName()));
    QVERIFY(traced.isEmpty() || QFileInfo(trace).size() == 0);
    // Without a run log the run says so first and last, instead of naming one.
    QCOMPARE(result.err.count(QStringLiteral("warning: the run log ")), logBlocked ? 2 : 0);
    QVERIFY2(!logBlocked || result.err.trimmed().split('\n').last().contains("warning: the run log"),
             qPrintable(result.err));

    QVERIFY2(result.code == code, qPrintable(result.err));
    QCOMPARE((result.out + result.err).contains(QStringLiteral("下载成功")), code == 0);
    // The bar follows the writer to the last report; a failure ends on its reason.
    if (code == 0) {
        QVERIFY2(result.err.contains(QStringLiteral("] 100%")), qPrintable(result.err));
    } else {
        QVERIFY2(result.err.trimmed().split('\n').last().startsWith("tessaro-flash: "), qPrintable(result.err));
    }
    // Under --json stdout is events only, each a JSON object, the last the end.
    QVERIFY(!result.err.contains(QStringLiteral("程序正在下载"))); // no debug trace without --verbose
    if (extra.contains(QStringLiteral("--json"))) {
        QJsonObject last;
        for (const QString& line : result.out.split('\n', Qt::SkipEmptyParts)) {
            QJsonParseError parsed;
            last = QJsonDocument::fromJson(line.toUtf8(), &parsed).object();
            QVERIFY2(parsed.error == QJsonParseError::NoError && last.value("schema").toInt() == 1, qPrintable(line));
        }
        QCOMPARE(last.value("event").toString(), QStringLiteral("end"));
        QCOMPARE(last.value("exit").toInt(), code);
        QCOMPARE(last.value("outcome").toString(), code == 0 ? QStringLiteral("success") : QStringLiteral("failure"));
        QCOMPARE(last.value("failure").toString(), failure);
    }
    if (twist.endsWith(QLatin1String("warned"))) {
        QCOMPARE(result.err.count(QStringLiteral("warning: no udev rule for the wallet's vendor 4b71")),
                 twist == QLatin1String("warned") ? 1 : 0);
    }
    QVERIFY2(lastLogLine.isEmpty() || run_log::lastText().startsWith(lastLogLine), qPrintable(run_log::lastText()));
}

void TestFlashDevices::severalWallets_data()
{
    QTest::addColumn<QStringList>("args"); // after the command; IMAGE stands for the image
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said"); // on stdout or stderr

    const QStringList two {"--wallets", "2", "--path-style", "linux"};
    const QStringList flash {"flash", "IMAGE", "-v"};
    QTest::newRow("devices: port and serial")
        << QStringList {"devices", "--json"} + two << 0
        << "\"interface\":0,\"mode\":\"application\",\"no_permission\":false,\"path\":\"/dev/hidraw2\","
           "\"port\":\"1-2\",\"product\":\"Korvex N1\",\"serial\":\"TS0000002\"";
    QTest::newRow("devices: macOS location IDs")
        << QStringList {"devices", "--wallets", "2"} << 0 << "/AppleUSBHostHIDDevice\t0x14200000\tTS0000002\n";
    QTest::newRow("several, none named")
        << flash + two << 3
        << "several wallets attached (application /dev/hidraw0 on port 1-1; application /dev/hidraw2 on port 1-2); "
           "name one with --device PATH or --port PORT";
    QTest::newRow("the second by its port") << flash + two + QStringList {"--port", "1-2"} << 0 << "下载成功";
    QTest::newRow("no wallet on the port")
        << flash + two + QStringList {"--port", "9-9"} << 3 << "no wallet on port 9-9";
    QTest::newRow("path and port") << flash + two + QStringList {"--port", "1-2", "--device", "/dev/hidraw2"} << 2
                                   << "with --device or with --port, not both";
    // The bootloader on port 1-1 is plugged in while the wallet on 1-2 restarts.
    QTest::newRow("a bootloader plugged in during the search")
        << flash + QStringList {"--path-style",     "linux",          "--second-wallet", "bootloader", "--wallet-fault",
                                "1:plug-in-ms=400", "--wallet-fault", "2:reboot-ms=800", "--port",     "1-2"}
        << 0 << "(port 1-1, serial TS0000002) alone: not the restarted wallet (port 1-2, serial TS0000001)";
}

// Several simulated wallets, each on its own port with its own restart time.
void TestFlashDevices::severalWallets()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, said);
    TempImage image(hex::image({{0x0800, 0x4000, hex::pattern(40 * 16)}}), "\n");
    args.replaceInStrings(QRegularExpression(QStringLiteral("^IMAGE$")), image.path());
    const ToolRun result = run(args);
    QVERIFY2(result.code == code, qPrintable(result.err));
    QVERIFY2((result.out + result.err).contains(said), qPrintable(result.out + result.err));
}

QTEST_MAIN(TestFlashDevices)
#include "TestFlashDevices.moc"
