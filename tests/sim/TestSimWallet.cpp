#include "image/Checksums.h"
#include "protocol/Framing.h"
#include "sim/Crc16.h"
#include "sim/SimBus.h"
#include "sim/SimOptions.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

// The simulated wallet seen from the host: only through hidapi's C API and
// the updater's own framing, as the real device would be.
class TestSimWallet : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void crcMatchesOurs_data();
    void crcMatchesOurs();
    void acceptsOwnWriteFraming_data();
    void acceptsOwnWriteFraming();
    void refusesMalformedFrames_data();
    void refusesMalformedFrames();
    void refusesWrongLength_data();
    void refusesWrongLength();
    void authentication_data();
    void authentication();
    void commandsBeforeAuthAreRefused();
    void crcFindsCorruptedBlock_data();
    void crcFindsCorruptedBlock();
    void writeRefusals_data();
    void writeRefusals();
    void applicationFrames_data();
    void applicationFrames();
    void gotoRomReboots();
    void rebootTakesItsTime();
    void noBootloader();
    void finishRestartsIntoApplication();
    void finishRefused_data();
    void finishRefused();
    void writeFaults_data();
    void writeFaults();
    void replyFaults_data();
    void replyFaults();
    void strayReportWaitsAtStart();
    void enumeration_data();
    void enumeration();
    void openBySerial();
    void openDenied();
    void replyDelay();
    void traceFile();
    void initAndHandles();
    void options_data();
    void options();

private:
    hid_device* openFirst(unsigned short product_id);
    sim::Wallet& attachBootloader(const sim::Faults& faults = sim::Faults());
    hid_device* bootloader(const sim::Faults& faults = sim::Faults());
    void authenticate();
    ReplyOutcome erase();
    bool writeBlock(unsigned int address, const QByteArray& data);
    ReplyOutcome checkCrc(unsigned int address, const QByteArray& expected);

    sim::Wallet* wallet_ = nullptr;
    hid_device* device_ = nullptr;
    std::vector<hid_device*> opened_;
};

namespace {

const unsigned char kNonce[AUTH_NONCE_SIZE] = {0x3A, 0x00, 0xC5, 0x7E};

QByteArray pattern(int size, int seed = 1)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i) {
        data[i] = char((i * 7 + seed * 31) & 0xFF);
    }
    return data;
}

unsigned short our_crc(QByteArray data)
{
    return CRC16_X25(reinterpret_cast<unsigned char*>(data.data()), unsigned(data.size()));
}

QByteArray first_report(unsigned char code, int length, const QByteArray& carried)
{
    QByteArray report(REPORT_BUFFER_SIZE, '\0');
    report[1] = char(FRAME_TAG);
    report[3] = char(code);
    report[7] = char(length);
    report.replace(8, carried.size(), carried);
    report[8 + carried.size()] = char(FRAME_END);
    return report;
}

QByteArray continuation_report(unsigned char code, int sequence, const QByteArray& carried)
{
    QByteArray report(REPORT_BUFFER_SIZE, '\0');
    report[1] = char(FRAME_TAG);
    report[3] = char(code);
    report[5] = char(sequence);
    report.replace(6, carried.size(), carried);
    report[6 + carried.size()] = char(FRAME_END);
    return report;
}

int write_report(hid_device* device, const QByteArray& report)
{
    return hid_write(device, reinterpret_cast<const unsigned char*>(report.constData()), size_t(report.size()));
}

QByteArray write_payload(unsigned int address, const QByteArray& data)
{
    QByteArray payload(BLOCK_HEADER, '\0');
    put_u32_le(reinterpret_cast<unsigned char*>(payload.data()), address);
    return payload + data;
}

bool send(hid_device* device, unsigned char code, const QByteArray& payload)
{
    return hid_send_data(device, code, payload.size(), reinterpret_cast<const unsigned char*>(payload.constData()));
}

QString path_of(const hid_device_info* info)
{
    return QString::fromUtf8(info->path);
}

int count(const hid_device_info* list)
{
    int n = 0;
    for (; list != nullptr; list = list->next) {
        ++n;
    }
    return n;
}

// A well-framed CMD_WRITE of 4+100 bytes at 0x08008000, in its two reports.
constexpr unsigned int kProbeAddress = 0x08008000;
QByteArrayList probe_reports()
{
    const QByteArray payload = write_payload(kProbeAddress, pattern(100));
    return {first_report(CMD_WRITE, payload.size(), payload.left(FIRST_REPORT_PAYLOAD)),
            continuation_report(CMD_WRITE, 1, payload.mid(FIRST_REPORT_PAYLOAD))};
}

} // namespace

void TestSimWallet::init()
{
    sim::Bus::instance().reset();
    wallet_ = nullptr;
    device_ = nullptr;
}

void TestSimWallet::cleanup()
{
    for (hid_device* device : opened_) {
        hid_close(device);
    }
    opened_.clear();
    QCOMPARE(sim::Bus::instance().openHandles(), 0);
    sim::Bus::instance().reset();
}

hid_device* TestSimWallet::openFirst(unsigned short product_id)
{
    hid_device_info* list = hid_enumerate(VENDOR_ID, product_id);
    hid_device* device = list != nullptr ? hid_open_path(list->path) : nullptr;
    hid_free_enumeration(list);
    if (device != nullptr) {
        opened_.push_back(device);
    }
    return device;
}

sim::Wallet& TestSimWallet::attachBootloader(const sim::Faults& faults)
{
    sim::WalletConfig config;
    config.mode = sim::Mode::Bootloader;
    config.faults = faults;
    wallet_ = &sim::Bus::instance().attachWallet(config);
    return *wallet_;
}

hid_device* TestSimWallet::bootloader(const sim::Faults& faults)
{
    attachBootloader(faults);
    device_ = openFirst(BOOTLOADER_PRODUCT_ID);
    return device_;
}

