#include "FirmwareServer.h"
#include "TestConfig.h"
#include "image/FirmwareImage.h"
#include "support/RunLog.h"
#include "support/TempImage.h"
#include "support/ToolRun.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kImage = QStringLiteral(TESSARO_TEST_DATA_DIR "/objcopy-one-segment-lf.hex");
const QString kTls = QStringLiteral(TESSARO_TEST_DATA_DIR "/tls/");
const QString kFirmwareName = QStringLiteral("umockdev-test-fw.hex");
const QString kHint = QStringLiteral("permission denied. Install the udev rule 70-tessaro-wallet.rules: sudo cp");

// The wire trace with each CMD_AUTH's digest and nonce blanked: the nonce is random.
QByteArray trace_without_nonces(const QString& path)
{
    QByteArray trace = read_file(path);
    for (int at = 0; at + 65 <= trace.size(); at += 65) {
        if (trace[at + 3] == char(0xC4) && trace[at + 5] == char(0)) {
            trace.replace(at + 8, 12, QByteArray(12, '\0'));
        }
    }
    return trace;
}

QByteArray md5(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex();
}

} // namespace

// The real tessaro-flash, linked with Debian's hidapi-hidraw, against the
// simulated wallets behind a umockdev testbed: enumeration from sysfs, the
// hidraw ioctls, one report per read and write, the restart into the
// bootloader as a new device; and what each wallet holds at the end.
class TestFlashUmockdev : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void run_data();
    void run();
    void severalWallets_data();
    void severalWallets();

private:
    // Wallet k's port: on a USB bus of this run's own, so that runs side by
    // side on one machine do not share the wallets' lock files.
    QString port(int k) const { return QStringLiteral("%1-%2").arg(bus_).arg(k); }
    QStringList harness() const { return {"--usb-bus", QString::number(bus_)}; }

    int bus_ = 2 + int(QCoreApplication::applicationPid() % 250);
    QTemporaryDir dir_;
    FirmwareServer server_;
    QByteArray release_;
};

void TestFlashUmockdev::initTestCase()
{
    const bool ci = !qEnvironmentVariableIsEmpty("CI");
    if (QString(TESSARO_UMOCKDEV_WALLET).isEmpty() || QStandardPaths::findExecutable("umockdev-wrapper").isEmpty()) {
        QVERIFY2(!ci, "umockdev is missing: scripts/deps.sh installs umockdev and libumockdev-dev");
        QSKIP("umockdev is not installed");
    }
    QVERIFY(dir_.isValid() && QDir::setCurrent(dir_.path()));
    QVERIFY(server_.set_certificate_files(kTls + "server.crt", kTls + "server.key") && server_.listen_local());
    release_ = hex::pattern(80 * 16, 9);
    const QByteArray body = hex::image({{0x0800, 0x4000, release_}}).join("\r\n") + "\r\n";
    server_.set_route("/firmware/" + kFirmwareName, 200, body);
    server_.set_route(QStringLiteral("/firmware/latest"), 200,
                      "{\"version\":\"2\",\"url\":\"" + server_.base_url().toUtf8() + "/firmware/"
                          + kFirmwareName.toUtf8() + "\",\"md5\":\"" + md5(body) + "\"}");
}

void TestFlashUmockdev::cleanup()
{
    QFile::remove(QStringLiteral(TESSARO_FLASH_SIM_DIR "/") + kFirmwareName);
}

