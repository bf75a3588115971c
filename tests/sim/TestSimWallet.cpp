#include "image/Checksums.h"
#include "protocol/Framing.h"
#include "sim/SimBus.h"
#include "sim/SimOptions.h"

#include <QElapsedTimer>
#include <QtTest>

#include <algorithm>
#include <thread>

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
    void comingsAndGoings_data();
    void comingsAndGoings();
    void walletsInParallel_data();
    void walletsInParallel();

private:
    hid_device* keep(hid_device* device);

    sim::Bus& bus_ = sim::Bus::instance();
    std::vector<hid_device*> opened_;
};

namespace {

// Never 0xFF, so the last byte written is where an image ends.
QByteArray pattern(int size, int seed)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i) {
        data[i] = char((i * 7 + seed) % 255);
    }
    return data;
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
    QCOMPARE(bus_.openHandles(), 0);
    bus_.reset();
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
    const auto row = [](const char* name, const char* faults, const char* steps) {
        QTest::newRow(name) << QString::fromLatin1(faults) << QString::fromLatin1(steps);
    };
    // Payloads of 5, 55, 56, 57, 114, 115 and 244 bytes: at, before and after report boundaries.
    row("writes of every framing", "",
        "auth erase:ok write:0+1 write:40+51 write:80+52 write:C0+53 write:100+110 write:180+111 write:200+240 "
        "crc:0+752:ok clean");
    row("not authenticated", "", "erase:refused write:0+16:lost crc:0+16:refused");
    row("wrong digest byte", "", "auth:7 erase:refused");
    row("not erased", "", "auth write:0+16:lost crc:0+16:refused");
    row("erase clears refusals", "", "auth erase:ok write:-10+16:lost erase:ok write:0+16 crc:0+16:ok finish:app");
    row("write into the bootloader", "", "auth erase:ok write:-1+16:lost");
    row("write across the end", "", "auth erase:ok write:FBFF8+16:lost");
    row("write over written bytes", "", "auth erase:ok write:10+32 write:1+16:lost crc:10+32:refused");
    row("finish without check", "", "auth erase:ok write:0+64 finish:stays");
    row("failed check", "", "auth erase:ok write:0+64 badcrc:0+64:refused crc:0+64:ok finish:stays");
    // The last report of a full block carries 14 bytes: byte 32 is padding, so the frame is malformed.
    row("bit flipped in padding", "flip-bit-at=7", "auth erase:ok write:0+240:lost crc:0+240:refused");
    // A reply not due within a read's timeout stays queued; one due within it is waited for.
    row("reply delay", "reply-delay-ms=20", "auth erase:ok erase read:none tick:20 read:ok");
    // Pulled out at its time on the bus's clock, in the middle of whatever it does.
    row("pulled at its time", "pull-ms=1000", "auth erase:ok tick:500 erase:ok tick:500 gone");
    row("pulled with a reply waiting", "pull-ms=1000", "auth erase:ok erase tick:1000 gone");
}