void TestSimWallet::authenticate()
{
    unsigned char payload[AUTH_PAYLOAD_SIZE];
    build_auth_payload(kNonce, payload);
    QVERIFY(hid_send_data(device_, CMD_AUTH, AUTH_PAYLOAD_SIZE, payload));
}

ReplyOutcome TestSimWallet::erase()
{
    unsigned char payload[ERASE_PAYLOAD_SIZE];
    build_erase_payload(payload);
    if (!hid_send_data(device_, CMD_ERASE, ERASE_PAYLOAD_SIZE, payload)) {
        return ReplyOutcome::NoReply;
    }
    return read_reply(device_);
}

bool TestSimWallet::writeBlock(unsigned int address, const QByteArray& data)
{
    return send(device_, CMD_WRITE, write_payload(address, data));
}

ReplyOutcome TestSimWallet::checkCrc(unsigned int address, const QByteArray& expected)
{
    if (!send_crc_data(device_, address, unsigned(expected.size()), our_crc(expected))) {
        return ReplyOutcome::NoReply;
    }
    return read_reply(device_);
}

void TestSimWallet::crcMatchesOurs_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("check value") << QByteArray("123456789");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << QByteArray("\x80", 1);
    QTest::newRow("erased page") << QByteArray(int(sim::kPageSize), '\xFF');
    QTest::newRow("pattern 4097") << pattern(4097, 5);
}

// Two independent implementations must agree, or one of them is wrong.
void TestSimWallet::crcMatchesOurs()
{
    QFETCH(QByteArray, data);
    const unsigned short device = sim::crc16_x25(reinterpret_cast<const unsigned char*>(data.constData()), data.size());
    QCOMPARE(device, our_crc(data));
    if (data == "123456789") {
        QCOMPARE(device, static_cast<unsigned short>(0x906E));
    }
}

void TestSimWallet::acceptsOwnWriteFraming_data()
{
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<int>("reports");
    const auto reports_for = [](int payload) {
        return payload <= FIRST_REPORT_PAYLOAD
            ? 1
            : 1 + (payload - FIRST_REPORT_PAYLOAD + CONTINUATION_PAYLOAD - 1) / CONTINUATION_PAYLOAD;
    };
    for (int k = 1; k <= BLOCK_RECORDS; ++k) {
        const int size = k * BLOCK_SLOT;
        QTest::addRow("%d records", k) << size << reports_for(BLOCK_HEADER + size);
    }
    // Payloads that end right at, before and after each report boundary.
    for (int payload : {5, 55, 56, 57, 113, 114, 115, 171, 172, 173, 229, 230, 231, 244}) {
        QTest::addRow("payload %d", payload) << payload - BLOCK_HEADER << reports_for(payload);
    }
}

void TestSimWallet::acceptsOwnWriteFraming()
{
    QFETCH(int, dataSize);
    QFETCH(int, reports);
    QVERIFY(bootloader());
    authenticate();
    QCOMPARE(erase(), ReplyOutcome::Success);
    const int before = wallet_->reportsReceived();

    // The address as the block writer composes it from a segment base and a record address.
    QByteArray payload = write_payload(0, pattern(dataSize));
    fill_block_address(reinterpret_cast<unsigned char*>(payload.data()), 0x08010000, 0x12, 0x30);
    QVERIFY(send(device_, CMD_WRITE, payload));

    QCOMPARE(wallet_->reportsReceived() - before, reports);
    QCOMPARE(wallet_->errors(), std::vector<QString>());
    QCOMPARE(wallet_->flashAt(0x08011230, unsigned(dataSize)), pattern(dataSize));
    QCOMPARE(wallet_->flashAt(0x08011230 + unsigned(dataSize), 1), QByteArray(1, '\xFF'));
    QCOMPARE(wallet_->commandCount(CMD_WRITE), 1);
    QCOMPARE(checkCrc(0x08011230, pattern(dataSize)), ReplyOutcome::Success);
}

void TestSimWallet::refusesMalformedFrames_data()
{
    QTest::addColumn<QByteArrayList>("reports");
    const QByteArrayList good = probe_reports();
    const auto edit = [&good](int report, int byte, char value) {
        QByteArrayList reports = good;
        reports[report][byte] = value;
        return reports;
    };
    QTest::newRow("report number") << edit(0, 0, 0x01);
    QTest::newRow("tag") << edit(0, 1, 0x12);
    QTest::newRow("byte 2") << edit(0, 2, 0x01);
    QTest::newRow("byte 4 of first") << edit(0, 4, 0x01);
    QTest::newRow("byte 6 of first") << edit(0, 6, 0x01);
    QTest::newRow("byte 4 of continuation") << edit(1, 4, 0x01);
    QTest::newRow("tag of continuation") << edit(1, 1, 0x00);
    QTest::newRow("sequence 2 for 1") << edit(1, 5, 0x02);
    QTest::newRow("marker missing in first") << edit(0, 64, 0x00);
    QTest::newRow("marker missing in continuation") << edit(1, 6 + 48, 0x00);
    QTest::newRow("padding after marker") << edit(1, 6 + 48 + 1, 0x01);
    QTest::newRow("last padding byte") << edit(1, 64, 0x01);
    QTest::newRow("code changes") << edit(1, 3, char(CMD_CHECK_CRC));
    QByteArrayList misplaced = good;
    misplaced[1][6 + 48] = 0x00;
    misplaced[1][6 + 49] = char(FRAME_END);
    QTest::newRow("marker one late") << misplaced;
    QTest::newRow("first report twice") << QByteArrayList {good[0], good[0], good[1]};
    QTest::newRow("continuation alone") << QByteArrayList {good[1]};
    QByteArrayList early = good;
    early[0][7] = 50; // says the payload ends in the first report, but the marker sits at 64
    QTest::newRow("length byte too short") << early;
}

