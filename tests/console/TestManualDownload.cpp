#include "console/UsbManager.h"
#include "log/Settings.h"
#include "protocol/Commands.h"
#include "protocol/HIDHelper.h"
#include "sim/SimBus.h"
#include "support/RunLog.h"
#include "tests/support/TempImage.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(sim::PathStyle)
Q_DECLARE_METATYPE(sim::Faults)

namespace {

int g_waits = 0;
// The waits between listings pass on the bus's clock, not in real time.
void count_wait(unsigned int milliseconds)
{
    ++g_waits;
    sim::Bus::instance().advanceTime(int(milliseconds));
}

} // namespace

class TestManualDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void send_data();
    void send();
    void refusedImageLeavesWalletUntouched();

private:
    QTemporaryDir dir_;
};

void TestManualDownload::initTestCase()
{
    QVERIFY(dir_.isValid());
    QVERIFY(QDir::setCurrent(dir_.path()));
    settings().wait = count_wait;
}

void TestManualDownload::init()
{
    UsbManager::GetInstance()->CloseDevice();
    sim::Bus::instance().reset();
    g_waits = 0;
}

void TestManualDownload::cleanupTestCase()
{
    settings().wait = nullptr;
}

void TestManualDownload::send_data()
{
    QTest::addColumn<sim::PathStyle>("style");
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QStringList>("steps");

    const QString begin = QStringLiteral("Send begin");
    const QStringList erased {begin, QStringLiteral("Send 接受擦除信息"), QStringLiteral("Send 程序擦除成功")};
    const QStringList done
        = erased + QStringList {QStringLiteral("Send CRC校验成功"), QStringLiteral("Send 程序下载成功")};
    const QStringList unread = erased + QStringList {QStringLiteral("Send CRC读取失败")};
    const QStringList refused = erased + QStringList {QStringLiteral("Send CRC校验错误")};
    const QStringList noBootloader {begin, QStringLiteral("Send 获取设备列表失败")};

    QTest::newRow("success macOS") << sim::PathStyle::MacOS << sim::Faults() << true << done;
    QTest::newRow("success Linux") << sim::PathStyle::Linux << sim::Faults() << true << done;
    sim::Faults f;
    f.stray_report = true;
    QTest::newRow("stray report before the erase") << sim::PathStyle::MacOS << f << true << done;
    f = sim::Faults();
    f.reboot_ms = 6000;
    QTest::newRow("bootloader on the second listing") << sim::PathStyle::Linux << f << true << done;
    f = sim::Faults();
    f.no_erase_reply = true;
    QTest::newRow("no erase reply") << sim::PathStyle::MacOS << f << false
                                    << QStringList {begin, QStringLiteral("Send 没有接受擦除信息"),
                                                    QStringLiteral("Send 程序擦除失败")};
    f = sim::Faults();
    f.no_crc_reply = true;
    QTest::newRow("no crc reply") << sim::PathStyle::MacOS << f << false << unread;
    f = sim::Faults();
    f.refuse_crc = 1;
    QTest::newRow("second segment refused") << sim::PathStyle::MacOS << f << false << refused;
    f = sim::Faults();
    f.write_error_at = 12;
    QTest::newRow("write error in data") << sim::PathStyle::MacOS << f << false << unread;
    f = sim::Faults();
    f.flip_bit_at = 12;
    QTest::newRow("bit flipped in data") << sim::PathStyle::MacOS << f << false << refused;
    f = sim::Faults();
    f.unplug_after = 12;
    QTest::newRow("unplugged in data") << sim::PathStyle::MacOS << f << false << unread;
    f = sim::Faults();
    f.no_bootloader = true;
    QTest::newRow("bootloader never") << sim::PathStyle::MacOS << f << false << noBootloader;
    f = sim::Faults();
    f.reboot_ms = 100000;
    QTest::newRow("bootloader late") << sim::PathStyle::MacOS << f << false << noBootloader;
}

void TestManualDownload::send()
{
    QFETCH(sim::PathStyle, style);
    QFETCH(sim::Faults, faults);
    QFETCH(bool, success);
    QFETCH(QStringList, steps);

    sim::WalletConfig config;
    config.path_style = style;
    config.faults = faults;
    sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
    TempImage image(hex::image(hex::two_segments()), "\r\n");

    QSharedPointer<UsbManager> manager = UsbManager::GetInstance();
    QString error;
    QList<QString> list;
    QVERIFY(manager->GetDeviceList(error, list));
    QCOMPARE(list.size(), 1);
    QVERIFY(manager->OpenDevice(list.first(), error));

    const int logged = run_log::texts().size();
    QSignalSpy finished(manager->flash_writer_.data(), &HIDHelper::sig_OnDownloadFinished);
    manager->Send(list.first(), image.path());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toBool(), success);

    // The Send step lines of this run, in order.
    QStringList sendLines;
    for (const QString& line : run_log::texts().mid(logged)) {
        if (line.startsWith(QStringLiteral("Send "))) {
            sendLines << line;
        }
    }
    QCOMPARE(sendLines, steps);

    QCOMPARE(wallet.commandCount(CMD_FINISH), success ? 1 : 0);
    if (!steps.contains(QStringLiteral("Send 程序擦除成功"))) {
        QCOMPARE(wallet.commandCount(CMD_WRITE), 0);
    }
    if (success) {
        for (const hex::Window& window : hex::two_segments()) {
            QCOMPARE(wallet.flashAt(hex::window_address(window), window.data.size()), window.data);
        }
        QCOMPARE(wallet.firmwareUpdates(), 1);
    }
}

void TestManualDownload::refusedImageLeavesWalletUntouched()
{
    sim::Wallet& wallet = sim::Bus::instance().attachWallet();
    TempImage image(QByteArray("not an image\n"));

    QSharedPointer<UsbManager> manager = UsbManager::GetInstance();
    QString error;
    QList<QString> list;
    QVERIFY(manager->GetDeviceList(error, list));
    QVERIFY(manager->OpenDevice(list.first(), error));
    const int before = wallet.reportsReceived();

    QSignalSpy finished(manager->flash_writer_.data(), &HIDHelper::sig_OnDownloadFinished);
    manager->Send(list.first(), image.path());
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toBool(), false);
    QCOMPARE(wallet.reportsReceived(), before);
    QCOMPARE(wallet.mode(), sim::Mode::Application);
    QVERIFY(run_log::lastText().startsWith(QStringLiteral("Send 固件文件格式错误")));
}

QTEST_GUILESS_MAIN(TestManualDownload)
#include "TestManualDownload.moc"
