#include "image/Checksums.h"
#include "protocol/Framing.h"
#include "sim/SimBus.h"
#include "sim/SimOptions.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(sim::Mode)
Q_DECLARE_METATYPE(sim::PathStyle)

// The simulated wallet seen from the host: only through hidapi's C API and
// the updater's own framing, as the real device would be.
class TestSimWallet : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void bootloaderSessions_data();
    void bootloaderSessions();
    void applicationWrites_data();
    void applicationWrites();
    void enumeration_data();
    void enumeration();
    void handles();
    void options_data();
    void options();

private:
    hid_device* keep(hid_device* device);

    std::vector<hid_device*> opened_;
};

namespace {

sim::Bus& bus()
{
    return sim::Bus::instance();
}

// Never 0xFF, so the last byte written is where an image ends.
QByteArray pattern(int size, int seed)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i) {
        data[i] = char((i * 7 + seed) % 255);
    }
    return data;
}

QByteArray write_payload(unsigned int address, const QByteArray& data)
{
    QByteArray payload(BLOCK_HEADER, '\0');
    put_u32_le(reinterpret_cast<unsigned char*>(payload.data()), address);
    return payload + data;
}

// A command's reports as the bootloader expects them, built from the wire
// layout on their own rather than by the updater's framing.
QByteArrayList frames(unsigned char code, const QByteArray& payload)
{
    QByteArrayList reports;
    int at = 0;
    for (int sequence = 0; sequence == 0 || at < payload.size(); ++sequence) {
        QByteArray report(REPORT_BUFFER_SIZE, '\0');
        report[1] = char(FRAME_TAG);
        report[3] = char(code);
        report[5] = char(sequence);
        report[7] = char(sequence == 0 ? payload.size() : 0);
        const int start = sequence == 0 ? 8 : 6;
        const QByteArray carried = payload.mid(at, REPORT_BUFFER_SIZE - 1 - start);
        report.replace(start, carried.size(), carried);
        report[start + carried.size()] = char(FRAME_END);
        reports << report;
        at += carried.size();
    }
    return reports;
}

int write_report(hid_device* device, const QByteArray& report)
{
    return hid_write(device, reinterpret_cast<const unsigned char*>(report.constData()), size_t(report.size()));
}

// One line per enumeration entry, with every field the updater could look at.
QString describe(const hid_device_info* info)
{
    return QString::asprintf("%04x:%04x #%d %04x:%d r%04x bus%d ", info->vendor_id, info->product_id,
                             info->interface_number, info->usage_page, info->usage, info->release_number,
                             int(info->bus_type))
        + QString::fromWCharArray(info->serial_number) + '/' + QString::fromWCharArray(info->manufacturer_string) + '/'
        + QString::fromWCharArray(info->product_string) + ' ' + QString::fromUtf8(info->path);
}

QStringList enumerated(unsigned short vendor_id, unsigned short product_id)
{
    hid_device_info* list = hid_enumerate(vendor_id, product_id);
    QStringList lines;
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        lines << describe(info);
    }
    hid_free_enumeration(list);
    return lines;
}

} // namespace

void TestSimWallet::cleanup()
{
    for (hid_device* device : opened_) {
        hid_close(device);
    }
    opened_.clear();
    QCOMPARE(bus().openHandles(), 0);
    bus().reset();
}

// Kept open until cleanup().
hid_device* TestSimWallet::keep(hid_device* device)
{
    if (device != nullptr) {
        opened_.push_back(device);
    }
    return device;
}

