#include "protocol/Framing.h"
#include "protocol/Wait.h"
#include "sim/SimBus.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

// The framing as the wire sees it: every report handed to hidapi, taken from
// the simulated bus's trace.
class TestFraming : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void payloadSplitting_data();
    void payloadSplitting();
    void fixedCommands_data();
    void fixedCommands();
    void refusesWhatByte7CannotSay_data();
    void refusesWhatByte7CannotSay();
    void stopsAtFirstFailedWrite();
    void blockAddress_data();
    void blockAddress();
    void replyTest_data();
    void replyTest();
    void msleepWaitsOnTheMonotonicClockWithEvents();

private:
    hid_device* open_wallet();
    hid_device* device_ = nullptr;
};

void TestFraming::init()
{
    sim::Bus::instance().reset();
    sim::Bus::instance().attachWallet();
    device_ = open_wallet();
    QVERIFY(device_ != nullptr);
    sim::Bus::instance().clearTrace();
}

void TestFraming::cleanup()
{
    if (device_ != nullptr) {
        hid_close(device_);
        device_ = nullptr;
    }
}

hid_device* TestFraming::open_wallet()
{
    hid_device_info* list = hid_enumerate(VENDOR_ID, 0);
    hid_device* device = list != nullptr ? hid_open_path(list->path) : nullptr;
    hid_free_enumeration(list);
    return device;
}

void TestFraming::payloadSplitting_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<int>>("carried"); // payload bytes per report
    QTest::newRow("zero-length") << 0 << QList<int> {0};
    QTest::newRow("1") << 1 << QList<int> {1};
    QTest::newRow("55, marker at byte 63") << 55 << QList<int> {55};
    QTest::newRow("56, marker at byte 64, no continuation") << 56 << QList<int> {56};
    QTest::newRow("57, one byte continues") << 57 << QList<int> {56, 1};
    QTest::newRow("114, exactly two") << 114 << QList<int> {56, 58};
    QTest::newRow("115") << 115 << QList<int> {56, 58, 1};
    QTest::newRow("76, a 20-record tail block") << 76 << QList<int> {56, 20};
    QTest::newRow("244, a full data block") << 244 << QList<int> {56, 58, 58, 58, 14};
    QTest::newRow("255, the longest") << 255 << QList<int> {56, 58, 58, 58, 25};
}

// Rebuilds each report independently from the layout rules and compares
// every byte, so a misplaced marker, a stale byte or a wrong sequence shows.
void TestFraming::payloadSplitting()
{
    QFETCH(int, length);
    QFETCH(QList<int>, carried);
    QByteArray payload(length, '\0');
    for (int i = 0; i < length; ++i) {
        payload[i] = static_cast<char>(0xA0 ^ i);
    }
    QVERIFY(hid_send_data(device_, CMD_WRITE, length, reinterpret_cast<const unsigned char*>(payload.constData())));

    const std::vector<QByteArray>& trace = sim::Bus::instance().trace();
    QCOMPARE(int(trace.size()), carried.size());
    int at = 0;
    for (int r = 0; r < carried.size(); ++r) {
        QByteArray expected(REPORT_BUFFER_SIZE, '\0');
        expected[1] = char(0x11);
        expected[3] = char(CMD_WRITE);
        expected[5] = char(r);
        const int start = r == 0 ? 8 : 6;
        if (r == 0) {
            expected[7] = char(length);
        }
        for (int k = 0; k < carried[r]; ++k) {
            expected[start + k] = payload[at + k];
        }
        expected[start + carried[r]] = char(FRAME_END);
        at += carried[r];
        QCOMPARE(trace[r].toHex(' '), expected.toHex(' '));
    }
    QCOMPARE(at, length);
}

void TestFraming::fixedCommands_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QByteArray>("expected"); // the report's leading bytes; the rest must be zero

    auto sent = [this](auto send) {
        sim::Bus::instance().clearTrace();
        send();
        return sim::Bus::instance().trace().empty() ? QByteArray() : sim::Bus::instance().trace().front();
    };
    init();
    QTest::newRow("goto rom") << sent([&] { hid_send_data(device_, CMD_GOTO_ROM, 0, nullptr); })
                              << QByteArray::fromHex("001100C100000000C3");
    QTest::newRow("finish") << sent([&] { hid_send_data(device_, CMD_FINISH, 0, nullptr); })
                            << QByteArray::fromHex("001100C200000000C3");
    QTest::newRow("check crc") << sent([&] { send_crc_data(device_, 0x08004000, 49152, 0x1D0F); })
                               << QByteArray::fromHex("001100F80000000A 00400008 00C00000 0F1D C3");
    unsigned char erase[ERASE_PAYLOAD_SIZE];
    build_erase_payload(erase);
    QTest::newRow("erase") << sent([&] { hid_send_data(device_, CMD_ERASE, ERASE_PAYLOAD_SIZE, erase); })
                           << QByteArray::fromHex("001100F200000006 004000 00C003 C3");
    const unsigned char nonce[4] = {0x01, 0x02, 0x03, 0x04};
    unsigned char auth[AUTH_PAYLOAD_SIZE];
    build_auth_payload(nonce, auth);
    const QByteArray digest
        = QCryptographicHash::hash(QByteArray("vkrmqzlt\x01\x02\x03\x04", 12), QCryptographicHash::Sha256).left(8);
    QTest::newRow("auth") << sent([&] { hid_send_data(device_, CMD_AUTH, AUTH_PAYLOAD_SIZE, auth); })
                          << QByteArray::fromHex("001100C40000000C") + digest + QByteArray::fromHex("01020304C3");
    cleanup();
}