void TestFlashUmockdev::run_data()
{
    QTest::addColumn<QStringList>("wallets"); // the simulated wallets' options
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("output"); // in stdout, or also in the last line on stderr after a failure
    QTest::addColumn<QString>("ends"); // each wallet's mode and finished updates, first attached first

    const QStringList flash {"flash", kImage};
    const QStringList two {"--second-wallet", "bootloader"};
    QTest::newRow("devices")
        << QStringList() << QStringList {"devices", "--json"} << 0
        << "{\"devices\":[{\"interface\":0,\"mode\":\"application\",\"no_permission\":false,\"path\":\"/dev/"
           "hidraw0\",\"port\":\""
            + port(1) + "\",\"product\":\"Korvex N1\",\"serial\":\"TS0000001\"}]}"
        << "application:0";
    QTest::newRow("devices, two wallets") << two << QStringList {"devices"} << 0
                                          << "bootloader\t0\tKorvex N1 Bootloader\t/dev/hidraw0\t" + port(1)
            + "\tTS0000002\n"
              "application\t0\tKorvex N1\t/dev/hidraw1\t"
            + port(2) + "\tTS0000001\n"
                                          << "bootloader:0 application:0";
    QTest::newRow("devices, no permission")
        << QStringList {"--fault", "open-denied"} << QStringList {"devices"} << 6
        << "application\t0\tKorvex N1\t/dev/hidraw0\t" + port(1) + "\tTS0000001\tno permission\n"
        << "application:0";
    QTest::newRow("flash through the restart") << QStringList() << flash << 0 << "下载成功"
                                               << "application:1";
    QTest::newRow("flash, already in the bootloader")
        << QStringList {"--mode", "bootloader"} << flash << 0 << "下载成功"
        << "application:1";
    QTest::newRow("flash the named wallet of two")
        << two << flash + QStringList {"--device", "/dev/hidraw1"} << 0 << "下载成功"
        << "bootloader:0 application:1";
    QTest::newRow("two application wallets, none named")
        << QStringList {"--second-wallet", "application"} << flash << 3 << "name one with --device PATH"
        << "application:0 application:0";
    QTest::newRow("unplugged mid-transfer")
        << QStringList {"--fault", "unplug-after=10"} << flash << 1 << "the wallet was gone or refused report 10"
        << "unplugged:0";
    QTest::newRow("CRC refused") << QStringList {"--fault", "refuse-crc=0"} << flash << 1 << "CRC"
                                 << "bootloader:0";
    QTest::newRow("flash, no permission") << QStringList {"--fault", "open-denied"} << flash << 6
                                          << "cannot open /dev/hidraw0: " + kHint << "application:0";
    QTest::newRow("update") << QStringList() << QStringList {"update"} << 0 << "Writing"
                            << "application:1";
    QTest::newRow("update, no permission") << QStringList {"--fault", "open-denied"} << QStringList {"update"} << 6
                                           << "cannot open /dev/hidraw0: " + kHint << "application:0";
}

void TestFlashUmockdev::run()
{
    QFETCH(QStringList, wallets);
    QFETCH(QStringList, command);
    QFETCH(int, code);
    QFETCH(QString, output);
    QFETCH(QString, ends);

    if (command.first() == QLatin1String("update")) {
        command << "--server" << server_.base_url() << "--ca" << kTls + "ca.crt";
    }
    const QString trace = dir_.filePath("trace"), state = dir_.filePath("state"), simTrace = dir_.filePath("sim");
    QFile::remove(run_log::fileName());
    const ToolRun real = run_tool(
        QStringLiteral("tessaro-umockdev-wallet"),
        harness() + wallets + QStringList {"--trace", trace, "--state", state, "--", TESSARO_FLASH} + command);
    QVERIFY2(real.code == code, qPrintable(real.err));
    // A failure's last line names it; a permission problem, what to install.
    const QString last = real.err.trimmed().split('\n').last();
    QVERIFY2((code == 0 ? real.out : real.out + last).contains(output), qPrintable(real.out + real.err));
    QVERIFY2(code != 6 || last.contains(kHint), qPrintable(last));

    QStringList got;
    const QJsonArray states = QJsonDocument::fromJson(read_file(state)).object().value("wallets").toArray();
    for (const QJsonValue& wallet : states) {
        const QJsonObject fields = wallet.toObject();
        got << fields.value("mode").toString() + ":" + QString::number(fields.value("firmware_updates").toInt());
        QVERIFY2(fields.value("errors").toArray().isEmpty() || code != 0, qPrintable(real.err));
        if (fields.value("firmware_updates").toInt() > 0) {
            const FirmwareImage image = FirmwareImage::fromFile(kImage);
            const QByteArray written = command.first() == QLatin1String("update")
                ? release_
                : image.segmentData(0).left(int(image.segments().first().size));
            QCOMPARE(fields.value("firmware_md5").toString().toLatin1(), md5(written));
        }
    }
    QCOMPARE(got.join(' '), ends);
    // Nothing reaches a wallet that is refused, or left unnamed.
    QCOMPARE(read_file(trace).isEmpty(), code >= 3 || command.first() == QLatin1String("devices"));
    if (command.first() == QLatin1String("flash") && code == 0) {
        QCOMPARE(run_log::lastText(), QStringLiteral("Send 程序下载成功"));
    }
    // The in-process simulation puts the same reports on the wire.
    if (command.first() != QLatin1String("devices")) {
        const ToolRun sim
            = run_tool(QStringLiteral("tessaro-flash-sim"),
                       command + wallets + QStringList {"--path-style", "linux", "--trace", simTrace}, dir_.path());
        QVERIFY2(sim.code == code, qPrintable(sim.err));
        QCOMPARE(trace_without_nonces(trace), trace_without_nonces(simTrace));
    }
}