// A bootloader session, step by step, each "command[:argument][:expected]"; A+N
// are N bytes from the application's start + A (hexadecimal). A step ending in
// ok, refused or none then reads a reply and expects that outcome.
//   auth[:byte]            CMD_AUTH, with that payload byte corrupted
//   erase[:R]              CMD_ERASE; alone it reads nothing
//   crc:A+N:R              CMD_CHECK_CRC with the CRC over what the host wrote there
//   badcrc:A+N:R           the same with a wrong CRC
//   write:A+N[:lost]       CMD_WRITE; lost: refused, nothing stored, nothing verifies
//   finish:app|stays       CMD_FINISH, after which the wallet runs the image or stays
//   read:R, tick:T         a reply read without waiting; the bus's clock moves on T ms
//   clean                  no errors recorded
//   gone                   the wallet has left the bus: its handle fails, nothing is listed
void TestSimWallet::bootloaderSessions()
{
    QFETCH(QString, faults);
    QFETCH(QString, steps);
    sim::WalletConfig config;
    config.mode = sim::Mode::Bootloader;
    config.firmware = QByteArray(0x2000, '\x11'); // an old image, which an erase removes
    QString error; // a fault as the -sim executables' --fault option takes it
    QVERIFY(faults.isEmpty() || sim::applyFault(faults, &config, &error));
    sim::Wallet& wallet = bus_.attachWallet(config);
    hid_device* device = keep(hid_open(VENDOR_ID, BOOTLOADER_PRODUCT_ID, nullptr));
    QVERIFY(device != nullptr);
    QCOMPARE(wallet.flashAt(sim::kAppBase, 0x2000), config.firmware);
    QElapsedTimer timer;
    timer.start();
    const int app = int(sim::kAppBase - sim::kFlashBase);
    QByteArray host(int(sim::kFlashSize), '\xFF'); // the flash as the host wrote it
    int end = app;
    const QMap<QString, ReplyOutcome> replies {
        {"ok", ReplyOutcome::Success}, {"refused", ReplyOutcome::Refusal}, {"none", ReplyOutcome::NoReply}};
    for (const QString& step : steps.split(' ')) {
        const QStringList part = step.split(':');
        const QString what = part[0];
        const QStringList range = part.value(1).split('+');
        const int offset = app + range[0].toInt(nullptr, 16);
        const unsigned int at = sim::kFlashBase + unsigned(offset);
        const int size = range.value(1).toInt();
        const QByteArray before = wallet.flash();
        if (what == "auth") {
            const unsigned char nonce[AUTH_NONCE_SIZE] = {0x3A, 0x00, 0xC5, 0x7E};
            unsigned char payload[AUTH_PAYLOAD_SIZE];
            build_auth_payload(nonce, payload);
            if (part.size() > 1) {
                payload[part[1].toInt()] ^= 0x40;
            }
            QVERIFY(hid_send_data(device, CMD_AUTH, AUTH_PAYLOAD_SIZE, payload));
        } else if (what == "erase") {
            unsigned char payload[ERASE_PAYLOAD_SIZE];
            build_erase_payload(payload);
            QVERIFY(hid_send_data(device, CMD_ERASE, ERASE_PAYLOAD_SIZE, payload));
        } else if (what == "write") {
            QByteArray payload(BLOCK_HEADER, '\0');
            put_u32_le(reinterpret_cast<unsigned char*>(payload.data()), at);
            payload += pattern(size, offset);
            QVERIFY(hid_send_data(device, CMD_WRITE, payload.size(),
                                  reinterpret_cast<const unsigned char*>(payload.constData())));
            if (part.value(2) == "lost") {
                QVERIFY2(wallet.flash() == before && wallet.refusedSinceErase() && !wallet.errors().empty(),
                         qPrintable(step));
            } else {
                host.replace(offset, size, payload.mid(BLOCK_HEADER));
                end = qMax(end, offset + size);
            }
        } else if (what.endsWith("crc")) {
            QByteArray data = host.mid(offset, size);
            const unsigned short crc = CRC16_X25(reinterpret_cast<unsigned char*>(data.data()), unsigned(size));
            QVERIFY(send_crc_data(device, at, unsigned(size), crc ^ (what == "badcrc" ? 1 : 0)));
        } else if (what == "finish") {
            QVERIFY(hid_send_data(device, CMD_FINISH, 0, nullptr));
            const bool restarted = part[1] == "app";
            QCOMPARE(wallet.mode(), restarted ? sim::Mode::Application : sim::Mode::Bootloader);
            QCOMPARE(wallet.firmware(), restarted ? host.mid(app, end - app) : config.firmware);
            unsigned char buffer[REPORT_BUFFER_SIZE]; // a restarted wallet's bootloader handle fails
            QCOMPARE(hid_read_timeout(device, buffer, sizeof buffer, 0), restarted ? -1 : 0);
        } else if (what == "tick") {
            bus_.advanceTime(part[1].toInt());
        } else if (what == "clean") {
            QCOMPARE(wallet.errors(), std::vector<QString>());
        } else if (what == "gone") {
            unsigned char buffer[REPORT_BUFFER_SIZE] = {};
            QCOMPARE(hid_read_timeout(device, buffer, sizeof buffer, REPLY_TIMEOUT_MS), -1);
            QCOMPARE(hid_write(device, buffer, sizeof buffer), -1);
            QCOMPARE(wallet.mode(), sim::Mode::Unplugged);
            QVERIFY(enumerated(0, 0).isEmpty());
        } else if (what != "read") {
            QFAIL(qPrintable(step));
        }
        if (part.size() > 1 && replies.contains(part.last())) {
            const int timeout = what == "read" ? 0 : REPLY_TIMEOUT_MS;
            unsigned char reply[REPORT_BUFFER_SIZE] = {};
            const int got = hid_read_timeout(device, reply, sizeof reply, timeout);
            QCOMPARE(reply_outcome(got, reply), replies[part.last()]);
        }
    }
    QCOMPARE(drop_pending_input(device), 0); // no reply besides those read
    QVERIFY(timer.elapsed() < 1000); // a read with nothing queued returns at once
}

void TestSimWallet::applicationWrites_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<int>("interface");
    QTest::addColumn<sim::Mode>("mode"); // in the end
    const QByteArray goto_rom = QByteArray::fromHex("00 11 00 C1 00 00 00 00 C3").leftJustified(REPORT_BUFFER_SIZE, 0);
    QByteArray padded = goto_rom;
    padded[20] = 0x01;
    QTest::newRow("goto rom") << goto_rom << 0 << sim::Mode::Bootloader;
    QTest::newRow("goto rom on interface 1") << goto_rom << 1 << sim::Mode::Application;
    QTest::newRow("goto rom with padding") << padded << 0 << sim::Mode::Application;
}