void TestSimWallet::bootloaderSessions_data()
{
    QTest::addColumn<QString>("faults"); // one --fault value
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QByteArrayList>("reports"); // for the step "raw"
    const auto row = [](const char* name, const char* faults, const char* steps, const QByteArrayList& raw = {}) {
        QTest::newRow(name) << QString::fromLatin1(faults) << QString::fromLatin1(steps) << raw;
    };
    row("update in two segments", "",
        "auth erase:ok goto write:0+240 write:F0+240 write:1E0+20 write:1000+240 write:10F0+60 crc:0+500:ok "
        "crc:1000+300:ok finish:app clean");
    // Payloads of 5, 55, 56, 57, 114, 115 and 244 bytes: at, before and after report boundaries.
    row("writes of every framing", "",
        "auth erase:ok write:0+1 write:40+51 write:80+52 write:C0+53 write:100+110 write:180+111 write:200+240 "
        "crc:0+752:ok clean");
    row("not authenticated", "", "erase:refused write:0+16:lost crc:0+16:refused finish:stays");
    row("wrong digest byte", "", "auth:7 erase:refused");
    row("wrong nonce byte", "", "auth:11 erase:refused");
    row("not erased", "", "auth write:0+16:lost crc:0+16:refused");
    row("erase clears refusals", "", "auth erase:ok write:-10+16:lost erase:ok write:0+16 crc:0+16:ok finish:app");
    row("write into the bootloader", "", "auth erase:ok write:-1+16:lost");
    row("write past the end", "", "auth erase:ok write:FC000+16:lost");
    row("write across the end", "", "auth erase:ok write:FBFF8+16:lost");
    row("write over written bytes", "", "auth erase:ok write:10+32 write:1+16:lost crc:10+32:refused finish:stays");
    row("finish without check", "", "auth erase:ok write:0+64 finish:stays");
    row("failed check", "", "auth erase:ok write:0+64 badcrc:0+64:refused crc:0+64:ok finish:stays");
    row("authentication lost", "", "auth erase:ok write:0+64 crc:0+64:ok auth:0 finish:stays");
    row("refuse second crc", "refuse-crc=1", "auth erase:ok write:0+64 crc:0+32:ok crc:20+32:refused finish:stays");
    row("no erase reply", "no-erase-reply", "auth erase:none write:0+48 crc:0+48:ok");
    row("no crc reply", "no-crc-reply", "auth erase:ok write:0+48 crc:0+48:none");
    // Reports: 1 auth, 2 erase, then five per full block.
    row("bit flipped in the second block", "flip-bit-at=10",
        "auth erase:ok write:0+240 write:F0+240 write:1E0+240 crc:0+720:refused crc:0+240:ok crc:F0+240:refused "
        "crc:1E0+240:ok");
    // The last report of a full block carries 14 bytes: byte 32 is padding, so the frame is malformed.
    row("bit flipped in padding", "flip-bit-at=7", "auth erase:ok write:0+240:malformed crc:0+240:refused");
    // A host that reads first would take the stray report for a success.
    row("stray report read", "stray-report", "read:ok read:none");
    row("stray report dropped", "stray-report", "drop:1 erase:refused");
    // A reply not due within a read's timeout stays queued; one due within it is waited for.
    row("reply delay", "reply-delay-ms=20",
        "auth erase read:none tick:20 read:ok erase:ok nonblocking erase:none tick:20 read:ok");

    // Malformed: refused without a reply; the next command is understood, but nothing verifies.
    const char* malformed = "auth erase:ok write:1000+32 crc:1000+32:ok raw:0 write:2000+32 crc:2000+32:refused";
    const QByteArrayList good = frames(CMD_WRITE, write_payload(0x08008000, pattern(100, 0)));
    const auto edit = [&good](int report, int byte, char value) {
        QByteArrayList reports = good;
        reports[report][byte] = value;
        return reports;
    };
    row("report number", "", malformed, edit(0, 0, 0x01));
    row("tag", "", malformed, edit(0, 1, 0x12));
    row("byte 2", "", malformed, edit(0, 2, 0x01));
    row("byte 4 of continuation", "", malformed, edit(1, 4, 0x01));
    row("byte 6 of first", "", malformed, edit(0, 6, 0x01));
    row("sequence 2 for 1", "", malformed, edit(1, 5, 0x02));
    row("code changes", "", malformed, edit(1, 3, char(CMD_CHECK_CRC)));
    row("marker missing in first", "", malformed, edit(0, 64, 0x00));
    row("last padding byte", "", malformed, edit(1, 64, 0x01));
    QByteArrayList late = edit(1, 6 + 48, 0x00);
    late[1][6 + 49] = char(FRAME_END);
    row("marker one late", "", malformed, late);
    // Says the payload ends in the first report, but the marker sits at 64.
    row("length byte too short", "", malformed, edit(0, 7, 50));
    row("first report twice", "", malformed, {good[0], good[0], good[1]});
    row("continuation alone", "", malformed, {good[1]});
    // Well framed, but with a payload length wrong for the command: counted, and refused as above.
    const char* sized = "auth erase:ok write:1000+32 crc:1000+32:ok raw:1 write:2000+32 crc:2000+32:refused";
    const auto payload = [](unsigned char code, int length) {
        return frames(code, write_payload(0x08008000, pattern(length - 4, 0)));
    };
    unsigned char erase[ERASE_PAYLOAD_SIZE + 1] = {};
    build_erase_payload(erase);
    row("auth 13", "", sized, payload(CMD_AUTH, 13));
    row("erase 7", "", sized, frames(CMD_ERASE, QByteArray(reinterpret_cast<char*>(erase), sizeof erase)));
    row("crc 9", "", sized, payload(CMD_CHECK_CRC, 9));
    row("write without data", "", sized, payload(CMD_WRITE, 4));
    row("write 245", "", sized, payload(CMD_WRITE, 245));
    row("finish with 4 bytes", "", sized, payload(CMD_FINISH, 4));
    row("erase elsewhere", "", "auth erase:ok write:0+16 raw:1 read:refused crc:0+16:refused",
        frames(CMD_ERASE, write_payload(0x00008000, QByteArray("\xC0\x03", 2))));
}