void TestSimWallet::refusesMalformedFrames()
{
    QFETCH(QByteArrayList, reports);
    QVERIFY(bootloader());
    authenticate();
    QCOMPARE(erase(), ReplyOutcome::Success);

    for (const QByteArray& report : reports) {
        QCOMPARE(write_report(device_, report), REPORT_BUFFER_SIZE);
    }
    QVERIFY(!wallet_->errors().empty());
    QVERIFY(wallet_->refusedSinceErase());
    QCOMPARE(wallet_->flashAt(kProbeAddress, 4), QByteArray(4, '\xFF'));
    QCOMPARE(drop_pending_input(device_), 0); // no reply to a malformed frame

    // The next well-formed command is understood, but nothing verifies any more.
    const QByteArray later = pattern(32, 9);
    QVERIFY(writeBlock(0x08020000, later));
    QCOMPARE(wallet_->flashAt(0x08020000, 32), later);
    QCOMPARE(checkCrc(0x08020000, later), ReplyOutcome::Refusal);
    // A new erase clears the refusal.
    QCOMPARE(erase(), ReplyOutcome::Success);
    QVERIFY(writeBlock(0x08020000, later));
    QCOMPARE(checkCrc(0x08020000, later), ReplyOutcome::Success);
}

void TestSimWallet::refusesWrongLength_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("length");
    QTest::newRow("auth 11") << int(CMD_AUTH) << 11;
    QTest::newRow("auth 13") << int(CMD_AUTH) << 13;
    QTest::newRow("erase 7") << int(CMD_ERASE) << 7;
    QTest::newRow("crc 9") << int(CMD_CHECK_CRC) << 9;
    QTest::newRow("crc 11") << int(CMD_CHECK_CRC) << 11;
    QTest::newRow("write without data") << int(CMD_WRITE) << 4;
    QTest::newRow("write 245") << int(CMD_WRITE) << 245;
    QTest::newRow("finish 1") << int(CMD_FINISH) << 1;
}

void TestSimWallet::refusesWrongLength()
{
    QFETCH(int, code);
    QFETCH(int, length);
    QVERIFY(bootloader());
    authenticate();
    QCOMPARE(erase(), ReplyOutcome::Success);
    QByteArray payload = pattern(length);
    if (length >= 4) {
        put_u32_le(reinterpret_cast<unsigned char*>(payload.data()), kProbeAddress);
    }
    QVERIFY(send(device_, static_cast<unsigned char>(code), payload));
    QVERIFY(wallet_->refusedSinceErase());
    QCOMPARE(drop_pending_input(device_), 0);
    QCOMPARE(wallet_->mode(), sim::Mode::Bootloader);
    QVERIFY(wallet_->erased());
}

void TestSimWallet::authentication_data()
{
    QTest::addColumn<int>("corruptByte");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("own payload") << -1 << true;
    QTest::newRow("digest byte 0") << 0 << false;
    QTest::newRow("digest byte 7") << 7 << false;
    QTest::newRow("nonce byte 0") << 8 << false;
    QTest::newRow("nonce byte 3") << 11 << false;
}

void TestSimWallet::authentication()
{
    QFETCH(int, corruptByte);
    QFETCH(bool, accepted);
    QVERIFY(bootloader());
    unsigned char payload[AUTH_PAYLOAD_SIZE];
    build_auth_payload(kNonce, payload);
    if (corruptByte >= 0) {
        payload[corruptByte] ^= 0x40;
    }
    QVERIFY(hid_send_data(device_, CMD_AUTH, AUTH_PAYLOAD_SIZE, payload));
    QCOMPARE(drop_pending_input(device_), 0); // authentication is never answered
    QCOMPARE(wallet_->authenticated(), accepted);
    QCOMPARE(erase(), accepted ? ReplyOutcome::Success : ReplyOutcome::Refusal);
    QCOMPARE(wallet_->erased(), accepted);
}

void TestSimWallet::commandsBeforeAuthAreRefused()
{
    QVERIFY(bootloader());
    QCOMPARE(erase(), ReplyOutcome::Refusal);
    QVERIFY(writeBlock(kProbeAddress, pattern(16)));
    QCOMPARE(wallet_->flashAt(kProbeAddress, 16), QByteArray(16, '\xFF'));
    QCOMPARE(checkCrc(kProbeAddress, QByteArray(16, '\xFF')), ReplyOutcome::Refusal);
    QVERIFY(hid_send_data(device_, CMD_FINISH, 0, nullptr));
    QCOMPARE(wallet_->mode(), sim::Mode::Bootloader);
    QCOMPARE(wallet_->firmwareUpdates(), 0);
    // Authentication alone is not enough to write: the flash must be erased first.
    authenticate();
    QVERIFY(writeBlock(kProbeAddress, pattern(16)));
    QCOMPARE(wallet_->flashAt(kProbeAddress, 16), QByteArray(16, '\xFF'));
}

void TestSimWallet::crcFindsCorruptedBlock_data()
{
    QTest::addColumn<int>("flipAt");
    QTest::addColumn<QVector<bool>>("blocksOk");
    // Reports: 1 auth, 2 erase, then five per full block.
    QTest::newRow("clean") << 0 << QVector<bool> {true, true, true};
    QTest::newRow("first block, first report") << 3 << QVector<bool> {false, true, true};
    QTest::newRow("second block, third report") << 10 << QVector<bool> {true, false, true};
    QTest::newRow("third block, fourth report") << 16 << QVector<bool> {true, true, false};
    // The last report of a full block carries 14 bytes: byte 32 is padding, the
    // frame is malformed, and nothing verifies after it.
    QTest::newRow("third block, padding") << 17 << QVector<bool> {false, false, false};
}

