#include "console/UsbManager.h"
#include "image/FirmwareImage.h"
#include "log/Settings.h"
#include "protocol/BootloaderEntry.h"
#include "protocol/Commands.h"
#include "protocol/HIDHelper.h"
#include "sim/SimBus.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"
#include "update/AutoUpdate.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <numeric>

Q_DECLARE_METATYPE(sim::Mode)

namespace {

QVector<unsigned int> g_waits;
// Runs at each wait, after the bus's clock has moved on by it.
std::function<void(int)> g_on_wait;

// The waits between listings pass on the bus's clock, not in real time.
void count_wait(unsigned int milliseconds)
{
    g_waits.append(milliseconds);
    sim::Bus::instance().advanceTime(int(milliseconds));
    if (g_on_wait) {
        g_on_wait(std::accumulate(g_waits.begin(), g_waits.end(), 0));
    }
}

// One update by either path: the manual download of `file` to the wallet at
// `index`, or the automatic path's bootloader entry and flash (of the file by
// its path, or of the image read before the entry).
bool update_by(bool manual, int index, const QString& file, bool by_path = false)
{
    if (manual) {
        // The wallet connected as the advanced window's "连接设备" leaves it.
        QString error;
        QList<QString> list;
        UsbManager::GetInstance()->GetDeviceList(error, list);
        const QString path = list.value(index);
        UsbManager::GetInstance()->OpenDevice(path, error);
        QSignalSpy finished(UsbManager::GetInstance()->flash_writer_.data(), &HIDHelper::sig_OnDownloadFinished);
        UsbManager::GetInstance()->Send(path, file);
        return finished.size() == 1 && finished.first().first().toBool();
    }
    const FirmwareImage image = FirmwareImage::fromFile(file);
    EntryResult entry;
    if (!goto_rom(&entry)) {
        return false;
    }
    return by_path ? flash_update(file) : flash_update(image, entry.target).ok();
}

bool holds(sim::Wallet& wallet, const QList<hex::Window>& windows)
{
    for (const hex::Window& window : windows) {
        if (wallet.flashAt(hex::window_address(window), window.data.size()) != window.data) {
            return false;
        }
    }
    return wallet.firmwareUpdates() == 1;
}

} // namespace

class TestManualDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void theWalletRestartedIsTheWalletWritten_data();
    void theWalletRestartedIsTheWalletWritten();
    void theCheckedImageIsTheImageWritten_data();
    void theCheckedImageIsTheImageWritten();
    void downloadFlashAlone();

private:
    ScopedSettings settings_scope_;
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
    g_waits.clear();
    g_on_wait = nullptr;
}

void TestManualDownload::cleanupTestCase()
{
    UsbManager::GetInstance()->CloseDevice();
}

void TestManualDownload::theWalletRestartedIsTheWalletWritten_data()
{
    QTest::addColumn<bool>("manual");
    // The bus in list order: C the chosen wallet in its application, c in its
    // bootloader; A another wallet in its application, B in its bootloader; b
    // a bootloader that comes on the bus together with the restarted wallet.
    QTest::addColumn<QString>("bus");
    QTest::addColumn<bool>("success");
    for (bool manual : {true, false}) {
        const QByteArray path = manual ? "manual: " : "automatic: ";
        QTest::newRow(path + "another in its bootloader, listed before") << manual << "BC" << true;
        QTest::newRow(path + "another in its bootloader, listed after") << manual << "CB" << true;
        QTest::newRow(path + "another in its application") << manual << "CA" << true;
        QTest::newRow(path + "alone in its bootloader") << manual << "c" << true;
        QTest::newRow(path + "two bootloaders appear together") << manual << "Cb" << false;
    }
}

// Only a bootloader that was not on the bus before the restart is written, and
// a chosen wallet already in its bootloader is itself written; when two new
// bootloaders cannot be told apart nothing is written. The automatic path
// chooses the first wallet listed, in either mode.
void TestManualDownload::theWalletRestartedIsTheWalletWritten()
{
    QFETCH(bool, manual);
    QFETCH(QString, bus);
    QFETCH(bool, success);
    const auto attach = [](QChar kind) {
        sim::WalletConfig config;
        config.mode = kind == 'A' || kind == 'C' ? sim::Mode::Application : sim::Mode::Bootloader;
        config.faults.reboot_ms = 4000;
        return &sim::Bus::instance().attachWallet(config);
    };
    QVector<sim::Wallet*> wallets;
    for (QChar kind : bus.left(bus.indexOf('b'))) {
        wallets << attach(kind);
    }
    g_on_wait = [&](int waited) {
        if (bus.contains('b') && waited >= 4000 && wallets.size() == 1) {
            wallets << attach('b');
        }
    };
    const int chosen = manual ? bus.indexOf(QRegularExpression(QStringLiteral("[Cc]"))) : 0;
    TempImage image(hex::image(hex::two_segments()), "\r\n");
    MessageBoxCatcher boxes;
    QCOMPARE(update_by(manual, chosen, image.path()), success);
    QCOMPARE(wallets.size(), bus.size());
    for (int i = 0; i < wallets.size(); ++i) {
        QCOMPARE(holds(*wallets[i], hex::two_segments()), success && i == chosen);
        QCOMPARE(wallets[i]->commandCount(CMD_ERASE) > 0, success && i == chosen);
    }
}

