#include "protocol/BootloaderEntry.h"
#include "sim/SimBus.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"
#include "update/AutoUpdate.h"
#include "update/ScopedSettings.h"

#include <QtTest>

namespace {

QVector<unsigned int> waits;
void record_wait(unsigned int ms)
{
    waits.append(ms);
}

} // namespace

// The automatic flash update's refusals before the wallet is written, and the
// bootloader entry, against the simulated wallet.
class TestFlashUpdate : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        sim::Bus::instance().reset();
        waits.clear();
        device_settings().wait = record_wait;
    }
    void cleanup() { QCOMPARE(sim::Bus::instance().openHandles(), 0); }
    void failuresNeverFinish_data()
    {
        QTest::addColumn<QString>("fault"); // "refused image": a gap in the file
        QTest::addColumn<QString>("box");
        const QString missing = QStringLiteral("更新设备未找到");
        QTest::newRow("refused image") << "refused image"
                                       << "固件文件格式错误";
        QTest::newRow("listed, cannot be opened: no wait") << "open-denied" << missing;
    }
    // The failures before the wallet is written; those after are the fault matrix's.
    void failuresNeverFinish()
    {
        QFETCH(QString, fault);
        QFETCH(QString, box);
        sim::WalletConfig config;
        config.mode = sim::Mode::Bootloader;
        config.faults.open_denied = fault == QLatin1String("open-denied");
        QList<QByteArray> lines = hex::image(hex::two_segments());
        if (fault == QLatin1String("refused image")) {
            lines.removeAt(2);
        }
        sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
        TempImage image(lines, "\r\n");

        MessageBoxCatcher boxes;
        QVERIFY(!flash_update(image.path()));
        QCOMPARE(boxes.texts(), QStringList {box});
        QVERIFY(QFile::exists(image.path()));
        QVERIFY(waits.isEmpty());
        QCOMPARE(wallet.reportsReceived(), 0);
    }
    // A wallet found already in its bootloader is sent the restart all the
    // same, and nothing else; the application's restart is in the golden
    // traces, a wallet that cannot be opened in the fault matrix.
    void gotoRomInTheBootloader()
    {
        sim::WalletConfig config;
        config.mode = sim::Mode::Bootloader;
        sim::Bus::instance().attachWallet(config);
        sim::Bus::instance().setTraceEnabled(true);
        MessageBoxCatcher boxes;
        QVERIFY(goto_rom());
        QVERIFY(boxes.texts().isEmpty());
        QCOMPARE(sim::Bus::instance().wallet(0).mode(), sim::Mode::Bootloader);
        const std::vector<QByteArray>& trace = sim::Bus::instance().trace();
        QCOMPARE(int(trace.size()), 1);
        QCOMPARE(trace.front().toHex(' '),
                 (QByteArray::fromHex("00 11 00 C1 00 00 00 00 C3") + QByteArray(56, '\0')).toHex(' '));
    }

private:
    ScopedSettings settings_scope_;
};

QTEST_MAIN(TestFlashUpdate)
#include "TestFlashUpdate.moc"