// The application knows CMD_GOTO_ROM only, byte for byte and on interface 0.
void TestSimWallet::applicationWrites()
{
    QFETCH(QByteArray, report);
    QFETCH(int, interface);
    QFETCH(sim::Mode, mode);
    sim::Wallet& wallet = bus_.attachWallet();
    hid_device* handles[2]
        = {keep(hid_open_path(qPrintable(wallet.paths()[0]))), keep(hid_open_path(qPrintable(wallet.paths()[1])))};
    QCOMPARE(hid_write(handles[interface], reinterpret_cast<const unsigned char*>(report.constData()),
                       std::size_t(report.size())),
             REPORT_BUFFER_SIZE);
    unsigned char buffer[REPORT_BUFFER_SIZE];
    QCOMPARE(hid_read_timeout(handles[0], buffer, sizeof buffer, 0), mode == sim::Mode::Application ? 0 : -1);
    QCOMPARE(wallet.mode(), mode);
    QCOMPARE(enumerated(0, 0).size(), mode == sim::Mode::Application ? 2 : 1);
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
        bus_.attachWallet(config);
    }
    const QString app = QStringLiteral("4b71:0810 #%1 ff00:1 r0100 bus1 TS%2/Tessaro/Korvex N1 ");
    QCOMPARE(enumerated(0, 0),
             (QStringList {app.arg(0).arg(1) + paths[0], app.arg(1).arg(1) + paths[1], app.arg(0).arg(2) + paths[2],
                           app.arg(1).arg(2) + paths[3]}));
    QVERIFY(enumerated(VENDOR_ID, BOOTLOADER_PRODUCT_ID).isEmpty());

    QVERIFY(hid_send_data(keep(hid_open(VENDOR_ID, 0, nullptr)), CMD_GOTO_ROM, 0, nullptr));
    QCOMPARE(enumerated(0, BOOTLOADER_PRODUCT_ID),
             QStringList {"4b71:0820 #0 ff00:1 r0100 bus1 TS1/Tessaro/Korvex N1 Bootloader " + paths[4]});
    QCOMPARE(bus_.wallet(0).paths(), std::vector<QString> {paths[4]});
}

void TestSimWallet::comingsAndGoings_data()
{
    QTest::addColumn<QStringList>("faults"); // per wallet, --fault values joined by commas
    QTest::addColumn<QString>("steps");
    QTest::newRow("plugged in one after another, pulled later")
        << QStringList {"plug-in-ms=1000,pull-ms=5000", "plug-in-ms=2000,pull-ms=6000"}
        << "0= 500= 1000=1a 2000=1a2a 4500=1a2a 5000=2a 6000=";
    QTest::newRow("restarted, then pulled")
        << QStringList {"reboot-ms=500,pull-ms=1000", ""} << "0=1a2a goto1 0=2a 500=1b2a 1000=2a";
    QTest::newRow("pulled while restarting")
        << QStringList {"reboot-ms=2000,pull-ms=1000", ""} << "goto1 1000=2a 3000=2a";
    QTest::newRow("pulled before it was plugged in")
        << QStringList {"plug-in-ms=2000,pull-ms=1000", ""} << "0=2a 3000=2a";
}

// A station's bench on the bus's clock, each step "T=L", the wallets listed T
// ms after they were attached (L: each listed wallet's number and its mode, a
// or b), or "gotoK", CMD_GOTO_ROM to wallet K. A step before a wallet's time
// keeps hundreds of ms from it: real time passes too.
void TestSimWallet::comingsAndGoings()
{
    QFETCH(QStringList, faults);
    QFETCH(QString, steps);
    for (int i = 0; i < faults.size(); ++i) {
        sim::WalletConfig config;
        config.serial = QStringLiteral("TS%1").arg(i + 1);
        QString error;
        for (const QString& fault : faults[i].split(',', Qt::SkipEmptyParts)) {
            QVERIFY2(sim::applyFault(fault, &config, &error), qPrintable(error));
        }
        bus_.attachWallet(config);
    }
    int now_ms = 0;
    for (const QString& step : steps.split(' ')) {
        if (step.startsWith("goto")) {
            const int index = step.mid(4).toInt() - 1;
            hid_device* device = keep(hid_open_path(qPrintable(bus_.wallet(index).paths()[0])));
            QVERIFY(hid_send_data(device, CMD_GOTO_ROM, 0, nullptr));
            continue;
        }
        const int at = step.section('=', 0, 0).toInt();
        bus_.advanceTime(at - now_ms);
        now_ms = at;
        QString listed;
        hid_device_info* list = hid_enumerate(VENDOR_ID, 0);
        for (const hid_device_info* info = list; info != nullptr; info = info->next) {
            if (info->interface_number == 0) {
                listed += QString::fromWCharArray(info->serial_number).mid(2)
                    + (info->product_id == BOOTLOADER_PRODUCT_ID ? 'b' : 'a');
            }
        }
        hid_free_enumeration(list);
        QCOMPARE(listed, step.section('=', 1));
    }
}