// A bootloader session, step by step, each "command[:argument][:expected]"; A+N
// are N bytes from the application's start + A (hexadecimal):
//   auth[:byte]            CMD_AUTH, with that payload byte corrupted
//   erase[:R], crc:A+N:R   the command and its reply R (ok, refused or none; erase
//                          alone reads none); the CRC over what the host wrote there
//   badcrc:A+N:R           the same with a wrong CRC
//   write:A+N[:lost]       CMD_WRITE; lost: refused, nothing stored, nothing verifies
//   write:A+N:malformed    the same, and not counted as a command
//   raw:K                  the row's reports, lost as above, counted as K commands
//   finish:app|stays       CMD_FINISH, after which the wallet runs the image or stays
//   goto                   CMD_GOTO_ROM, which the bootloader ignores
//   read:R, drop:K         a reply read without waiting; K waiting reports dropped
//   tick:T, nonblocking    the bus's clock moves on T ms; reads no longer wait
//   clean                  no errors recorded
void TestSimWallet::bootloaderSessions()
{
    QFETCH(QString, faults);
    QFETCH(QString, steps);
    QFETCH(QByteArrayList, reports);
    sim::WalletConfig config;
    config.mode = sim::Mode::Bootloader;
    config.firmware = QByteArray(0x2000, '\x11'); // an old image, which an erase removes
    QString error; // a fault as the -sim executables' --fault option takes it
    QVERIFY(faults.isEmpty() || sim::applyFault(faults, &config, &error));
    sim::Wallet& wallet = bus().attachWallet(config);
    hid_device* device = keep(hid_open(VENDOR_ID, BOOTLOADER_PRODUCT_ID, nullptr));
    QVERIFY(device != nullptr);
    QCOMPARE(wallet.flashAt(sim::kAppBase, 0x2000), config.firmware);
    QElapsedTimer timer;
    timer.start();
    const int app = int(sim::kAppBase - sim::kFlashBase);
    QByteArray host(int(sim::kFlashSize), '\xFF'); // the flash as the host wrote it
    int end = app;
    std::map<unsigned char, int> sent;
    const QMap<QString, ReplyOutcome> replies {
        {"ok", ReplyOutcome::Success}, {"refused", ReplyOutcome::Refusal}, {"none", ReplyOutcome::NoReply}};
    for (const QString& step : steps.split(' ')) {
        const QStringList part = step.split(':');
        const QString what = part[0];
        const ReplyOutcome reply = replies.value(part.last(), ReplyOutcome(-1));
        const QStringList range = part.value(1).split('+');
        const int offset = app + range[0].toInt(nullptr, 16);
        const unsigned int at = sim::kFlashBase + unsigned(offset);
        const int size = range.value(1).toInt();
        const QByteArray before = wallet.flash();
        const auto lost
            = [&] { return wallet.flash() == before && wallet.refusedSinceErase() && !wallet.errors().empty(); };
        if (what == "auth") {
            const unsigned char nonce[AUTH_NONCE_SIZE] = {0x3A, 0x00, 0xC5, 0x7E};
            unsigned char payload[AUTH_PAYLOAD_SIZE];
            build_auth_payload(nonce, payload);
            if (part.size() > 1) {
                payload[part[1].toInt()] ^= 0x40;
            }
            QVERIFY(hid_send_data(device, CMD_AUTH, AUTH_PAYLOAD_SIZE, payload));
            ++sent[CMD_AUTH];
        } else if (what == "erase") {
            unsigned char payload[ERASE_PAYLOAD_SIZE];
            build_erase_payload(payload);
            QVERIFY(hid_send_data(device, CMD_ERASE, ERASE_PAYLOAD_SIZE, payload));
            if (part.size() > 1) {
                QCOMPARE(read_reply(device), reply);
            }
            ++sent[CMD_ERASE];
        } else if (what == "write") {
            const QByteArray payload = write_payload(at, pattern(size, offset));
            QVERIFY(hid_send_data(device, CMD_WRITE, payload.size(),
                                  reinterpret_cast<const unsigned char*>(payload.data())));
            sent[CMD_WRITE] += part.value(2) == "malformed" ? 0 : 1;
            if (part.size() > 2) {
                QVERIFY2(lost(), qPrintable(step));
            } else {
                host.replace(offset, size, payload.mid(BLOCK_HEADER));
                end = qMax(end, offset + size);
            }
        } else if (what == "raw") {
            for (const QByteArray& report : reports) {
                QCOMPARE(write_report(device, report), REPORT_BUFFER_SIZE);
            }
            QVERIFY2(lost(), qPrintable(step));
            sent[static_cast<unsigned char>(reports[0][3])] += part[1].toInt();
        } else if (what.endsWith("crc")) {
            QByteArray data = host.mid(offset, size);
            const unsigned short crc = CRC16_X25(reinterpret_cast<unsigned char*>(data.data()), unsigned(size));
            QVERIFY(send_crc_data(device, at, unsigned(size), crc ^ (what == "badcrc" ? 1 : 0)));
            QCOMPARE(read_reply(device), reply);
            ++sent[CMD_CHECK_CRC];
        } else if (what == "finish") {
            const std::size_t errors = wallet.errors().size();
            QVERIFY(hid_send_data(device, CMD_FINISH, 0, nullptr));
            ++sent[CMD_FINISH];
            const bool restarted = part.last() == "app";
            unsigned char buffer[REPORT_BUFFER_SIZE];
            QCOMPARE(hid_read_timeout(device, buffer, sizeof buffer, 0), restarted ? -1 : 0);
            QCOMPARE(wallet.mode(), restarted ? sim::Mode::Application : sim::Mode::Bootloader);
            QCOMPARE(wallet.firmwareUpdates(), restarted ? 1 : 0);
            QCOMPARE(wallet.errors().size(), errors + (restarted ? 0 : 1));
            QCOMPARE(enumerated(VENDOR_ID, sim::kAppProductId).size(), restarted ? 2 : 0);
            QCOMPARE(wallet.firmware(), restarted ? host.mid(app, end - app) : QByteArray(0x2000, '\x11'));
        } else if (what == "goto") {
            QVERIFY(hid_send_data(device, CMD_GOTO_ROM, 0, nullptr));
            ++sent[CMD_GOTO_ROM];
        } else if (what == "read") { // into a short buffer, which gets what fits
            unsigned char buffer[REPORT_BUFFER_SIZE] = {};
            const int got = hid_read_timeout(device, buffer, 9, 0);
            QCOMPARE(got, reply == ReplyOutcome::NoReply ? 0 : 9);
            QCOMPARE(reply_outcome(got, buffer), reply);
            QCOMPARE(buffer[9], static_cast<unsigned char>(0));
        } else if (what == "tick") {
            bus().advanceTime(part[1].toInt());
        } else if (what == "nonblocking") {
            QCOMPARE(hid_set_nonblocking(device, 1), 0);
        } else if (what == "drop") {
            QCOMPARE(drop_pending_input(device), part[1].toInt());
        } else if (what == "clean") {
            QCOMPARE(wallet.errors(), std::vector<QString>());
        } else {
            QFAIL(qPrintable(step));
        }
    }
    QCOMPARE(drop_pending_input(device), 0); // no reply besides those read
    QVERIFY(timer.elapsed() < 1000); // a read with nothing queued returns at once
    for (const auto& [code, count] : sent) {
        QCOMPARE(wallet.commandCount(code), count);
    }
}

