#include "TestConfig.h"
#include "console/UsbManager.h"
#include "protocol/BootloaderEntry.h"
#include "protocol/Framing.h"
#include "sim/SimBus.h"
#include "support/MessageBoxCatcher.h"
#include "support/TempImage.h"
#include "support/WalletRuns.h"
#include "update/ScopedSettings.h"

#include <QtTest>

#include <functional>

using Send = std::function<bool(hid_device*)>;
Q_DECLARE_METATYPE(Send)

namespace {

// A 65-byte output buffer: the given bytes, then zeros.
QByteArray report(const char* hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    return bytes + QByteArray(65 - bytes.size(), '\0');
}

// The trace as text, one report a line, with the authentication's digest and
// nonce (bytes 8 to 19 of the report carrying C4) blanked: they differ in
// every update.
QByteArray trace_text()
{
    QByteArray text;
    for (QByteArray line : sim::Bus::instance().trace()) {
        if (line.size() > 19 && quint8(line[3]) == 0xC4 && quint8(line[5]) == 0) {
            line.replace(8, 12, QByteArray(12, '\0'));
        }
        text += line.toHex(' ') + '\n';
    }
    return text;
}

// A wallet waiting in its bootloader, opened, every report written to it traced.
hid_device* open_traced_bootloader()
{
    attach_traced_bootloader();
    return hid_open(0x4B71, 0x0820, nullptr);
}

} // namespace