void TestSimWallet::crcFindsCorruptedBlock()
{
    QFETCH(int, flipAt);
    QFETCH(QVector<bool>, blocksOk);
    sim::Faults faults;
    faults.flip_bit_at = flipAt;
    QVERIFY(bootloader(faults));
    authenticate();
    QCOMPARE(erase(), ReplyOutcome::Success);
    const int data_size = FULL_BLOCK_SIZE - BLOCK_HEADER;
    const QByteArray image = pattern(3 * data_size, 3);
    for (int i = 0; i < 3; ++i) {
        QVERIFY(writeBlock(sim::kAppBase + unsigned(i * data_size), image.mid(i * data_size, data_size)));
    }
    const bool all_ok = !blocksOk.contains(false);
    QCOMPARE(checkCrc(sim::kAppBase, image), all_ok ? ReplyOutcome::Success : ReplyOutcome::Refusal);
    for (int i = 0; i < 3; ++i) {
        const unsigned int at = sim::kAppBase + unsigned(i * data_size);
        QCOMPARE(checkCrc(at, image.mid(i * data_size, data_size)),
                 blocksOk[i] ? ReplyOutcome::Success : ReplyOutcome::Refusal);
    }
    QCOMPARE(wallet_->flashAt(sim::kAppBase, unsigned(image.size())) == image, all_ok);
}

void TestSimWallet::writeRefusals_data()
{
    QTest::addColumn<unsigned int>("address");
    QTest::addColumn<int>("size");
    QTest::newRow("overlaps last byte") << kProbeAddress + 31 << 16;
    QTest::newRow("overlaps first byte") << kProbeAddress - 15 << 16;
    QTest::newRow("same place") << kProbeAddress << 32;
    QTest::newRow("bootloader region") << sim::kAppBase - 16 << 16;
    QTest::newRow("straddles the bootloader") << sim::kAppBase - 1 << 16;
    QTest::newRow("past the end") << sim::kFlashBase + sim::kFlashSize << 16;
    QTest::newRow("crosses the end") << sim::kFlashBase + sim::kFlashSize - 8 << 16;
    QTest::newRow("below flash") << 0x00004000u << 16;
}

void TestSimWallet::writeRefusals()
{
    QFETCH(unsigned int, address);
    QFETCH(int, size);
    QVERIFY(bootloader());
    authenticate();
    QCOMPARE(erase(), ReplyOutcome::Success);
    const QByteArray first = pattern(32, 1);
    QVERIFY(writeBlock(kProbeAddress, first));
    QVERIFY(!wallet_->refusedSinceErase());

    const QByteArray flash_before = wallet_->flash();
    QVERIFY(writeBlock(address, QByteArray(size, '\0')));
    QVERIFY(wallet_->refusedSinceErase());
    QCOMPARE(wallet_->flash(), flash_before);
    QCOMPARE(drop_pending_input(device_), 0);
    QCOMPARE(checkCrc(kProbeAddress, first), ReplyOutcome::Refusal);
}

void TestSimWallet::applicationFrames_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("interfaceNumber");
    QTest::addColumn<bool>("reboots");
    const QByteArray goto_rom = first_report(CMD_GOTO_ROM, 0, QByteArray());
    QTest::newRow("goto rom") << goto_rom << 0 << true;
    QTest::newRow("goto rom on interface 1") << goto_rom << 1 << false;
    QByteArray padded = goto_rom;
    padded[20] = 0x01;
    QTest::newRow("goto rom with padding") << padded << 0 << false;
    QByteArray no_marker = goto_rom;
    no_marker[8] = 0x00;
    QTest::newRow("goto rom without marker") << no_marker << 0 << false;
    QTest::newRow("erase") << first_report(CMD_ERASE, 6, QByteArray(6, '\x01')) << 0 << false;
}

void TestSimWallet::applicationFrames()
{
    QFETCH(QByteArray, report);
    QFETCH(int, interfaceNumber);
    QFETCH(bool, reboots);
    wallet_ = &sim::Bus::instance().attachWallet();
    hid_device_info* list = hid_enumerate(VENDOR_ID, sim::kAppProductId);
    hid_device_info* chosen = list;
    while (chosen != nullptr && chosen->interface_number != interfaceNumber) {
        chosen = chosen->next;
    }
    QVERIFY(chosen != nullptr);
    hid_device* device = hid_open_path(chosen->path);
    hid_free_enumeration(list);
    QVERIFY(device != nullptr);
    opened_.push_back(device);

    QCOMPARE(write_report(device, report), REPORT_BUFFER_SIZE);
    QCOMPARE(wallet_->mode(), reboots ? sim::Mode::Bootloader : sim::Mode::Application);
    QCOMPARE(wallet_->commandCount(static_cast<unsigned char>(report[3])), interfaceNumber == 0 ? 1 : 0);
    QCOMPARE(write_report(device, report), reboots ? -1 : REPORT_BUFFER_SIZE);
}

void TestSimWallet::gotoRomReboots()
{
    wallet_ = &sim::Bus::instance().attachWallet();
    hid_device* app = openFirst(sim::kAppProductId);
    QVERIFY(app != nullptr);
    QVERIFY(hid_send_data(app, CMD_GOTO_ROM, 0, nullptr));

    unsigned char buffer[REPORT_BUFFER_SIZE] = {};
    QCOMPARE(hid_write(app, buffer, sizeof buffer), -1);
    QCOMPARE(hid_read_timeout(app, buffer, sizeof buffer, 100), -1);
    QCOMPARE(hid_enumerate(VENDOR_ID, sim::kAppProductId), nullptr);

    hid_device_info* list = hid_enumerate(VENDOR_ID, 0);
    QCOMPARE(count(list), 1);
    QCOMPARE(list->product_id, BOOTLOADER_PRODUCT_ID);
    QCOMPARE(list->interface_number, 0);
    QCOMPARE(QString::fromWCharArray(list->product_string), QStringLiteral("Korvex N1 Bootloader"));
    QVERIFY(!path_of(list).contains(QLatin1String(APP_INTERFACE_TAG)));
    QVERIFY(!path_of(list).contains(QLatin1String(EXCLUDED_INTERFACE_TAG)));
    QCOMPARE(wallet_->paths(), std::vector<QString> {path_of(list)});
    hid_free_enumeration(list);
    QCOMPARE(wallet_->mode(), sim::Mode::Bootloader);
    QCOMPARE(wallet_->commandCount(CMD_GOTO_ROM), 1);

    // Once there, CMD_GOTO_ROM changes nothing.
    device_ = openFirst(BOOTLOADER_PRODUCT_ID);
    QVERIFY(device_ != nullptr);
    QVERIFY(hid_send_data(device_, CMD_GOTO_ROM, 0, nullptr));
    QCOMPARE(wallet_->commandCount(CMD_GOTO_ROM), 2);
    QCOMPARE(hid_write(device_, buffer, sizeof buffer), REPORT_BUFFER_SIZE);
}