void TestFlashUmockdev::severalWallets_data()
{
    QTest::addColumn<QStringList>("wallets"); // the simulated wallets' options
    // tessaro-flash's arguments, each command after the first started after
    // --then=MS; A and B stand for two different images, L for a long one.
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("exits"); // each command's status, in order
    QTest::addColumn<QString>("ends"); // the image each wallet holds, in port order; - for none

    const QStringList two {"--wallets", "2", "--fault", "reboot-ms=300"};
    // Each restart takes 300 ms: a second run started meanwhile once took the
    // first run's bootloader for its own.
    for (int delay : {0, 100, 200, 300, 500}) {
        QTest::addRow("two runs %d ms apart, by path", delay)
            << two
            << QStringList {"flash", "A", "--device", "/dev/hidraw0", "--json", QStringLiteral("--then=%1").arg(delay),
                            "flash", "B", "--device", "/dev/hidraw2", "--json"}
            << "0 0"
            << "A B";
    }
    QTest::newRow("two runs 100 ms apart, by port")
        << two << QStringList {"flash", "A", "--port", port(1), "--json", "--then=100",
                               "flash", "B", "--port", port(2), "--json"}
        << "0 0"
        << "A B";
    // The bootloader on port 1 comes while the wallet on port 2 restarts.
    QTest::newRow("a bootloader plugged in during the search")
        << QStringList {"--second-wallet",   "bootloader",     "--wallet-fault",
                        "1:plug-in-ms=1000", "--wallet-fault", "2:reboot-ms=2000"}
        << QStringList {"flash", "A", "--port", port(2)} << "0"
        << "- A";
    QTest::newRow("two runs on one wallet")
        << QStringList {"--mode", "bootloader"}
        << QStringList {"flash", "L", "--port", port(1), "--then=300", "flash", "B", "--device", "/dev/hidraw0"}
        << "0 7"
        << "L";
    // Side by side in one process, each wallet on its own thread and handle.
    QTest::newRow("all, restarts of 300 ms") << two << QStringList {"flash", "A", "--all", "--json"} << "0"
                                             << "A A";
    QTest::newRow("all, one wallet refusing its erase")
        << QStringList {"--wallets", "2", "--wallet-fault", "1:refuse-erase"}
        << QStringList {"flash", "A", "--all", "--json"} << "1"
        << "- A";
    QTest::newRow("all beside a run on one of its wallets")
        << QStringList {"--wallets", "2"}
        << QStringList {"flash", "L", "--port", port(1), "--then=300", "flash", "B", "--all", "--json"} << "0 7"
        << "L B";
    QTest::newRow("watch, a wallet plugged in meanwhile")
        << QStringList {"--wallets", "2", "--fault", "reboot-ms=300", "--wallet-fault", "2:plug-in-ms=700"}
        << QStringList {"flash", "A", "--watch", "--count", "2", "--json"} << "0"
        << "A A";
    // R is the server's release.
    QTest::newRow("update by port, of two")
        << QStringList {"--wallets", "2"} << QStringList {"update", "--port", port(2)} << "0"
        << "- R";
}

