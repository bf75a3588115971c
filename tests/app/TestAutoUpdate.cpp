#include "FirmwareServer.h"
#include "TestConfig.h"
#include "app/HomePage.h"
#include "log/Settings.h"
#include "net/FirmwareDownload.h"
#include "net/FirmwareGlobals.h"
#include "net/ServerConfig.h"
#include "protocol/Commands.h"
#include "sim/SimBus.h"
#include "sim/SimOptions.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"
#include "ui_HomePage.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString tls(const char* name)
{
    return QStringLiteral(TESSARO_TEST_DATA_DIR "/tls/") + QLatin1String(name);
}

// The waits between bootloader searches pass on the bus's clock only.
void no_wait(unsigned int milliseconds)
{
    sim::Bus::instance().advanceTime(int(milliseconds));
}

QList<hex::Window> firmware_windows()
{
    return {{0x0800, 0x4000, hex::pattern(100 * 16 + 4, 11)}, {0x0801, 0x0000, hex::pattern(33 * 16, 12)}};
}

QByteArray firmware_text()
{
    const QList<QByteArray> lines = hex::image(firmware_windows());
    QByteArray text;
    for (const QByteArray& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

} // namespace

// The one button, end to end: the window against a local HTTPS firmware
// server and the simulated wallet. What the user sees (boxes in order, the
// button, the progress bar), what the wallet holds, what is left on disk.
class TestAutoUpdate : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void sequence_data();
    void sequence();
    void secondRunReplacesTheAnswer();

private:
    void serveRelease(const QByteArray& digest);

    ScopedSettings settings_scope_;
    FirmwareServer server_;
    QTemporaryDir folder_;
    QString firmwarePath_;
};

void TestAutoUpdate::initTestCase()
{
    QVERIFY(server_.set_certificate_files(tls("server.crt"), tls("server.key")));
    QVERIFY(server_.listen_local());
    settings().server_base = normalized_base(server_.base_url());
    QString error;
    QVERIFY2(add_trusted_ca_file(tls("ca.crt"), &error), qPrintable(error));
    settings().stall_timeout_ms = 10000;
    settings().wait = no_wait;
    QVERIFY(folder_.isValid());
    settings().firmware_dir = folder_.path();
    firmwarePath_ = folder_.filePath(QStringLiteral("fw.hex"));
}

void TestAutoUpdate::init()
{
    sim::Bus::instance().reset();
    QFile::remove(firmwarePath_);
    server_.set_route(QStringLiteral("/firmware/fw.hex"), 200, firmware_text());
}

void TestAutoUpdate::cleanup()
{
    QCOMPARE(sim::Bus::instance().openHandles(), 0);
    QVERIFY(!QFile::exists(folder_.filePath(FILE_NAME)));
}

void TestAutoUpdate::serveRelease(const QByteArray& digest)
{
    const QByteArray answer = "{\"version\":\"1.2.0\",\"url\":\"" + server_.base_url().toUtf8()
        + "/firmware/fw.hex\",\"md5\":\"" + digest + "\"}";
    server_.set_route(QStringLiteral("/firmware/latest"), 200, answer, "application/json");
}

void TestAutoUpdate::sequence_data()
{
    const QString notice = QStringLiteral("即将进行下载，请勿断开设备");
    QTest::addColumn<QString>("release"); // "good", "wrong-md5", "missing"
    QTest::addColumn<bool>("walletAttached");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("updated");
    QTest::addColumn<bool>("walletTouched");
    QTest::addColumn<bool>("fileLeft");

    QTest::newRow("update") << "good" << true << "" << QStringList {notice, "更新完成"} << true << true << false;
    QTest::newRow("hidraw paths") << "good" << true << "path-style=linux" << QStringList {notice, "更新完成"} << true
                                  << true << false;
    QTest::newRow("no release answer") << "missing" << true << "" << QStringList {"获取固件信息失败"} << false << false
                                       << false;
    QTest::newRow("digest does not match")
        << "wrong-md5" << true << "" << QStringList {"文件下载错误"} << false << false << true;
    QTest::newRow("no wallet") << "good" << false << "" << QStringList {"设备未找到"} << false << false << true;
    QTest::newRow("bootloader back at the third search")
        << "good" << true << "reboot-ms=9000" << QStringList {notice, "更新完成"} << true << true << false;
    QTest::newRow("bootloader never comes")
        << "good" << true << "no-bootloader" << QStringList {notice, "更新设备未找到"} << false << true << true;
    QTest::newRow("last segment refused")
        << "good" << true << "refuse-crc=1" << QStringList {notice, "更新失败"} << false << true << true;
    QTest::newRow("unplugged while writing")
        << "good" << true << "unplug-after=40" << QStringList {notice, "更新失败"} << false << true << true;
}