void TestSimWallet::rebootTakesItsTime()
{
    sim::WalletConfig config;
    config.faults.reboot_ms = 30;
    wallet_ = &sim::Bus::instance().attachWallet(config);
    hid_device* app = openFirst(sim::kAppProductId);
    QVERIFY(app != nullptr);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(hid_send_data(app, CMD_GOTO_ROM, 0, nullptr));
    QCOMPARE(hid_enumerate(VENDOR_ID, 0), nullptr);
    QCOMPARE(wallet_->mode(), sim::Mode::Unplugged);
    QTRY_VERIFY_WITH_TIMEOUT(openFirst(BOOTLOADER_PRODUCT_ID) != nullptr, 2000);
    QVERIFY(timer.elapsed() >= 30);
    QCOMPARE(wallet_->mode(), sim::Mode::Bootloader);
}

void TestSimWallet::noBootloader()
{
    sim::WalletConfig config;
    config.faults.no_bootloader = true;
    wallet_ = &sim::Bus::instance().attachWallet(config);
    hid_device* app = openFirst(sim::kAppProductId);
    QVERIFY(hid_send_data(app, CMD_GOTO_ROM, 0, nullptr));
    QCOMPARE(hid_enumerate(0, 0), nullptr);
    QCOMPARE(wallet_->mode(), sim::Mode::Unplugged);
    QVERIFY(wallet_->paths().empty());
}

void TestSimWallet::finishRestartsIntoApplication()
{
    sim::WalletConfig config;
    config.firmware = QByteArray(100, '\x11');
    wallet_ = &sim::Bus::instance().attachWallet(config);
    QCOMPARE(wallet_->firmware(), config.firmware);
    QCOMPARE(wallet_->flashAt(sim::kAppBase, 100), config.firmware);
    hid_device* app = openFirst(sim::kAppProductId);
    QVERIFY(hid_send_data(app, CMD_GOTO_ROM, 0, nullptr));
    device_ = openFirst(BOOTLOADER_PRODUCT_ID);
    QVERIFY(device_ != nullptr);

    authenticate();
    QCOMPARE(erase(), ReplyOutcome::Success);
    // An image whose last byte is not 0xFF, in two segments with a gap.
    QByteArray low = pattern(500, 4);
    QByteArray high = pattern(300, 6);
    high[high.size() - 1] = 0x00;
    for (int at = 0; at < low.size(); at += 240) {
        QVERIFY(writeBlock(sim::kAppBase + unsigned(at), low.mid(at, 240)));
    }
    for (int at = 0; at < high.size(); at += 240) {
        QVERIFY(writeBlock(sim::kAppBase + 0x1000 + unsigned(at), high.mid(at, 240)));
    }
    QCOMPARE(checkCrc(sim::kAppBase, low), ReplyOutcome::Success);
    QCOMPARE(checkCrc(sim::kAppBase + 0x1000, high), ReplyOutcome::Success);
    QVERIFY(hid_send_data(device_, CMD_FINISH, 0, nullptr));

    unsigned char buffer[REPORT_BUFFER_SIZE] = {};
    QCOMPARE(hid_write(device_, buffer, sizeof buffer), -1);
    QCOMPARE(wallet_->mode(), sim::Mode::Application);
    QCOMPARE(wallet_->firmwareUpdates(), 1);
    QByteArray expected = low + QByteArray(0x1000 - low.size(), '\xFF') + high;
    QCOMPARE(wallet_->firmware(), expected);
    hid_device_info* list = hid_enumerate(VENDOR_ID, sim::kAppProductId);
    QCOMPARE(count(list), 2);
    hid_free_enumeration(list);
    QVERIFY(wallet_->errors().empty());
}

void TestSimWallet::finishRefused_data()
{
    QTest::addColumn<QString>("mishap");
    QTest::newRow("no check") << "no check";
    QTest::newRow("failed check") << "failed check";
    QTest::newRow("check refused by fault") << "refuse crc";
    QTest::newRow("refused write") << "refused write";
    QTest::newRow("not authenticated") << "no auth";
}

