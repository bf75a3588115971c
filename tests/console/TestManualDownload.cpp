#include "console/UsbManager.h"
#include "protocol/Commands.h"
#include "protocol/HIDHelper.h"
#include "sim/SimBus.h"
#include "support/MessageBoxCatcher.h"
#include "support/RunLog.h"
#include "support/TempImage.h"
#include "support/WalletRuns.h"
#include "update/ScopedSettings.h"

#include <QtTest>

#include <algorithm>

class TestManualDownload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(dir_.path()));
        device_settings().wait = wait_on_bus_clock;
    }
    void init()
    {
        UsbManager::GetInstance()->CloseDevice();
        sim::Bus::instance().reset();
        recorded_waits().clear();
        on_wait() = nullptr;
    }
    void cleanupTestCase() { UsbManager::GetInstance()->CloseDevice(); }
    void theWalletRestartedIsTheWalletWritten_data()
    {
        QTest::addColumn<bool>("manual");
        // The bus in list order: C the chosen wallet in its application, c in its
        // bootloader; A another wallet in its application, B in its bootloader; b
        // a bootloader plugged in on another port as the restarted wallet comes back.
        QTest::addColumn<QString>("bus");
        // What tells the wallets apart: "port"; "serial" where no port can be
        // told; "none" where neither can; "busy": another process holds the
        // chosen wallet's lock; "serial differs": the bootloader reports another
        // serial than its application, and the port decides; "none, waits": as
        // "none" while another process holds the restart lock for 100 ms.
        QTest::addColumn<QString>("identity");
        QTest::addColumn<bool>("success");
        for (bool manual : {true, false}) {
            const auto row = [manual](const char* name, const char* bus, const char* identity, bool success) {
                QTest::newRow((QByteArray(manual ? "manual: " : "automatic: ") + name).constData())
                    << manual << bus << identity << success;
            };
            // clang-format off
            row("another in its bootloader, listed before",       "BC", "port",           true);
            row("another in its bootloader, listed after",        "CB", "port",           true);
            row("another in its application",                     "CA", "port",           true);
            row("alone in its bootloader",                        "c",  "port",           true);
            row("another bootloader plugged in meanwhile",        "Cb", "port",           true);
            row("plugged in meanwhile, told by serial",           "Cb", "serial",         true);
            row("plugged in meanwhile, nothing to tell by",       "Cb", "none",           false);
            row("held by another process",                        "CA", "busy",           false);
            row("the bootloader's serial differs",                "CA", "serial differs", true);
            row("nothing to tell by, another process restarting", "CA", "none, waits",    true);
            // clang-format on
        }
    }
    // Only a bootloader on the restarted wallet's port that was not on the bus
    // before the restart is written, and a chosen wallet already in its bootloader
    // is itself written; one plugged in elsewhere meanwhile is left alone. The automatic path
    // chooses the first wallet listed, in either mode.
    void theWalletRestartedIsTheWalletWritten()
    {
        QFETCH(bool, manual);
        QFETCH(QString, bus);
        QFETCH(QString, identity);
        QFETCH(bool, success);
        const int logged = run_log::texts().size(); // the run log stays open for the whole process
        int serial = 0;
        const auto attach = [&](QChar kind) {
            sim::WalletConfig config;
            config.mode = kind == 'A' || kind == 'C' ? sim::Mode::Application : sim::Mode::Bootloader;
            config.faults.reboot_ms = 4000;
            config.serial = QStringLiteral("TS%1").arg(++serial, 7, 10, QLatin1Char('0'));
            config.faults.no_port = identity == QLatin1String("serial") || identity.startsWith(QLatin1String("none"));
            config.faults.no_serial = identity.startsWith(QLatin1String("none"));
            config.faults.bootloader_serial_differs = identity == QLatin1String("serial differs");
            return &sim::Bus::instance().attachWallet(config);
        };
        // Another process's lock on the chosen wallet's port, as it leaves it.
        QTemporaryDir locks;
        device_settings().lock_dir = locks.path();
        QFile held;
        QFile restarting;
        QVERIFY(identity != QLatin1String("busy")
                || hold_lock(held, locks.filePath("tessaro-wallet-0x14100000.lock"), "4242 tessaro-flash\n"));
        QVERIFY(identity != QLatin1String("none, waits")
                || hold_lock(restarting, locks.filePath("tessaro-restart.lock"), "4243 tessaro-flash\n"));
        bool restarted_while_held = false;
        QVector<sim::Wallet*> wallets;
        for (QChar kind : bus.left(bus.indexOf('b'))) {
            wallets << attach(kind);
        }
        on_wait() = [&](int waited) {
            if (bus.contains('b') && waited >= 4000 && wallets.size() == 1) {
                wallets << attach('b');
            }
            if (restarting.isOpen() && waited >= 100) {
                // CMD_GOTO_ROM is command 0xC1.
                restarted_while_held = std::any_of(wallets.begin(), wallets.end(),
                                                   [](sim::Wallet* wallet) { return wallet->commandCount(0xC1) > 0; });
                restarting.close();
            }
        };
        const int chosen = manual ? bus.indexOf(QRegularExpression(QStringLiteral("[Cc]"))) : 0;
        TempImage image(hex::image(hex::two_segments()), "\r\n");
        MessageBoxCatcher boxes;
        QCOMPARE(update_by(manual, chosen, image.path()), success);
        device_settings().lock_dir.clear();
        // Without port or serial, a wallet is restarted only once no other process
        // is between its restart and its bootloader.
        QVERIFY(!restarted_while_held);
        QVERIFY(!restarting.isOpen());
        if (identity == QLatin1String("busy")) {
            // Stopped before anything was sent; the window says as for a wallet it cannot open.
            QCOMPARE(wallets[chosen]->reportsReceived(), 0);
            QCOMPARE(boxes.texts(), manual ? QStringList() : QStringList {QStringLiteral("设备未找到")});
            return;
        }
        // The run log says where the port overruled the serial.
        const QString overruled = QStringLiteral("on port 0x14100000 reports serial TS0000001-BL, the restarted wallet "
                                                 "TS0000001; the port decides");
        QCOMPARE(run_log::texts().mid(logged).join('\n').contains(overruled),
                 identity == QLatin1String("serial differs"));
        QCOMPARE(wallets.size(), bus.size());
        for (int i = 0; i < wallets.size(); ++i) {
            QCOMPARE(holds(*wallets[i], hex::two_segments()), success && i == chosen);
            QCOMPARE(wallets[i]->commandCount(CMD_ERASE) > 0, success && i == chosen);
        }
    }
    void theCheckedImageIsTheImageWritten_data()
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
    void theCheckedImageIsTheImageWritten()
    {
        QFETCH(bool, manual);
        QFETCH(QByteArray, replacement);
        sim::WalletConfig config;
        config.faults.reboot_ms = 4000;
        sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
        TempImage image(hex::image(hex::two_segments()), "\r\n");
        on_wait() = [&](int) {
            replacement.isEmpty() ? QFile::remove(image.path())
                                  : write_file(image.path(), replacement == "\n" ? QByteArray() : replacement);
        };
        MessageBoxCatcher boxes;
        QVERIFY(update_by(manual, 0, image.path(), true));
        QVERIFY(!recorded_waits().isEmpty());
        QVERIFY(holds(wallet, hex::two_segments()));
    }
    // The flash writer on its own: nothing at all for a file it cannot read; for
    // segments of 20, 15 and 7 records the range, one step per record, and blocks
    // cut 15 records at a time per segment.
    void downloadFlashAlone()
    {
        attach_traced_bootloader();
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

private:
    ScopedSettings settings_scope_;
    QTemporaryDir dir_;
};

QTEST_MAIN(TestManualDownload)
#include "TestManualDownload.moc"
