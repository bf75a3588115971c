#include "protocol/BootloaderEntry.h"
#include "protocol/Commands.h"
#include "sim/SimBus.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"
#include "update/AutoUpdate.h"
#include "update/ScopedSettings.h"

#include <QFile>
#include <QtTest>

Q_DECLARE_METATYPE(sim::PathStyle)
Q_DECLARE_METATYPE(sim::Mode)

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
    void gotoRomFindsTheApplication_data()
    {
        QTest::addColumn<sim::PathStyle>("style");
        QTest::addColumn<sim::Mode>("mode");
        QTest::addColumn<bool>("openDenied");
        QTest::newRow("macOS paths, application") << sim::PathStyle::MacOS << sim::Mode::Application << false;
        QTest::newRow("already in the bootloader") << sim::PathStyle::MacOS << sim::Mode::Bootloader << false;
        QTest::newRow("wallet without permission") << sim::PathStyle::Linux << sim::Mode::Application << true;
    }
    void gotoRomFindsTheApplication()
    {
        QFETCH(sim::PathStyle, style);
        QFETCH(sim::Mode, mode);
        QFETCH(bool, openDenied);
        sim::WalletConfig config;
        config.path_style = style;
        config.mode = mode;
        config.faults.open_denied = openDenied;
        sim::Bus::instance().attachWallet(config);
        sim::Bus::instance().setTraceEnabled(true);
        MessageBoxCatcher boxes;
        if (openDenied) {
            // The box keeps its text; the debug output says what to install.
            QTest::ignoreMessage(QtDebugMsg,
                                 QRegularExpression(QStringLiteral(
                                     "^cannot open /dev/hidraw0: permission denied\\. Install the udev rule")));
        }
        const bool found = !openDenied; // no wallet at all and hidraw paths: the fault matrix
        QCOMPARE(goto_rom(), found);
        const auto& trace = sim::Bus::instance().trace();
        if (!found) {
            QCOMPARE(boxes.texts(), QStringList {QStringLiteral("设备未找到")});
            QVERIFY(trace.empty());
            return;
        }
        QVERIFY(boxes.texts().isEmpty());
        QCOMPARE(sim::Bus::instance().wallet(0).mode(), sim::Mode::Bootloader);
        QCOMPARE(int(trace.size()), 1);
        QByteArray expected(REPORT_BUFFER_SIZE, '\0');
        expected[1] = 0x11;
        expected[3] = char(0xC1);
        expected[8] = char(0xC3);
        QCOMPARE(trace.front(), expected);
    }

private:
    ScopedSettings settings_scope_;
};

QTEST_MAIN(TestFlashUpdate)
#include "TestFlashUpdate.moc"