void TestSimWallet::walletsInParallel_data()
{
    QTest::addColumn<int>("wallets");
    QTest::addColumn<int>("link_us");
    QTest::newRow("unpaced") << 4 << 0;
    QTest::newRow("each on its own paced link") << 4 << 200;
}

// Several threads, each with its own handle on its own wallet, enumerate, open
// and update at once; each wallet must get exactly its own reports, in order:
// a report of another thread's in between would break a frame or a CRC.
void TestSimWallet::walletsInParallel()
{
    QFETCH(int, wallets);
    QFETCH(int, link_us);
    bus_.setLinkIntervalUs(link_us);
    sim::WalletConfig config;
    config.mode = sim::Mode::Bootloader;
    std::vector<QByteArray> images;
    for (int i = 0; i < wallets; ++i) {
        config.serial = QStringLiteral("TS%1").arg(i + 1);
        bus_.attachWallet(config);
        images.push_back(pattern(12 * 240, i + 1));
    }
    std::vector<QString> failures(std::size_t(wallets), QStringLiteral("did not run"));
    const auto update = [&](int index) {
        QString& failure = failures[std::size_t(index)];
        // The others may be anywhere in their update, but this one is in its bootloader.
        const QString serial = QStringLiteral(" TS%1/").arg(index + 1);
        const QStringList listed = enumerated(VENDOR_ID, BOOTLOADER_PRODUCT_ID);
        if (std::count_if(listed.begin(), listed.end(), [&](const QString& line) { return line.contains(serial); })
            != 1) {
            failure = QStringLiteral("enumeration");
            return;
        }
        hid_device* device = hid_open_path(qPrintable(bus_.wallet(index).paths()[0]));
        if (device == nullptr) {
            failure = QStringLiteral("open");
            return;
        }
        const QByteArray& image = images[std::size_t(index)];
        const unsigned char nonce[AUTH_NONCE_SIZE] = {0x3A, 0x00, 0xC5, static_cast<unsigned char>(index)};
        unsigned char auth[AUTH_PAYLOAD_SIZE];
        build_auth_payload(nonce, auth);
        unsigned char erase[ERASE_PAYLOAD_SIZE];
        build_erase_payload(erase);
        bool ok = hid_send_data(device, CMD_AUTH, AUTH_PAYLOAD_SIZE, auth)
            && hid_send_data(device, CMD_ERASE, ERASE_PAYLOAD_SIZE, erase)
            && read_reply(device, CMD_ERASE) == ReplyOutcome::Success;
        for (int at = 0; ok && at < image.size(); at += 240) {
            QByteArray block(BLOCK_HEADER, '\0');
            put_u32_le(reinterpret_cast<unsigned char*>(block.data()), sim::kAppBase + unsigned(at));
            block += image.mid(at, 240);
            ok = hid_send_data(device, CMD_WRITE, block.size(),
                               reinterpret_cast<const unsigned char*>(block.constData()));
        }
        QByteArray data = image;
        const unsigned short crc = CRC16_X25(reinterpret_cast<unsigned char*>(data.data()), unsigned(data.size()));
        ok = ok && send_crc_data(device, sim::kAppBase, unsigned(data.size()), crc)
            && read_reply(device, CMD_CHECK_CRC) == ReplyOutcome::Success
            && hid_send_data(device, CMD_FINISH, 0, nullptr);
        hid_close(device);
        failure = ok ? QString() : QStringLiteral("exchange");
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < wallets; ++i) {
        threads.emplace_back(update, i);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::size_t reports = 0;
    for (int i = 0; i < wallets; ++i) {
        sim::Wallet& wallet = bus_.wallet(i);
        QVERIFY2(failures[std::size_t(i)].isEmpty(), qPrintable(failures[std::size_t(i)]));
        QCOMPARE(wallet.errors(), std::vector<QString>());
        QCOMPARE(wallet.firmwareUpdates(), 1);
        QCOMPARE(wallet.firmware(), images[std::size_t(i)]);
        QCOMPARE(wallet.reportsReceived(), bus_.wallet(0).reportsReceived());
        reports += std::size_t(wallet.reportsReceived());
    }
    QCOMPARE(bus_.trace().size(), reports); // every report written reached its own wallet
}

QTEST_GUILESS_MAIN(TestSimWallet)
#include "TestSimWallet.moc"