void TestSimWallet::applicationWrites_data()
{
    QTest::addColumn<QString>("faults"); // one --fault value
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QVector<int>>("interfaces"); // one write each
    QTest::addColumn<QVector<int>>("results");
    QTest::addColumn<int>("rebootMs");
    QTest::addColumn<sim::Mode>("mode"); // in the end
    const QByteArray goto_rom = frames(CMD_GOTO_ROM, QByteArray()).front();
    QByteArray padded = goto_rom;
    padded[20] = 0x01;
    const QByteArray erase = frames(CMD_ERASE, QByteArray(6, '\x01')).front(), zeros(REPORT_BUFFER_SIZE, '\0');
    const int ok = REPORT_BUFFER_SIZE;
    const auto row = [](const char* name, const char* faults, const QByteArray& report, QVector<int> interfaces,
                        QVector<int> results, int reboot_ms, sim::Mode mode) {
        QTest::newRow(name) << QString::fromLatin1(faults) << report << interfaces << results << reboot_ms << mode;
    };
    row("goto rom", "", goto_rom, {0}, {ok}, 0, sim::Mode::Bootloader);
    row("goto rom, slow reboot", "reboot-ms=9000", goto_rom, {0}, {ok}, 9000, sim::Mode::Bootloader);
    row("goto rom, no bootloader", "no-bootloader", goto_rom, {0}, {ok}, 0, sim::Mode::Unplugged);
    row("goto rom on interface 1", "", goto_rom, {1}, {ok}, 0, sim::Mode::Application);
    row("goto rom with padding", "", padded, {0}, {ok}, 0, sim::Mode::Application);
    // Byte 32 is padding: the wallet gets a padded frame, the trace keeps what the host wrote.
    row("goto rom, bit flipped", "flip-bit-at=1", goto_rom, {0}, {ok}, 0, sim::Mode::Application);
    row("erase", "", erase, {0}, {ok}, 0, sim::Mode::Application);
    // Reports count across both interfaces.
    row("unplug after 2", "unplug-after=2", zeros, {0, 1, 0, 1}, {ok, ok, -1, -1}, 0, sim::Mode::Unplugged);
    row("write error at 2", "write-error-at=2", zeros, {0, 1, 0, 1}, {ok, -1, ok, ok}, 0, sim::Mode::Application);
}