void TestSimWallet::finishRefused()
{
    QFETCH(QString, mishap);
    sim::Faults faults;
    if (mishap == QLatin1String("refuse crc")) {
        faults.refuse_crc = 1;
    }
    QVERIFY(bootloader(faults));
    authenticate();
    QCOMPARE(erase(), ReplyOutcome::Success);
    const QByteArray data = pattern(64);
    QVERIFY(writeBlock(sim::kAppBase, data));
    if (mishap == QLatin1String("refused write")) {
        QVERIFY(writeBlock(sim::kAppBase, data));
    }
    if (mishap != QLatin1String("no check")) {
        const bool fails = mishap == QLatin1String("failed check") || mishap == QLatin1String("refused write");
        QCOMPARE(checkCrc(sim::kAppBase, fails ? pattern(64, 2) : data),
                 fails ? ReplyOutcome::Refusal : ReplyOutcome::Success);
        if (mishap == QLatin1String("refuse crc")) {
            QCOMPARE(checkCrc(sim::kAppBase, data), ReplyOutcome::Refusal);
        }
    }
    if (mishap == QLatin1String("no auth")) {
        QCOMPARE(checkCrc(sim::kAppBase, data), ReplyOutcome::Success);
        authenticate();
        unsigned char payload[AUTH_PAYLOAD_SIZE];
        build_auth_payload(kNonce, payload);
        payload[0] ^= 1;
        QVERIFY(hid_send_data(device_, CMD_AUTH, AUTH_PAYLOAD_SIZE, payload));
    }
    const std::size_t errors = wallet_->errors().size();
    QVERIFY(hid_send_data(device_, CMD_FINISH, 0, nullptr));
    QCOMPARE(wallet_->mode(), sim::Mode::Bootloader);
    QCOMPARE(wallet_->firmwareUpdates(), 0);
    QCOMPARE(wallet_->errors().size(), errors + 1);
    unsigned char buffer[REPORT_BUFFER_SIZE] = {};
    QCOMPARE(hid_write(device_, buffer, sizeof buffer), REPORT_BUFFER_SIZE);
}

void TestSimWallet::writeFaults_data()
{
    QTest::addColumn<int>("unplugAfter");
    QTest::addColumn<int>("writeErrorAt");
    QTest::addColumn<QVector<int>>("results");
    QTest::addColumn<int>("received");
    QTest::addColumn<bool>("present");
    const int ok = REPORT_BUFFER_SIZE;
    QTest::newRow("none") << 0 << 0 << QVector<int> {ok, ok, ok, ok} << 4 << true;
    QTest::newRow("unplug after 2") << 2 << 0 << QVector<int> {ok, ok, -1, -1} << 2 << false;
    QTest::newRow("unplug after 1") << 1 << 0 << QVector<int> {ok, -1, -1, -1} << 1 << false;
    QTest::newRow("write error at 2") << 0 << 2 << QVector<int> {ok, -1, ok, ok} << 3 << true;
    QTest::newRow("write error at 4") << 0 << 4 << QVector<int> {ok, ok, ok, -1} << 3 << true;
}

void TestSimWallet::writeFaults()
{
    QFETCH(int, unplugAfter);
    QFETCH(int, writeErrorAt);
    QFETCH(QVector<int>, results);
    QFETCH(int, received);
    QFETCH(bool, present);
    sim::WalletConfig config;
    config.faults.unplug_after = unplugAfter;
    config.faults.write_error_at = writeErrorAt;
    wallet_ = &sim::Bus::instance().attachWallet(config);
    // Reports count across both interfaces.
    hid_device_info* list = hid_enumerate(VENDOR_ID, 0);
    QCOMPARE(count(list), 2);
    hid_device* first = hid_open_path(list->path);
    hid_device* second = hid_open_path(list->next->path);
    hid_free_enumeration(list);
    opened_ = {first, second};

    QVector<int> got;
    unsigned char report[REPORT_BUFFER_SIZE] = {};
    for (int i = 0; i < results.size(); ++i) {
        got << hid_write(i % 2 == 0 ? first : second, report, sizeof report);
    }
    QCOMPARE(got, results);
    QCOMPARE(wallet_->reportsReceived(), received);
    QCOMPARE(sim::Bus::instance().trace().size(), std::size_t(results.size()));
    list = hid_enumerate(VENDOR_ID, 0);
    QCOMPARE(list != nullptr, present);
    hid_free_enumeration(list);
    QCOMPARE(wallet_->mode(), present ? sim::Mode::Application : sim::Mode::Unplugged);
    unsigned char input[REPORT_BUFFER_SIZE];
    QCOMPARE(hid_read_timeout(first, input, sizeof input, 0), present ? 0 : -1);
}

void TestSimWallet::replyFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("eraseReply");
    QTest::addColumn<int>("crcReply");
    QTest::newRow("none") << "" << int(ReplyOutcome::Success) << int(ReplyOutcome::Success);
    QTest::newRow("no erase reply") << "no-erase-reply" << int(ReplyOutcome::NoReply) << int(ReplyOutcome::Success);
    QTest::newRow("no crc reply") << "no-crc-reply" << int(ReplyOutcome::Success) << int(ReplyOutcome::NoReply);
    QTest::newRow("refuse first crc") << "refuse-crc=0" << int(ReplyOutcome::Success) << int(ReplyOutcome::Refusal);
    QTest::newRow("refuse second crc") << "refuse-crc=1" << int(ReplyOutcome::Success) << int(ReplyOutcome::Success);
}

void TestSimWallet::replyFaults()
{
    QFETCH(QString, fault);
    QFETCH(int, eraseReply);
    QFETCH(int, crcReply);
    sim::WalletConfig config;
    QString error;
    QVERIFY(fault.isEmpty() || sim::applyFault(fault, &config, &error));
    QVERIFY(bootloader(config.faults));
    authenticate();
    QCOMPARE(int(erase()), eraseReply);
    QVERIFY(wallet_->erased()); // the erase happened even when unanswered
    const QByteArray data = pattern(48);
    QVERIFY(writeBlock(sim::kAppBase, data));
    QCOMPARE(int(checkCrc(sim::kAppBase, data)), crcReply);
}

void TestSimWallet::strayReportWaitsAtStart()
{
    sim::Faults faults;
    faults.stray_report = true;
    QVERIFY(bootloader(faults));
    // A host that reads first would take it for a success.
    QCOMPARE(read_reply(device_, REPORT_BUFFER_SIZE, 0), ReplyOutcome::Success);
    QCOMPARE(drop_pending_input(device_), 0);

    sim::Bus::instance().reset();
    QVERIFY(bootloader(faults));
    QCOMPARE(drop_pending_input(device_), 1);
    QCOMPARE(erase(), ReplyOutcome::Refusal); // the reply read is the erase's own
}