// Several wallets and several runs under one testbed: every wallet gets its
// own image and only its own, or its run stops with nothing sent.
void TestFlashUmockdev::severalWallets()
{
    QFETCH(QStringList, wallets);
    QFETCH(QStringList, commands);
    QFETCH(QString, exits);
    QFETCH(QString, ends);

    // L runs on over three windows, long enough to be written while a second run starts.
    const QMap<QString, QList<hex::Window>> images {{"A", {{0x0800, 0x4000, hex::pattern(16 * 1024, 3)}}},
                                                    {"B", {{0x0800, 0x4000, hex::pattern(16 * 1024, 5)}}},
                                                    {"L",
                                                     {{0x0800, 0x4000, hex::pattern(48 * 1024, 7)},
                                                      {0x0801, 0, hex::pattern(64 * 1024, 8)},
                                                      {0x0802, 0, hex::pattern(64 * 1024, 9)}}}};
    QMap<QString, QByteArray> data;
    for (auto it = images.cbegin(); it != images.cend(); ++it) {
        for (const hex::Window& window : it.value()) {
            data[it.key()] += window.data;
        }
    }
    // What a wallet may end up holding: one of the images, or the release.
    QMap<QString, QByteArray> contents = data;
    contents.insert(QStringLiteral("R"), release_);
    QStringList args {TESSARO_FLASH};
    for (const QString& word : qAsConst(commands)) {
        if (data.contains(word)) {
            const QString path = dir_.filePath(word + ".hex");
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(hex::image(images[word]).join("\n") + "\n");
            args << path;
        } else {
            args << word;
        }
        if (word == QLatin1String("update")) {
            args << "--server" << server_.base_url() << "--ca" << kTls + "ca.crt";
        }
        if (word.startsWith(QLatin1String("--then="))) {
            args << TESSARO_FLASH;
        }
    }
    const QString state = dir_.filePath("state");
    const ToolRun run
        = run_tool(QStringLiteral("tessaro-umockdev-wallet"),
                   harness() + wallets + QStringList {"--state", state, "--outputs", dir_.path(), "--"} + args);
    const QJsonObject result = QJsonDocument::fromJson(read_file(state)).object();
    QStringList got;
    QString errors;
    for (int i = 0; i <= commands.filter(QRegularExpression(QStringLiteral("^--then="))).size(); ++i) {
        // Without the progress bars, which would hide the rest.
        const QString text = QString::fromUtf8(read_file(dir_.filePath(QStringLiteral("%1.err").arg(i))));
        errors += text.split('\n').filter(QRegularExpression(QStringLiteral("^[^\\[]"))).join('\n') + '\n';
        got << QString::fromLatin1(read_file(dir_.filePath(QStringLiteral("%1.exit").arg(i))));
    }
    QVERIFY2(got.join(' ') == exits, qPrintable(got.join(' ') + "\n" + run.err + errors));
    QStringList held;
    for (const QJsonValue& wallet : result.value("wallets").toArray()) {
        const QString md5_text = wallet.toObject().value("firmware_md5").toString();
        held << (wallet.toObject().value("firmware_updates").toInt() == 0 ? QStringLiteral("-")
                                                                          : data.key(QByteArray(), "?"));
        for (auto it = contents.cbegin(); it != contents.cend(); ++it) {
            if (md5(it.value()) == md5_text.toLatin1()) {
                held.last() = it.key();
            }
        }
        QCOMPARE(wallet.toObject().value("firmware_updates").toInt(), held.last() == "-" ? 0 : 1);
    }
    QVERIFY2(held.join(' ') == ends, qPrintable(held.join(' ') + "\n" + errors));
    // A run that found the wallet busy names the process that holds it.
    if (exits.endsWith(" 7")) {
        QVERIFY2(errors.contains(QRegularExpression(
                     QStringLiteral("is being updated by another process \\(pid \\d+ \\(tessaro-flash\\)\\)"))),
                 qPrintable(errors));
    }
}

QTEST_MAIN(TestFlashUmockdev)
#include "TestFlashUmockdev.moc"