// The application knows CMD_GOTO_ROM only, byte for byte and on interface 0.
void TestSimWallet::applicationWrites()
{
    QFETCH(QString, faults);
    QFETCH(QByteArray, report);
    QFETCH(QVector<int>, interfaces);
    QFETCH(QVector<int>, results);
    QFETCH(int, rebootMs);
    QFETCH(sim::Mode, mode);
    sim::WalletConfig config;
    QString error;
    QVERIFY(faults.isEmpty() || sim::applyFault(faults, &config, &error));
    sim::Wallet& wallet = bus().attachWallet(config);
    hid_device* handles[2]
        = {keep(hid_open_path(qPrintable(wallet.paths()[0]))), keep(hid_open_path(qPrintable(wallet.paths()[1])))};
    QVector<int> got;
    for (int interface_number : interfaces) {
        got << write_report(handles[interface_number], report);
    }
    QCOMPARE(got, results);
    QCOMPARE(wallet.reportsReceived(), int(results.count(REPORT_BUFFER_SIZE)));
    QCOMPARE(wallet.commandCount(static_cast<unsigned char>(report[3])), report[1] && interfaces[0] == 0 ? 1 : 0);
    // Every report handed to hid_write, whether it arrived or not.
    QTemporaryDir dir;
    QVERIFY(bus().writeTrace(dir.filePath("trace")));
    QFile trace(dir.filePath("trace"));
    QVERIFY(trace.open(QIODevice::ReadOnly));
    QCOMPARE(trace.readAll(), report.repeated(results.size()));

    unsigned char buffer[REPORT_BUFFER_SIZE];
    QCOMPARE(hid_read_timeout(handles[0], buffer, sizeof buffer, 0), mode == sim::Mode::Application ? 0 : -1);
    if (rebootMs > 0) { // off the bus while it reboots, on the bus's clock
        bus().advanceTime(rebootMs - 1000);
        QCOMPARE(wallet.mode(), sim::Mode::Unplugged);
        QVERIFY(enumerated(0, 0).isEmpty());
        bus().advanceTime(1000);
    }
    bus().advanceTime(mode == sim::Mode::Unplugged ? 60000 : 0);
    QCOMPARE(wallet.mode(), mode);
    const int listed = mode == sim::Mode::Application ? 2 : mode == sim::Mode::Bootloader ? 1 : 0;
    QCOMPARE(enumerated(0, 0).size(), listed);
    QCOMPARE(int(wallet.paths().size()), listed);
}