void TestSimWallet::enumeration_data()
{
    QTest::addColumn<int>("style");
    QTest::newRow("macos") << int(sim::PathStyle::MacOS);
    QTest::newRow("linux") << int(sim::PathStyle::Linux);
}

void TestSimWallet::enumeration()
{
    QFETCH(int, style);
    const bool mac = style == int(sim::PathStyle::MacOS);
    sim::WalletConfig config;
    config.path_style = sim::PathStyle(style);
    config.serial = QStringLiteral("TS1");
    sim::Bus::instance().attachWallet(config);
    config.serial = QStringLiteral("TS2");
    sim::Bus::instance().attachWallet(config);

    hid_device_info* list = hid_enumerate(0, 0);
    QCOMPARE(count(list), 4);
    QStringList paths;
    int index = 0;
    for (hid_device_info* info = list; info != nullptr; info = info->next, ++index) {
        const QString path = path_of(info);
        paths << path;
        QCOMPARE(info->vendor_id, VENDOR_ID);
        QCOMPARE(info->product_id, sim::kAppProductId);
        QCOMPARE(info->interface_number, index % 2);
        QCOMPARE(QString::fromWCharArray(info->serial_number),
                 index < 2 ? QStringLiteral("TS1") : QStringLiteral("TS2"));
        QCOMPARE(QString::fromWCharArray(info->product_string), QString::fromLatin1(APP_PRODUCT_STRING));
        QCOMPARE(QString::fromWCharArray(info->manufacturer_string), QStringLiteral("Tessaro"));
        QCOMPARE(info->usage_page, static_cast<unsigned short>(0xFF00));
        QCOMPARE(info->bus_type, HID_API_BUS_USB);
        if (mac) {
            QVERIFY(path.startsWith(QLatin1String("IOService:/")));
            QCOMPARE(path.contains(QLatin1String(APP_INTERFACE_TAG)), index % 2 == 0);
            QCOMPARE(path.contains(QLatin1String(EXCLUDED_INTERFACE_TAG)), index % 2 == 1);
        } else {
            QCOMPARE(path, QStringLiteral("/dev/hidraw%1").arg(index));
        }
    }
    hid_free_enumeration(list);
    QCOMPARE(paths.removeDuplicates(), 0);
    QCOMPARE(hid_enumerate(VENDOR_ID, BOOTLOADER_PRODUCT_ID), nullptr);
    QCOMPARE(hid_enumerate(0x1234, 0), nullptr);

    // The bootloader gets a path of its own.
    hid_device* app = openFirst(sim::kAppProductId);
    QVERIFY(hid_send_data(app, CMD_GOTO_ROM, 0, nullptr));
    list = hid_enumerate(0, BOOTLOADER_PRODUCT_ID);
    QCOMPARE(count(list), 1);
    QVERIFY(!paths.contains(path_of(list)));
    if (!mac) {
        QCOMPARE(path_of(list), QStringLiteral("/dev/hidraw4"));
    }
    hid_free_enumeration(list);
}

void TestSimWallet::openBySerial()
{
    sim::WalletConfig config;
    config.serial = QStringLiteral("TS1");
    sim::Bus::instance().attachWallet(config);
    config.serial = QStringLiteral("TS2");
    sim::Bus::instance().attachWallet(config);

    wchar_t text[32];
    hid_device* any = hid_open(VENDOR_ID, sim::kAppProductId, nullptr);
    QVERIFY(any != nullptr);
    opened_.push_back(any);
    QCOMPARE(hid_get_serial_number_string(any, text, 32), 0);
    QCOMPARE(QString::fromWCharArray(text), QStringLiteral("TS1"));
    QCOMPARE(hid_get_device_info(any)->interface_number, 0);

    hid_device* second = hid_open(VENDOR_ID, sim::kAppProductId, L"TS2");
    QVERIFY(second != nullptr);
    opened_.push_back(second);
    QCOMPARE(hid_get_serial_number_string(second, text, 32), 0);
    QCOMPARE(QString::fromWCharArray(text), QStringLiteral("TS2"));
    QCOMPARE(hid_get_product_string(second, text, 4), 0); // truncated, still terminated
    QCOMPARE(QString::fromWCharArray(text), QStringLiteral("Kor"));
    QCOMPARE(hid_get_manufacturer_string(second, text, 32), 0);
    QCOMPARE(QString::fromWCharArray(text), QStringLiteral("Tessaro"));

    QCOMPARE(hid_open(VENDOR_ID, sim::kAppProductId, L"TS3"), nullptr);
    QCOMPARE(sim::Bus::instance().openHandles(), 2);
}

void TestSimWallet::openDenied()
{
    sim::WalletConfig config;
    config.faults.open_denied = true;
    sim::Bus::instance().attachWallet(config);
    hid_device_info* list = hid_enumerate(VENDOR_ID, 0);
    QCOMPARE(count(list), 2); // visible, just not openable
    QCOMPARE(hid_open_path(list->path), nullptr);
    hid_free_enumeration(list);
    QVERIFY(QString::fromWCharArray(hid_error(nullptr)).contains(QLatin1String("Permission denied")));
    QCOMPARE(hid_open(VENDOR_ID, 0, nullptr), nullptr);
    QCOMPARE(sim::Bus::instance().openHandles(), 0);
}