void TestFraming::fixedCommands()
{
    QFETCH(QByteArray, report);
    QFETCH(QByteArray, expected);
    QCOMPARE(report.size(), REPORT_BUFFER_SIZE);
    QCOMPARE(report.left(expected.size()).toHex(' '), expected.toHex(' '));
    QCOMPARE(report.mid(expected.size()), QByteArray(REPORT_BUFFER_SIZE - expected.size(), '\0'));
}

void TestFraming::refusesWhatByte7CannotSay_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("256") << 256;
    QTest::newRow("negative") << -1;
}

void TestFraming::refusesWhatByte7CannotSay()
{
    QFETCH(int, length);
    QByteArray payload(300, 'x');
    QVERIFY(!hid_send_data(device_, CMD_WRITE, length, reinterpret_cast<const unsigned char*>(payload.constData())));
    QVERIFY(sim::Bus::instance().trace().empty());
}

// After a report fails to go out, the rest of the command stays unsent.
void TestFraming::stopsAtFirstFailedWrite()
{
    cleanup();
    sim::Bus::instance().reset();
    sim::WalletConfig config;
    config.faults.write_error_at = 2;
    sim::Bus::instance().attachWallet(config);
    device_ = open_wallet();
    QVERIFY(device_ != nullptr);
    QByteArray block(FULL_BLOCK_SIZE, '\x5A');
    QVERIFY(
        !hid_send_data(device_, CMD_WRITE, FULL_BLOCK_SIZE, reinterpret_cast<const unsigned char*>(block.constData())));
    QCOMPARE(int(sim::Bus::instance().trace().size()), 2);
}

void TestFraming::blockAddress_data()
{
    QTest::addColumn<unsigned int>("base");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("extended linear base plus offset") << 0x08010000u << 0x12 << 0x30 << QByteArray::fromHex("30120108");
    QTest::newRow("first segment from 0x4000") << 0x08000000u << 0x40 << 0x00 << QByteArray::fromHex("00400008");
    QTest::newRow("low bytes add without carry") << 0x080100F0u << 0x01 << 0x20 << QByteArray::fromHex("10010108");
    QTest::newRow("high byte wraps alone") << 0x0801F000u << 0x20 << 0x00 << QByteArray::fromHex("00100108");
}

void TestFraming::blockAddress()
{
    QFETCH(unsigned int, base);
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(QByteArray, expected);
    unsigned char block[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    fill_block_address(block, base, static_cast<unsigned char>(high), static_cast<unsigned char>(low));
    QCOMPARE(QByteArray(reinterpret_cast<char*>(block), 4).toHex(), expected.toHex());
}

void TestFraming::replyTest_data()
{
    QTest::addColumn<int>("readResult");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("outcome");
    const QByteArray ok = QByteArray::fromHex("11 00 F8 00 00 00 02 90 00 C3");
    QTest::newRow("success") << 64 << ok << int(ReplyOutcome::Success);
    QTest::newRow("swapped status bytes")
        << 64 << QByteArray::fromHex("11 00 F8 00 00 00 02 00 90 C3") << int(ReplyOutcome::Refusal);
    QTest::newRow("refusal") << 64 << QByteArray::fromHex("11 00 F8 00 00 00 02 69 85 C3")
                             << int(ReplyOutcome::Refusal);
    QTest::newRow("nothing read") << 0 << ok << int(ReplyOutcome::NoReply);
    QTest::newRow("read error") << -1 << ok << int(ReplyOutcome::NoReply);
    QTest::newRow("zeroed buffer") << 64 << QByteArray(10, '\0') << int(ReplyOutcome::Refusal);
}

void TestFraming::replyTest()
{
    QFETCH(int, readResult);
    QFETCH(QByteArray, reply);
    QFETCH(int, outcome);
    reply.resize(REPORT_BUFFER_SIZE);
    QCOMPARE(int(reply_outcome(readResult, reinterpret_cast<const unsigned char*>(reply.constData()))), outcome);
}

void TestFraming::msleepWaitsOnTheMonotonicClockWithEvents()
{
    QElapsedTimer clock;
    clock.start();
    QVERIFY(clock.isMonotonic());
    bool fired = false;
    QTimer::singleShot(10, [&fired] { fired = true; });
    msleep(60);
    QVERIFY(clock.elapsed() >= 60);
    QVERIFY(fired);
    msleep(0);
}

QTEST_GUILESS_MAIN(TestFraming)
#include "TestFraming.moc"