void TestSimWallet::enumeration_data()
{
    QTest::addColumn<sim::PathStyle>("style");
    QTest::addColumn<QStringList>("paths"); // wallet 1's two, wallet 2's two, then wallet 1's bootloader
    const auto mac = [](int k, const char* device) {
        return QString::asprintf("IOService:/AppleACPIPlatformExpert/PCI0@0/AppleACPIPCI/XHC1@14/XHC1@14000000/"
                                 "HS0%d@14%d00000/",
                                 k, k)
            + QString::asprintf(device, k) + QStringLiteral("/AppleUSBHostHIDDevice");
    };
    QTest::newRow("macos") << sim::PathStyle::MacOS
                           << QStringList {
                                  mac(1, "Korvex N1@14%d00000/Korvex N1@0"), mac(1, "Korvex N1@14%d00000/Smart@1"),
                                  mac(2, "Korvex N1@14%d00000/Korvex N1@0"), mac(2, "Korvex N1@14%d00000/Smart@1"),
                                  mac(1, "Korvex N1 Bootloader@14%d00000/IOUSBHostInterface@0")};
    QTest::newRow("linux") << sim::PathStyle::Linux
                           << QStringList {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2", "/dev/hidraw3",
                                           "/dev/hidraw4"};
}

void TestSimWallet::enumeration()
{
    QFETCH(sim::PathStyle, style);
    QFETCH(QStringList, paths);
    sim::WalletConfig config;
    config.path_style = style;
    for (const char* serial : {"TS1", "TS2"}) {
        config.serial = QString::fromLatin1(serial);
        bus().attachWallet(config);
    }
    const QString app = QStringLiteral("4b71:0810 #%1 ff00:1 r0100 bus1 TS%2/Tessaro/Korvex N1 ");
    QCOMPARE(enumerated(0, 0),
             (QStringList {app.arg(0).arg(1) + paths[0], app.arg(1).arg(1) + paths[1], app.arg(0).arg(2) + paths[2],
                           app.arg(1).arg(2) + paths[3]}));
    QCOMPARE(enumerated(VENDOR_ID, sim::kAppProductId).size(), 4);
    QVERIFY(enumerated(VENDOR_ID, BOOTLOADER_PRODUCT_ID).isEmpty());
    QVERIFY(enumerated(0x1234, 0).isEmpty());

    QVERIFY(hid_send_data(keep(hid_open(VENDOR_ID, 0, nullptr)), CMD_GOTO_ROM, 0, nullptr));
    QCOMPARE(enumerated(0, BOOTLOADER_PRODUCT_ID),
             QStringList {"4b71:0820 #0 ff00:1 r0100 bus1 TS1/Tessaro/Korvex N1 Bootloader " + paths[4]});
    QCOMPARE(bus().wallet(0).paths(), std::vector<QString> {paths[4]});
}

