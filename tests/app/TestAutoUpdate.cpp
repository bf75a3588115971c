#include "FirmwareServer.h"
#include "TestConfig.h"
#include "app/HomePage.h"
#include "log/Settings.h"
#include "net/FirmwareDownload.h"
#include "net/FirmwareGlobals.h"
#include "net/ServerConfig.h"
#include "protocol/Commands.h"
#include "sim/SimBus.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"
#include "ui_HomePage.h"

#include <QCryptographicHash>
#include <QtTest>
#include <QtWidgets>

namespace {

const QString kTls = QStringLiteral(TESSARO_TEST_DATA_DIR "/tls/");

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
    return hex::image(firmware_windows()).join("\r\n") + "\r\n";
}

const QString kNotice = QStringLiteral("即将进行下载，请勿断开设备");

} // namespace

// The one button, end to end: the window against a local HTTPS firmware
// server and the simulated wallet. What the user sees (boxes in order, the
// button, the progress bar), what the wallet holds, what is left on disk.
class TestAutoUpdate : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void sequence_data();
    void sequence();

private:
    ScopedSettings settings_scope_;
    FirmwareServer server_;
    QTemporaryDir folder_;
    QString firmwarePath_;
};

void TestAutoUpdate::initTestCase()
{
    QVERIFY(server_.set_certificate_files(kTls + "server.crt", kTls + "server.key"));
    QVERIFY(server_.listen_local());
    settings().server_base = normalized_base(server_.base_url());
    QString error;
    QVERIFY2(add_trusted_ca_file(kTls + "ca.crt", &error), qPrintable(error));
    settings().stall_timeout_ms = 10000;
    settings().wait = no_wait;
    QVERIFY(folder_.isValid());
    settings().firmware_dir = folder_.path();
    firmwarePath_ = folder_.filePath(QStringLiteral("fw.hex"));
    server_.set_route(QStringLiteral("/firmware/fw.hex"), 200, firmware_text());
}

// Each row starts from an empty bus and no firmware file.
void TestAutoUpdate::cleanup()
{
    QCOMPARE(sim::Bus::instance().openHandles(), 0);
    QVERIFY(!QFile::exists(folder_.filePath(FILE_NAME)));
    sim::Bus::instance().reset();
    QFile::remove(firmwarePath_);
}

void TestAutoUpdate::sequence_data()
{
    QTest::addColumn<QByteArray>("digest"); // in the release answer; none: no answer
    QTest::addColumn<QString>("wallet"); // "path-style=linux" or "none"
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("fileLeft");

    const QByteArray good = QCryptographicHash::hash(firmware_text(), QCryptographicHash::Md5).toHex();
    const QStringList done {kNotice, "更新完成"};
    QTest::newRow("update") << good << "" << done << false;
    QTest::newRow("hidraw paths") << good << "path-style=linux" << done << false;
    QTest::newRow("no release answer") << QByteArray() << "" << QStringList {"获取固件信息失败"} << false;
    QTest::newRow("digest does not match") << QByteArray(32, '0') << "" << QStringList {"文件下载错误"} << true;
    QTest::newRow("no wallet") << good << "none" << QStringList {"设备未找到"} << true;
}

void TestAutoUpdate::sequence()
{
    QFETCH(QByteArray, digest);
    QFETCH(QString, wallet);
    QFETCH(QStringList, boxes);
    QFETCH(bool, fileLeft);
    const bool updated = boxes.last() == QStringLiteral("更新完成");

    server_.remove_route(QStringLiteral("/firmware/latest"));
    if (!digest.isEmpty()) {
        server_.set_route(QStringLiteral("/firmware/latest"), 200,
                          "{\"version\":\"1.2.0\",\"url\":\"" + server_.base_url().toUtf8()
                              + "/firmware/fw.hex\",\"md5\":\"" + digest + "\"}",
                          "application/json");
    }
    sim::Wallet* device = nullptr;
    if (wallet != QLatin1String("none")) {
        sim::WalletConfig config;
        config.path_style = wallet.isEmpty() ? sim::PathStyle::MacOS : sim::PathStyle::Linux;
        device = &sim::Bus::instance().attachWallet(config);
    }

    HomePage page;
    page.show();
    // While the sequence runs the button must be off: sampled while the network
    // is waited for (no box up, wallet untouched) and as the data go out.
    QVector<bool> enabledWhileRunning;
    int networkSamples = 0;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&]() {
        enabledWhileRunning.append(page.ui->pbtn_auto->isEnabled());
        networkSamples
            += QApplication::activeModalWidget() == nullptr && (device == nullptr || device->reportsReceived() == 0);
    });
    watch.start(1);
    // A close request while the wallet is written is refused; the window
    // stays for the outcome and closes as usual once the sequence is over.
    bool closeTried = false;
    bool closedWhileRunning = false;
    connect(page.ui->progressBar, &QProgressBar::valueChanged, &watch, [&]() {
        enabledWhileRunning.append(page.ui->pbtn_auto->isEnabled());
        if (!closeTried) {
            closeTried = true;
            closedWhileRunning = page.close();
        }
    });
    MessageBoxCatcher catcher;
    // The notice comes only once the wallet was told to restart, and nothing
    // is written to it before the notice has been closed.
    catcher.onBox = [&](const MessageBoxCatcher::Box& box) {
        if (box.text == kNotice) {
            QVERIFY(device != nullptr);
            QCOMPARE(device->commandCount(CMD_GOTO_ROM), 1);
            QCOMPARE(device->commandCount(CMD_AUTH), 0);
        }
    };
    API_DATA = QStringLiteral("an earlier answer");
    QTest::mouseClick(page.ui->pbtn_auto, Qt::LeftButton);

    QCOMPARE(catcher.texts(), boxes);
    // Each sequence replaces the answer kept from the one before.
    QVERIFY(API_DATA != QStringLiteral("an earlier answer"));
    QVERIFY(API_DATA.contains(QString::fromLatin1(digest)));
    for (const MessageBoxCatcher::Box& box : catcher.boxes()) {
        QCOMPARE(box.title, QStringLiteral("提示"));
        QVERIFY(!box.hasParent);
        QCOMPARE(box.buttons, int(QMessageBox::Ok));
    }
    QVERIFY(!enabledWhileRunning.contains(true));
    QVERIFY(networkSamples > 0);
    QVERIFY(page.ui->pbtn_auto->isEnabled());
    QVERIFY(closeTried || !updated); // an update was sampled as its data went out
    QVERIFY(!closedWhileRunning);
    QVERIFY(page.isVisible());
    QVERIFY(page.close());
    QVERIFY(!page.isVisible());
    QCOMPARE(QFile::exists(firmwarePath_), fileLeft);
    if (device != nullptr) {
        // Only a wallet told to restart has been written to, and only a finished update ends with CMD_FINISH.
        QCOMPARE(device->reportsReceived() > 0, boxes.contains(kNotice));
        QCOMPARE(device->commandCount(CMD_FINISH), updated ? 1 : 0);
        QCOMPARE(device->firmwareUpdates(), updated ? 1 : 0);
    }
    if (updated) {
        QCOMPARE(page.ui->progressBar->value(), 100);
        for (const hex::Window& window : firmware_windows()) {
            QCOMPARE(device->flashAt(hex::window_address(window), window.data.size()), window.data);
        }
    }
}

QTEST_MAIN(TestAutoUpdate)
#include "TestAutoUpdate.moc"
