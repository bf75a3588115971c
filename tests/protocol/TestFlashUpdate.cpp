#include "protocol/BootloaderEntry.h"
#include "sim/SimBus.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"
#include "support/WalletRuns.h"
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
    // An image with a gap is refused before the wallet is written, at once,
    // and its file stays; the failures after that, and a bootloader that
    // cannot be opened, are the fault matrix's.
    void refusedImageLeavesTheWalletAlone()
    {
        sim::WalletConfig config;
        config.mode = sim::Mode::Bootloader;
        QList<QByteArray> lines = hex::image(hex::two_segments());
        lines.removeAt(2);
        sim::Wallet& wallet = sim::Bus::instance().attachWallet(config);
        TempImage image(lines, "\r\n");
        MessageBoxCatcher boxes;
        QVERIFY(!flash_update(image.path()));
        QCOMPARE(boxes.texts(), QStringList {QStringLiteral("固件文件格式错误")});
        QVERIFY(QFile::exists(image.path()));
        QVERIFY(waits.isEmpty());
        QCOMPARE(wallet.reportsReceived(), 0);
    }
    // A wallet found already in its bootloader is sent the restart all the
    // same, and nothing else; the application's restart is in the golden
    // traces, a wallet that cannot be opened in the fault matrix.
    void gotoRomInTheBootloader()
    {
        attach_traced_bootloader();
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