void TestSimWallet::handles()
{
    QCOMPARE(hid_init(), 0);
    QCOMPARE(bus().initCount(), 1);
    QCOMPARE(hid_exit(), 0);
    QCOMPARE(bus().initCount(), 0);
    bus().setTraceEnabled(false);
    sim::WalletConfig config;
    for (const char* serial : {"TS1", "TS2", "TS3"}) {
        config.serial = QString::fromLatin1(serial);
        config.faults.open_denied = config.serial == QLatin1String("TS3");
        bus().attachWallet(config);
    }
    // Without a serial the first wallet's interface 0.
    hid_device* first = hid_open(VENDOR_ID, sim::kAppProductId, nullptr);
    hid_device* second = hid_open(VENDOR_ID, sim::kAppProductId, L"TS2");
    QVERIFY(first != nullptr && second != nullptr);
    opened_ = {first, second};
    QCOMPARE(describe(hid_get_device_info(first)), enumerated(0, 0).front());
    wchar_t text[32];
    QCOMPARE(hid_get_serial_number_string(second, text, 32), 0);
    QCOMPARE(QString::fromWCharArray(text), QStringLiteral("TS2"));
    QCOMPARE(hid_get_product_string(second, text, 4), 0); // truncated, still terminated
    QCOMPARE(QString::fromWCharArray(text), QStringLiteral("Kor"));
    QCOMPARE(QString::fromWCharArray(hid_error(second)), QStringLiteral("Success"));
    QCOMPARE(hid_open(VENDOR_ID, 0, L"TS4"), nullptr);
    // Denied: listed, but neither way of opening it works.
    QCOMPARE(enumerated(0, 0).size(), 6);
    QCOMPARE(hid_open_path(bus().wallet(2).paths().front().toUtf8().constData()), nullptr);
    QCOMPARE(hid_open(VENDOR_ID, 0, L"TS3"), nullptr);
    QCOMPARE(QString::fromWCharArray(hid_error(nullptr)), QStringLiteral("Permission denied"));
    QCOMPARE(bus().openHandles(), 2);

    // Gone: its handles fail with an error of their own.
    bus().unplug(bus().wallet(1));
    unsigned char buffer[REPORT_BUFFER_SIZE] = {};
    QCOMPARE(hid_write(second, buffer, sizeof buffer), -1);
    QVERIFY(QString::fromWCharArray(hid_error(second)) != QStringLiteral("Success"));
    QCOMPARE(hid_read(first, buffer, sizeof buffer), 0); // nothing queued: no wait
    QCOMPARE(hid_get_feature_report(first, buffer, sizeof buffer), -1); // not supported
    QVERIFY(bus().trace().empty());

    bus().setInitFails(true);
    QCOMPARE(hid_init(), -1);
    QCOMPARE(hid_enumerate(0, 0), nullptr);
    QCOMPARE(hid_open(VENDOR_ID, 0, nullptr), nullptr);
    bus().setInitFails(false);
    // Handles that outlive a reset fail, and cleanup() can still close them.
    bus().reset();
    bus().attachWallet();
    QCOMPARE(hid_write(first, buffer, sizeof buffer), -1);
}

void TestSimWallet::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("accepted") << QStringList {"--path-style", "linux",          "--link-us", "0",
                                              "--fault",      "unplug-after=7", "--fault",   "no-crc-reply"};
    QTest::newRow("unknown fault") << QStringList {"--fault", "melt"};
    QTest::newRow("fault without number") << QStringList {"--fault", "unplug-after"};
    QTest::newRow("fault with bad number") << QStringList {"--fault", "reboot-ms=soon"};
    QTest::newRow("flag with value") << QStringList {"--fault", "open-denied=1"};
    QTest::newRow("bad path style") << QStringList {"--path-style", "windows"};
    QTest::newRow("bad link interval") << QStringList {"--link-us", "-5"};
}

void TestSimWallet::options()
{
    QFETCH(QStringList, arguments);
    const bool accepted = QTest::currentDataTag() == QLatin1String("accepted");
    QCommandLineParser parser;
    sim::addOptions(parser);
    QVERIFY(parser.parse(QStringList {"tool"} + arguments));
    QString error;
    QCOMPARE(sim::applyOptions(parser, &error), accepted);
    QCOMPARE(error.isEmpty(), accepted);
    QCOMPARE(bus().walletCount(), accepted ? 1 : 0);
    if (accepted) {
        sim::Wallet& wallet = bus().wallet(0);
        QCOMPARE(wallet.mode(), sim::Mode::Application);
        QCOMPARE(wallet.faults().unplug_after, 7);
        QVERIFY(wallet.faults().no_crc_reply);
        QCOMPARE(wallet.paths().front(), QStringLiteral("/dev/hidraw0"));
    }
}

QTEST_GUILESS_MAIN(TestSimWallet)
#include "TestSimWallet.moc"