void TestSimWallet::replyDelay()
{
    sim::Faults faults;
    faults.reply_delay_ms = 40;
    QVERIFY(bootloader(faults));
    authenticate();
    unsigned char payload[ERASE_PAYLOAD_SIZE];
    build_erase_payload(payload);

    // Not ready within the timeout: nothing, at once, and the reply stays queued.
    QElapsedTimer timer;
    timer.start();
    QVERIFY(hid_send_data(device_, CMD_ERASE, ERASE_PAYLOAD_SIZE, payload));
    QCOMPARE(read_reply(device_, REPORT_BUFFER_SIZE, 5), ReplyOutcome::NoReply);
    QVERIFY(timer.elapsed() < 30);
    // Ready within the timeout: the read waits for it.
    QCOMPARE(read_reply(device_, REPORT_BUFFER_SIZE, 1000), ReplyOutcome::Success);
    QVERIFY(timer.elapsed() >= 40);

    // hid_read has no timeout and waits too; a short buffer gets what fits.
    QVERIFY(hid_send_data(device_, CMD_ERASE, ERASE_PAYLOAD_SIZE, payload));
    unsigned char reply[REPORT_BUFFER_SIZE] = {};
    QCOMPARE(hid_read(device_, reply, 9), 9);
    QCOMPARE(reply[2], CMD_ERASE);
    QCOMPARE(reply[7], static_cast<unsigned char>(0x90));
    QCOMPARE(reply[8], static_cast<unsigned char>(0x00));

    // With nothing queued even the updater's long timeout returns at once.
    timer.restart();
    QCOMPARE(read_reply(device_), ReplyOutcome::NoReply);
    QVERIFY(timer.elapsed() < 1000);
}

void TestSimWallet::traceFile()
{
    sim::WalletConfig config;
    config.faults.flip_bit_at = 1;
    sim::Bus::instance().attachWallet(config);
    hid_device* app = openFirst(sim::kAppProductId);
    const QByteArray block = write_payload(0x08004000, pattern(100));
    QVERIFY(send(app, CMD_WRITE, block));
    QVERIFY(hid_send_data(app, CMD_GOTO_ROM, 0, nullptr));

    const QByteArray wire = first_report(CMD_WRITE, block.size(), block.left(FIRST_REPORT_PAYLOAD))
        + continuation_report(CMD_WRITE, 1, block.mid(FIRST_REPORT_PAYLOAD))
        + first_report(CMD_GOTO_ROM, 0, QByteArray());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trace.bin"));
    QVERIFY(sim::Bus::instance().writeTrace(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    // What the host wrote, not what the flipped bit made of it on the way.
    QCOMPARE(file.readAll(), wire);

    sim::Bus::instance().setTraceEnabled(false);
    unsigned char report[REPORT_BUFFER_SIZE] = {};
    hid_write(app, report, sizeof report);
    QCOMPARE(sim::Bus::instance().trace().size(), std::size_t(3));
}

void TestSimWallet::initAndHandles()
{
    QCOMPARE(hid_init(), 0);
    QCOMPARE(sim::Bus::instance().initCount(), 1);
    QCOMPARE(hid_exit(), 0);
    QCOMPARE(sim::Bus::instance().initCount(), 0);
    QVERIFY(QString::fromLatin1(hid_version_str()).startsWith(QString::number(hid_version()->major)));

    sim::Wallet& wallet = sim::Bus::instance().attachWallet();
    hid_device* device = hid_open(VENDOR_ID, 0, nullptr);
    QVERIFY(device != nullptr);
    QCOMPARE(sim::Bus::instance().openHandles(), 1);
    sim::Bus::instance().unplug(wallet);
    unsigned char buffer[REPORT_BUFFER_SIZE] = {};
    QCOMPARE(hid_write(device, buffer, sizeof buffer), -1);
    QVERIFY(!QString::fromWCharArray(hid_error(device)).isEmpty());
    hid_close(device); // still closable once the wallet is gone
    QCOMPARE(sim::Bus::instance().openHandles(), 0);

    sim::Bus::instance().attachWallet();
    sim::Bus::instance().setInitFails(true);
    QCOMPARE(hid_init(), -1);
    QCOMPARE(hid_enumerate(0, 0), nullptr);
    QCOMPARE(hid_open(VENDOR_ID, 0, nullptr), nullptr);
    sim::Bus::instance().setInitFails(false);
    hid_device_info* list = hid_enumerate(0, 0);
    QCOMPARE(count(list), 2);
    hid_free_enumeration(list);
}

void TestSimWallet::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("none") << QStringList() << true;
    QTest::newRow("faults") << QStringList {"--fault", "unplug-after=7", "--fault", "no-crc-reply"} << true;
    QTest::newRow("linux paths") << QStringList {"--path-style", "linux", "--link-us", "0"} << true;
    QTest::newRow("unknown fault") << QStringList {"--fault", "melt"} << false;
    QTest::newRow("fault without number") << QStringList {"--fault", "unplug-after"} << false;
    QTest::newRow("fault with bad number") << QStringList {"--fault", "reboot-ms=soon"} << false;
    QTest::newRow("flag with value") << QStringList {"--fault", "open-denied=1"} << false;
    QTest::newRow("bad path style") << QStringList {"--path-style", "windows"} << false;
    QTest::newRow("bad link interval") << QStringList {"--link-us", "-5"} << false;
}

void TestSimWallet::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, accepted);
    QCommandLineParser parser;
    sim::addOptions(parser);
    QVERIFY(parser.parse(QStringList {"tool"} + arguments));
    QString error;
    QCOMPARE(sim::applyOptions(parser, &error), accepted);
    QCOMPARE(error.isEmpty(), accepted);
    QCOMPARE(sim::Bus::instance().walletCount(), accepted ? 1 : 0);
    if (!accepted) {
        return;
    }
    sim::Wallet& wallet = sim::Bus::instance().wallet(0);
    QCOMPARE(wallet.mode(), sim::Mode::Application);
    if (arguments.contains(QStringLiteral("unplug-after=7"))) {
        QCOMPARE(wallet.faults().unplug_after, 7);
        QVERIFY(wallet.faults().no_crc_reply);
    }
    if (arguments.contains(QStringLiteral("linux"))) {
        QCOMPARE(wallet.paths().front(), QStringLiteral("/dev/hidraw0"));
    }
}

QTEST_GUILESS_MAIN(TestSimWallet)
#include "TestSimWallet.moc"