void TestAutoUpdate::sequence()
{
    QFETCH(QString, release);
    QFETCH(bool, walletAttached);
    QFETCH(QString, fault);
    QFETCH(QStringList, boxes);
    QFETCH(bool, updated);
    QFETCH(bool, walletTouched);
    QFETCH(bool, fileLeft);

    const QByteArray digest = QCryptographicHash::hash(firmware_text(), QCryptographicHash::Md5).toHex();
    if (release == QLatin1String("good")) {
        serveRelease(digest);
    } else if (release == QLatin1String("wrong-md5")) {
        serveRelease(QByteArray(32, '0'));
    } else {
        server_.remove_route(QStringLiteral("/firmware/latest"));
    }
    sim::Wallet* wallet = nullptr;
    if (walletAttached) {
        sim::WalletConfig config;
        if (fault == QLatin1String("path-style=linux")) {
            config.path_style = sim::PathStyle::Linux;
        } else if (!fault.isEmpty()) {
            QString error;
            QVERIFY2(sim::applyFault(fault, &config, &error), qPrintable(error));
        }
        wallet = &sim::Bus::instance().attachWallet(config);
    }

    HomePage page;
    page.show();
    // While the sequence runs the button must be off: sampled while the network
    // is waited for (no box up, wallet untouched) and as the data go out.
    QVector<bool> enabledWhileRunning;
    int networkSamples = 0;
    int dataSamples = 0;
    bool running = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&]() {
        if (running) {
            enabledWhileRunning.append(page.ui->pbtn_auto->isEnabled());
            networkSamples += QApplication::activeModalWidget() == nullptr
                && (wallet == nullptr || wallet->reportsReceived() == 0);
        }
    });
    watch.start(1);
    // A close request while the wallet is written is refused; the window
    // stays for the outcome and closes as usual once the sequence is over.
    bool closeTried = false;
    bool closedWhileRunning = false;
    connect(page.ui->progressBar, &QProgressBar::valueChanged, &watch, [&]() {
        enabledWhileRunning.append(page.ui->pbtn_auto->isEnabled());
        ++dataSamples;
        if (!closeTried) {
            closeTried = true;
            closedWhileRunning = page.close();
        }
    });
    MessageBoxCatcher catcher;
    // The notice comes only once the wallet was told to restart, and nothing
    // is written to it before the notice has been closed.
    catcher.onBox = [&](const MessageBoxCatcher::Box& box) {
        if (box.text == QStringLiteral("即将进行下载，请勿断开设备")) {
            QCOMPARE(wallet->commandCount(CMD_GOTO_ROM), 1);
            QCOMPARE(wallet->commandCount(CMD_AUTH), 0);
        }
    };
    running = true;
    QTest::mouseClick(page.ui->pbtn_auto, Qt::LeftButton);
    running = false;

    QCOMPARE(catcher.texts(), boxes);
    for (const MessageBoxCatcher::Box& box : catcher.boxes()) {
        QCOMPARE(box.title, QStringLiteral("提示"));
        QVERIFY(!box.hasParent);
        QCOMPARE(box.buttons, int(QMessageBox::Ok));
    }
    QVERIFY(!enabledWhileRunning.contains(true));
    QVERIFY(networkSamples > 0);
    QVERIFY(dataSamples > 0 || !updated);
    QVERIFY(page.ui->pbtn_auto->isEnabled());
    QVERIFY(closeTried || !updated);
    QVERIFY(!closedWhileRunning);
    QVERIFY(page.isVisible());
    QVERIFY(page.close());
    QVERIFY(!page.isVisible());
    QCOMPARE(QFile::exists(firmwarePath_), fileLeft);
    if (wallet != nullptr) {
        QCOMPARE(wallet->firmwareUpdates(), updated ? 1 : 0);
        QCOMPARE(wallet->reportsReceived() > 0, walletTouched);
        if (!updated) {
            QCOMPARE(wallet->commandCount(CMD_FINISH), 0);
        }
    }
    if (updated) {
        QCOMPARE(page.ui->progressBar->value(), 100);
        for (const hex::Window& window : firmware_windows()) {
            const unsigned int address = hex::window_address(window);
            QCOMPARE(wallet->flashAt(address, window.data.size()), window.data);
        }
    }
}

void TestAutoUpdate::secondRunReplacesTheAnswer()
{
    serveRelease(QByteArray(32, 'a'));
    HomePage page;
    MessageBoxCatcher catcher;
    page.OnAuto();
    const QString first = API_DATA;
    serveRelease(QByteArray(32, 'b'));
    page.OnAuto();
    QVERIFY(first.contains(QLatin1String("aaaa")));
    QVERIFY(API_DATA.contains(QLatin1String("bbbb")));
    QCOMPARE(catcher.texts(), QStringList({"文件下载错误", "文件下载错误"}));
    QFile::remove(firmwarePath_);
}

QTEST_MAIN(TestAutoUpdate)
#include "TestAutoUpdate.moc"