void TestManualDownload::theCheckedImageIsTheImageWritten_data()
{
    QTest::addColumn<bool>("manual");
    QTest::addColumn<QByteArray>("replacement"); // empty: the file is removed
    const QByteArray other = hex::image({{0x0800, 0x4000, hex::pattern(64, 9)}}).join("\n") + "\n";
    for (bool manual : {true, false}) {
        const QByteArray path = manual ? "manual: " : "automatic: ";
        QTest::newRow(path + "removed") << manual << QByteArray();
        QTest::newRow(path + "emptied") << manual << QByteArray("\n");
        QTest::newRow(path + "replaced by another image") << manual << other;
    }
}

// The file changes while the wallet restarts: what goes out is what was read
// and checked before, whole, and the wallet verifies it.
void TestManualDownload::theCheckedImageIsTheImageWritten()
{
    QFETCH(bool, manual);
    QFETCH(QByteArray, replacement);
    sim::WalletConfig config;
    config.faults.reboot_ms = 4000;
    sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
    TempImage image(hex::image(hex::two_segments()), "\r\n");
    g_on_wait = [&](int) {
        QFile file(image.path());
        if (replacement.isEmpty()) {
            file.remove();
        } else if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(replacement == "\n" ? QByteArray() : replacement);
        }
    };
    MessageBoxCatcher boxes;
    QVERIFY(update_by(manual, 0, image.path(), true));
    QVERIFY(!g_waits.isEmpty());
    QVERIFY(holds(wallet, hex::two_segments()));
}

// The flash writer on its own: nothing at all for a file it cannot read; for
// segments of 20, 15 and 7 records the range, one step per record, and blocks
// cut 15 records at a time per segment.
void TestManualDownload::downloadFlashAlone()
{
    sim::WalletConfig config;
    config.mode = sim::Mode::Bootloader;
    sim::Bus::instance().attachWallet(config);
    sim::Bus::instance().setTraceEnabled(true);
    const QList<hex::Window> windows {{0x0800, 0x4000, hex::pattern(20 * 16, 1)},
                                      {0x0801, 0x0000, hex::pattern(15 * 16, 2)},
                                      {0x0802, 0x0000, hex::pattern(6 * 16 + 5, 3)}};
    TempImage image(hex::image(windows), "\r\n");
    HIDHelper* writer = UsbManager::GetInstance()->flash_writer_.data();
    QSignalSpy range(writer, &HIDHelper::sig_OnSetRange);
    QSignalSpy steps(writer, &HIDHelper::sig_OnOffetPos);
    QSignalSpy finished(writer, &HIDHelper::sig_OnDownloadFinished);
    hid_device* device = hid_open(VENDOR_ID, BOOTLOADER_PRODUCT_ID, nullptr);
    writer->DownloadFlash(device, image.path() + QStringLiteral(".missing"));
    QCOMPARE(range.size() + steps.size(), 0);
    QVERIFY(sim::Bus::instance().trace().empty());

    writer->DownloadFlash(device, image.path());
    hid_close(device);
    QCOMPARE(finished.size(), 0);
    QCOMPARE(range, (QList<QList<QVariant>> {{0, 42}}));
    QCOMPARE(steps.size(), 42);
    // Block lengths: segment 0 a full block and a 5-record tail, segment 1 one
    // full block, segment 2 a 7-record tail ending in its 5-byte record.
    QVector<int> lengths;
    for (const QByteArray& report : sim::Bus::instance().trace()) {
        if (quint8(report[5]) == 0) {
            lengths.append(quint8(report[7]));
        }
    }
    QCOMPARE(lengths, (QVector<int> {244, 4 + 5 * 16, 244, 4 + 6 * 16 + 5}));
}

QTEST_MAIN(TestManualDownload)
#include "TestManualDownload.moc"
