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
    void reports_data();
    void reports();
    void sendFailures_data();
    void sendFailures();
    void blockAddress_data();
    void blockAddress();
    void replyTest_data();
    void replyTest();
    void msleepWaitsOnTheMonotonicClockWithEvents();

private:
    void attach(const sim::Faults& faults);
    hid_device* device_ = nullptr;
};

void TestFraming::attach(const sim::Faults& faults)
{
    cleanup();
    sim::Bus::instance().reset();
    sim::WalletConfig config;
    config.faults = faults;
    sim::Bus::instance().attachWallet(config);
    device_ = hid_open(VENDOR_ID, 0, nullptr);
    QVERIFY(device_ != nullptr);
}

void TestFraming::init()
{
    attach(sim::Faults());
}

void TestFraming::cleanup()
{
    if (device_ != nullptr) {
        hid_close(device_);
        device_ = nullptr;
    }
}

namespace {

// A command's reports as the layout rules build them, `carried` payload bytes in each.
QByteArrayList layout(unsigned char code, const QByteArray& payload, const QList<int>& carried)
{
    QByteArrayList reports;
    int at = 0;
    for (int r = 0; r < carried.size(); ++r) {
        QByteArray report(REPORT_BUFFER_SIZE, '\0');
        report[1] = char(0x11);
        report[3] = char(code);
        report[5] = char(r);
        report[7] = char(r == 0 ? payload.size() : 0);
        const int start = r == 0 ? 8 : 6;
        report.replace(start, carried[r], payload.mid(at, carried[r]));
        report[start + carried[r]] = char(FRAME_END);
        reports << report;
        at += carried[r];
    }
    return at == payload.size() ? reports : QByteArrayList();
}

} // namespace

void TestFraming::reports_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArrayList>("expected");
    const auto row
        = [](const char* name, unsigned char code, const QByteArray& payload, const QByteArray& wire,
             const QList<int>& carried) { QTest::newRow(name) << int(code) << payload << layout(code, wire, carried); };
    QByteArray data(244, '\0');
    for (int i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(0xA0 ^ i);
    }
    row("zero-length", CMD_GOTO_ROM, QByteArray(), QByteArray(), {0});
    row("55, marker at byte 63", CMD_WRITE, data.left(55), data.left(55), {55});
    row("56, marker at byte 64, no continuation", CMD_WRITE, data.left(56), data.left(56), {56});
    row("57, one byte continues", CMD_WRITE, data.left(57), data.left(57), {56, 1});
    row("114, exactly two", CMD_WRITE, data.left(114), data.left(114), {56, 58});
    row("244, a full data block", CMD_WRITE, data, data, {56, 58, 58, 58, 14});
    row("finish", CMD_FINISH, QByteArray(), QByteArray(), {0});
    // The fixed commands' payloads, byte for byte.
    unsigned char erase[ERASE_PAYLOAD_SIZE], auth[AUTH_PAYLOAD_SIZE];
    build_erase_payload(erase);
    row("erase", CMD_ERASE, QByteArray(reinterpret_cast<char*>(erase), sizeof erase),
        QByteArray::fromHex("00400000 C003"), {6});
    const unsigned char nonce[4] = {0x01, 0x02, 0x03, 0x04};
    build_auth_payload(nonce, auth);
    const QByteArray digest
        = QCryptographicHash::hash(QByteArray("vkrmqzlt\x01\x02\x03\x04", 12), QCryptographicHash::Sha256).left(8);
    row("auth", CMD_AUTH, QByteArray(reinterpret_cast<char*>(auth), sizeof auth),
        digest + QByteArray::fromHex("01020304"), {12});
    // An empty payload here stands for send_crc_data(0x08004000, 49152, 0x1D0F).
    row("check crc", CMD_CHECK_CRC, QByteArray(), QByteArray::fromHex("00400008 00C00000 0F1D"), {10});
}

// Every byte of every report, so a misplaced marker, a stale byte or a wrong sequence shows.
void TestFraming::reports()
{
    QFETCH(int, code);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArrayList, expected);
    QVERIFY(!expected.isEmpty());
    if (code == CMD_CHECK_CRC) {
        QVERIFY(send_crc_data(device_, 0x08004000, 49152, 0x1D0F));
    } else {
        QVERIFY(hid_send_data(device_, static_cast<unsigned char>(code), payload.size(),
                              reinterpret_cast<const unsigned char*>(payload.constData())));
    }
    const std::vector<QByteArray>& trace = sim::Bus::instance().trace();
    QCOMPARE(int(trace.size()), expected.size());
    for (int r = 0; r < expected.size(); ++r) {
        QCOMPARE(trace[std::size_t(r)].toHex(' '), expected[r].toHex(' '));
    }
}

void TestFraming::sendFailures_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("writeErrorAt");
    QTest::addColumn<int>("written"); // reports handed to hidapi
    QTest::newRow("256, more than byte 7 can say") << 256 << 0 << 0;
    QTest::newRow("negative length") << -1 << 0 << 0;
    // After a report fails to go out, the rest of the command stays unsent.
    QTest::newRow("second report fails") << FULL_BLOCK_SIZE << 2 << 2;
}

void TestFraming::sendFailures()
{
    QFETCH(int, length);
    QFETCH(int, writeErrorAt);
    QFETCH(int, written);
    sim::Faults faults;
    faults.write_error_at = writeErrorAt;
    attach(faults);
    const QByteArray payload(300, 'x');
    QVERIFY(!hid_send_data(device_, CMD_WRITE, length, reinterpret_cast<const unsigned char*>(payload.constData())));
    QCOMPARE(int(sim::Bus::instance().trace().size()), written);
}

void TestFraming::blockAddress_data()
{
    QTest::addColumn<unsigned int>("base");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("extended linear base plus offset") << 0x08010000u << 0x12 << 0x30 << QByteArray::fromHex("30120108");
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
    QTest::newRow("second status byte wrong")
        << 64 << QByteArray::fromHex("11 00 F8 00 00 00 02 90 85 C3") << int(ReplyOutcome::Refusal);
    QTest::newRow("nothing read") << 0 << ok << int(ReplyOutcome::NoReply);
    QTest::newRow("read error") << -1 << ok << int(ReplyOutcome::NoReply);
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
    QTimer::singleShot(5, [&fired] { fired = true; });
    msleep(30);
    QVERIFY(clock.elapsed() >= 30);
    QVERIFY(fired);
    msleep(0);
}

QTEST_GUILESS_MAIN(TestFraming)
#include "TestFraming.moc"
