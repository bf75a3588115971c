#include "protocol/Framing.h"
#include "protocol/Wait.h"
#include "sim/SimBus.h"

#include <QtTest>

// The framing as the wire sees it: every report handed to hidapi, taken from
// the simulated bus's trace.
class TestFraming : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        sim::Bus::instance().reset();
        sim::Bus::instance().attachWallet();
        device_ = hid_open(0x4B71, 0, nullptr);
        QVERIFY(device_ != nullptr);
    }
    void cleanup()
    {
        if (device_ != nullptr) {
            hid_close(device_);
            device_ = nullptr;
        }
    }
    void reports_data()
    {
        QTest::addColumn<int>("code"); // 0x5A is no bootloader command: any length goes out
        QTest::addColumn<int>("length");
        QTest::addColumn<QList<int>>("carried"); // payload bytes in each report
        QTest::newRow("zero-length") << 0x5A << 0 << QList<int> {0};
        QTest::newRow("55, marker at byte 63") << 0x5A << 55 << QList<int> {55};
        QTest::newRow("56, marker at byte 64, no continuation") << 0x5A << 56 << QList<int> {56};
        QTest::newRow("57, one byte continues") << 0x5A << 57 << QList<int> {56, 1};
        QTest::newRow("114, exactly two") << 0x5A << 114 << QList<int> {56, 58};
        QTest::newRow("244, a full data block") << 0xF1 << 244 << QList<int> {56, 58, 58, 58, 14};
        QTest::newRow("a data block's tail") << 0xF1 << 5 << QList<int> {5};
    }
    // Every byte of every report, so a misplaced marker, a stale byte or a wrong sequence shows.
    void reports()
    {
        QFETCH(int, code);
        QFETCH(int, length);
        QFETCH(QList<int>, carried);
        QByteArray payload(length, '\0');
        for (int i = 0; i < length; ++i) {
            payload[i] = static_cast<char>(0xA0 ^ i);
        }
        QVERIFY(hid_send_data(device_, static_cast<unsigned char>(code), length,
                              reinterpret_cast<const unsigned char*>(payload.constData())));
        const std::vector<QByteArray>& trace = sim::Bus::instance().trace();
        QCOMPARE(int(trace.size()), carried.size());
        int at = 0;
        for (int r = 0; r < carried.size(); ++r) {
            // 00 11 00 code 00 sequence, then the length and 56 bytes from byte 8 in the
            // first report, 58 bytes from byte 6 in the others; the end marker right after.
            QByteArray expected(65, '\0');
            expected[1] = char(0x11);
            expected[3] = char(code);
            expected[5] = char(r);
            expected[7] = char(r == 0 ? length : 0);
            const int start = r == 0 ? 8 : 6;
            expected.replace(start, carried[r], payload.mid(at, carried[r]));
            expected[start + carried[r]] = char(0xC3);
            at += carried[r];
            QCOMPARE(trace[std::size_t(r)].toHex(' '), expected.toHex(' '));
        }
        QCOMPARE(at, length);
    }
    // Nothing goes out for a length byte 7 cannot say; after a report fails to go
    // out, the rest of the command stays unsent.
    void sendFailures()
    {
        const QByteArray payload(300, 'x');
        const auto* bytes = reinterpret_cast<const unsigned char*>(payload.constData());
        QVERIFY(!hid_send_data(device_, 0x5A, 256, bytes));
        QVERIFY(!hid_send_data(device_, 0x5A, -1, bytes));
        QVERIFY(sim::Bus::instance().trace().empty());
        sim::Bus::instance().wallet(0).faults().write_error_at = 2;
        QVERIFY(!hid_send_data(device_, CMD_WRITE, 244, bytes));
        QCOMPARE(int(sim::Bus::instance().trace().size()), 2);
    }
    void blockAddress_data()
    {
        QTest::addColumn<unsigned int>("base");
        QTest::addColumn<int>("high");
        QTest::addColumn<int>("low");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("extended linear base plus offset")
            << 0x08010000u << 0x12 << 0x30 << QByteArray::fromHex("30120108");
        QTest::newRow("low bytes add without carry") << 0x080100F0u << 0x01 << 0x20 << QByteArray::fromHex("10010108");
        QTest::newRow("high byte wraps alone") << 0x0801F000u << 0x20 << 0x00 << QByteArray::fromHex("00100108");
    }
    void blockAddress()
    {
        QFETCH(unsigned int, base);
        QFETCH(int, high);
        QFETCH(int, low);
        QFETCH(QByteArray, expected);
        unsigned char block[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        fill_block_address(block, base, static_cast<unsigned char>(high), static_cast<unsigned char>(low));
        QCOMPARE(QByteArray(reinterpret_cast<char*>(block), 4).toHex(), expected.toHex());
    }
    void replyTest_data()
    {
        QTest::addColumn<int>("readResult");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("outcome");
        const QByteArray ok = QByteArray::fromHex("11 00 F8 00 00 00 02 90 00 C3");
        QTest::newRow("success") << 64 << ok << int(ReplyOutcome::Success);
        QTest::newRow("swapped status bytes")
            << 64 << QByteArray::fromHex("11 00 F8 00 00 00 02 00 90 C3") << int(ReplyOutcome::Refusal);
        QTest::newRow("second status byte wrong")
            << 64 << QByteArray::fromHex("11 00 F8 00 00 00 02 90 85 C3") << int(ReplyOutcome::Refusal);
        QTest::newRow("nothing read") << 0 << ok << int(ReplyOutcome::NoReply);
        QTest::newRow("read error") << -1 << ok << int(ReplyOutcome::NoReply);
    }
    void replyTest()
    {
        QFETCH(int, readResult);
        QFETCH(QByteArray, reply);
        QFETCH(int, outcome);
        reply.resize(65);
        QCOMPARE(int(reply_outcome(readResult, reinterpret_cast<const unsigned char*>(reply.constData()))), outcome);
    }
    // The wallet's reply bytes beside 7 and 8 are its own: a report whose byte 2
    // names no command is the reply.
    void replyWithoutCommandEcho()
    {
        hid_close(device_);
        sim::Bus::instance().reset();
        sim::WalletConfig config;
        config.mode = sim::Mode::Bootloader;
        config.faults.stray_report = true; // 11 00 00 00 00 00 02 90 00 C3
        sim::Bus::instance().attachWallet(config);
        device_ = hid_open(0x4B71, 0, nullptr);
        QVERIFY(device_ != nullptr);
        QCOMPARE(int(read_reply(device_, CMD_CHECK_CRC)), int(ReplyOutcome::Success));
    }
    void msleepWaitsOnTheMonotonicClockWithEvents()
    {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(clock.isMonotonic());
        bool fired = false;
        QTimer::singleShot(5, [&fired] { fired = true; });
        msleep(30);
        QVERIFY(clock.elapsed() >= 30);
        QVERIFY(fired);
        msleep(0);
    }

private:
    hid_device* device_ = nullptr;
};

QTEST_GUILESS_MAIN(TestFraming)
#include "TestFraming.moc"