// The wire as the wallet's bootloader knows it. Every expected byte here is
// written out by hand from the wallet's protocol, never taken from the
// updater's own constants, so a constant that drifts fails here.
class TestWire : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(dir_.path())); // the manual path's run log
        device_settings().wait = wait_on_bus_clock;
    }
    void init()
    {
        UsbManager::GetInstance()->CloseDevice();
        sim::Bus::instance().reset();
    }
    void commandTable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("minPayload");
        QTest::addColumn<int>("maxPayload");
        QTest::addColumn<QString>("step"); // the update step that sends it, as events name it
        QTest::newRow("CMD_GOTO_ROM") << "CMD_GOTO_ROM" << 0xC1 << 0 << 0 << "bootloader-entry";
        QTest::newRow("CMD_AUTH") << "CMD_AUTH" << 0xC4 << 12 << 12 << "auth";
        QTest::newRow("CMD_ERASE") << "CMD_ERASE" << 0xF2 << 6 << 6 << "erase";
        QTest::newRow("CMD_WRITE") << "CMD_WRITE" << 0xF1 << 5 << 244 << "write";
        QTest::newRow("CMD_CHECK_CRC") << "CMD_CHECK_CRC" << 0xF8 << 10 << 10 << "crc";
        QTest::newRow("CMD_FINISH") << "CMD_FINISH" << 0xC2 << 0 << 0 << "finish";
    }
    // Each command's row, and the framing refusing, before anything is written, a
    // payload length its command does not take.
    void commandTable()
    {
        QFETCH(QString, name);
        QFETCH(int, code);
        QFETCH(int, minPayload);
        QFETCH(int, maxPayload);
        QFETCH(QString, step);
        const BootloaderCommand* row = find_command(static_cast<unsigned char>(code));
        QVERIFY(row != nullptr);
        QCOMPARE(QString::fromLatin1(row->name), name);
        QCOMPARE(row->min_payload, minPayload);
        QCOMPARE(row->max_payload, maxPayload);
        QCOMPARE(step_name(row->step), step);

        hid_device* device = open_traced_bootloader();
        QVERIFY(device != nullptr);
        const QByteArray payload(300, '\x5A');
        const auto* bytes = reinterpret_cast<const unsigned char*>(payload.constData());
        const auto command = static_cast<unsigned char>(code);
        QVERIFY(!hid_send_data(device, command, minPayload - 1, bytes));
        QVERIFY(!hid_send_data(device, command, maxPayload + 1, bytes));
        QVERIFY(sim::Bus::instance().trace().empty());
        // A code of no command goes out with any length byte 7 can say.
        QVERIFY(hid_send_data(device, 0x5A, 255, bytes));
        hid_close(device);
    }
    void wholeReports_data()
    {
        QTest::addColumn<Send>("send");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("CMD_GOTO_ROM") << Send([](hid_device* d) { return hid_send_data(d, CMD_GOTO_ROM, 0, nullptr); })
                                      << report("00 11 00 C1 00 00 00 00 C3");
        QTest::newRow("CMD_FINISH") << Send([](hid_device* d) { return hid_send_data(d, CMD_FINISH, 0, nullptr); })
                                    << report("00 11 00 C2 00 00 00 00 C3");
        // Segment 0 of a window at 0x08000000 checked from 0x08004000: 328 bytes, CRC 0xBEEF.
        QTest::newRow("CMD_CHECK_CRC") << Send([](hid_device* d) { return send_crc_data(d, 0x08004000, 328, 0xBEEF); })
                                       << report("00 11 00 F8 00 00 00 0A 00 40 00 08 48 01 00 00 EF BE C3");
        // Nonce 01 02 03 04: SHA-256("vkrmqzlt" 01 02 03 04) begins 4B 85 C1 B3 0F 06 F0 75.
        QTest::newRow("CMD_AUTH, fixed nonce") << Send([](hid_device* d) {
            const unsigned char nonce[4] = {0x01, 0x02, 0x03, 0x04};
            unsigned char payload[12] = {};
            build_auth_payload(nonce, payload);
            return hid_send_data(d, CMD_AUTH, 12, payload);
        }) << report("00 11 00 C4 00 00 00 0C 4B 85 C1 B3 0F 06 F0 75 01 02 03 04 C3");
        QTest::newRow("CMD_ERASE") << Send([](hid_device* d) {
            unsigned char payload[6] = {};
            build_erase_payload(payload);
            return hid_send_data(d, CMD_ERASE, 6, payload);
        }) << report("00 11 00 F2 00 00 00 06 00 40 00 00 C0 03 C3");
    }
    // The reports the bootloader is known to take, whole, as the updater builds them.
    void wholeReports()
    {
        QFETCH(Send, send);
        QFETCH(QByteArray, expected);
        hid_device* device = open_traced_bootloader();
        QVERIFY(device != nullptr);
        QVERIFY(send(device));
        hid_close(device);
        QCOMPARE(int(sim::Bus::instance().trace().size()), 1);
        QCOMPARE(sim::Bus::instance().trace().front().toHex(' '), expected.toHex(' '));
    }
    void identities_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("productId");
        QTest::addColumn<int>("mode");
        const QByteArray port = "IOService:/AppleACPIPlatformExpert/PCI0@0/XHC1@14/HS01@14100000/";
        QTest::newRow("application, interface 0")
            << port + "Korvex N1@14100000/Korvex N1@0/AppleUSBHostHIDDevice" << 0x0810 << int(WalletMode::Application);
        QTest::newRow("application, interface 1")
            << port + "Korvex N1@14100000/Smart@1/AppleUSBHostHIDDevice" << 0x0810 << int(WalletMode::Other);
        // The same name with the digit 1 is another interface.
        QTest::newRow("application's name, interface 1")
            << port + "Korvex N1@14100000/Korvex N1@1/AppleUSBHostHIDDevice" << 0x0810 << int(WalletMode::Other);
        QTest::newRow("bootloader") << port + "Korvex N1 Bootloader@14100000/IOUSBHostInterface@0/AppleUSBHostHIDDevice"
                                    << 0x0820 << int(WalletMode::Bootloader);
        QTest::newRow("another product of the vendor")
            << port + "Other@14100000/IOUSBHostInterface@0/AppleUSBHostHIDDevice" << 0x0821 << int(WalletMode::Other);
    }
    // The wallet is known by the vendor 0x4B71, its bootloader by the product
    // 0x0820, its application's command interface by "Korvex N1@0" in the path.
    void identities()
    {
        QFETCH(QByteArray, path);
        QFETCH(int, productId);
        QFETCH(int, mode);
        hid_device_info entry {};
        entry.path = path.data();
        entry.vendor_id = 0x4B71;
        entry.product_id = static_cast<unsigned short>(productId);
        QCOMPARE(int(wallet_mode(entry)), mode);
        QCOMPARE(int(VENDOR_ID), 0x4B71);
    }
    void goldenTrace_data()
    {
        QTest::addColumn<bool>("manual");
        QTest::newRow("automatic") << false;
        QTest::newRow("manual") << true;
    }
    // A whole update of a fixture image on each path, every report compared with
    // the one kept beside the fixture. TESSARO_UPDATE_GOLDEN=1 rewrites the kept
    // traces after a deliberate change of the wire.
    void goldenTrace()
    {
        QFETCH(bool, manual);
        const QString golden
            = QStringLiteral(TESSARO_TEST_DATA_DIR "/golden/%1.trace").arg(manual ? "manual" : "automatic");
        // A copy: the automatic path deletes its file.
        TempImage image(read_file(QStringLiteral(TESSARO_TEST_DATA_DIR "/golden/two-segments.hex")));
        sim::Bus::instance().attachWallet();
        sim::Bus::instance().setTraceEnabled(true);
        MessageBoxCatcher boxes;
        QVERIFY(update_by(manual, 0, image.path()));
        QCOMPARE(sim::Bus::instance().wallet(0).firmwareUpdates(), 1);
        QFile kept(golden);
        if (qEnvironmentVariableIntValue("TESSARO_UPDATE_GOLDEN") == 1) {
            QVERIFY(kept.open(QIODevice::WriteOnly | QIODevice::Truncate));
            kept.write(trace_text());
            return;
        }
        QVERIFY2(kept.open(QIODevice::ReadOnly), qPrintable(golden));
        const QList<QByteArray> expected = kept.readAll().split('\n');
        const QList<QByteArray> actual = trace_text().split('\n');
        for (int i = 0; i < qMin(expected.size(), actual.size()); ++i) {
            QVERIFY2(actual[i] == expected[i],
                     qPrintable(QStringLiteral("report %1 differs:\n  sent %2\n  kept %3")
                                    .arg(i + 1)
                                    .arg(QString::fromLatin1(actual[i]))
                                    .arg(QString::fromLatin1(expected[i]))));
        }
        QCOMPARE(actual.size(), expected.size());
    }

private:
    ScopedSettings settings_scope_;
    QTemporaryDir dir_;
};

QTEST_MAIN(TestWire)
#include "TestWire.moc"
