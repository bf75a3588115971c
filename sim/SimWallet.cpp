#include "sim/SimWallet.h"

#include "sim/Crc16.h"
#include "sim/WireFormat.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

using namespace wire;
using Lock = std::lock_guard<std::recursive_mutex>;

constexpr unsigned int kFlashEnd = kFlashBase + kFlashSize;
static_assert(kAppBase == kFlashBase + kEraseOffset, "the erase starts where the application does");
static_assert(kEraseOffset == kFirstSegmentCrcOffset, "the first CRC check starts where the application does");

const char kMacPrefix[] = "IOService:/AppleACPIPlatformExpert/PCI0@0/AppleACPIPCI/XHC1@14/XHC1@14000000/";

unsigned int u32_at(const QByteArray& payload, int at)
{
    unsigned int value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(payload[at + i]);
    }
    return value;
}

unsigned short u16_at(const QByteArray& payload, int at)
{
    return static_cast<unsigned short>(static_cast<unsigned char>(payload[at])
                                       | static_cast<unsigned char>(payload[at + 1]) << 8);
}

QString hex(unsigned int value, int width = 2)
{
    return QStringLiteral("0x%1").arg(value, width, 16, QLatin1Char('0'));
}

// The one command the application understands, byte for byte.
QByteArray goto_rom_frame()
{
    QByteArray frame(kOutputBufferSize, '\0');
    frame[1] = char(kFrameTag);
    frame[3] = char(kGotoRom);
    frame[8] = char(kFrameEnd);
    return frame;
}

// An input report carrying a command code and its status.
QByteArray status_report(unsigned char code, bool success)
{
    QByteArray data(kInputReportSize, '\0');
    data[0] = char(kFrameTag);
    data[2] = char(code);
    data[6] = 2;
    const unsigned char* status = success ? kStatusSuccess : kStatusRefused;
    data[7] = char(status[0]);
    data[8] = char(status[1]);
    data[9] = char(kFrameEnd);
    return data;
}

} // namespace

SimWallet::SimWallet(std::recursive_mutex& mutex, int location, int* hidraw_counter, const WalletConfig& config)
    : mutex_(mutex)
    , location_(location)
    , hidraw_counter_(hidraw_counter)
    , serial_(config.serial)
    , path_style_(config.path_style)
    , faults_(config.faults)
    , attached_at_(bus_now())
    , flash_(int(kFlashSize), '\xFF')
    , firmware_(config.firmware)
    , written_(kFlashSize, false)
{
    const int room = int(kFlashEnd - kAppBase);
    flash_.replace(int(kAppBase - kFlashBase), qMin(room, firmware_.size()), firmware_.left(room));
    if (config.mode == Mode::Unplugged) {
        mode_ = Mode::Unplugged;
        return;
    }
    if (faults_.plug_in_ms > 0) {
        // Plugged in later, in the mode it was given, as a restart comes back.
        mode_ = Mode::Unplugged;
        arrival_mode_ = config.mode;
        rebooting_ = true;
        reboot_due_ = bus_now() + std::chrono::milliseconds(faults_.plug_in_ms);
        return;
    }
    arrive(config.mode);
}

void SimWallet::settle()
{
    const Clock::time_point now = bus_now();
    const Clock::time_point pulled_at = pulledAt();
    // A restart that would end after the pull never comes back.
    if (rebooting_ && now >= reboot_due_ && reboot_due_ < pulled_at) {
        const Mode mode = arrival_mode_;
        arrival_mode_ = Mode::Bootloader;
        arrive(mode);
    }
    if (!pulled_ && now >= pulled_at) {
        pulled_ = true;
        unplugForGood();
    }
}

Clock::time_point SimWallet::pulledAt() const
{
    return faults_.pull_ms > 0 ? attached_at_ + std::chrono::milliseconds(faults_.pull_ms) : Clock::time_point::max();
}

Clock::time_point SimWallet::takeLinkSlot(std::chrono::microseconds interval)
{
    const Clock::time_point now = Clock::now();
    const Clock::time_point due = link_slot_end_ + interval;
    link_slot_end_ = now < due ? due : now + interval;
    return link_slot_end_;
}

void SimWallet::leaveBus()
{
    on_bus_ = false;
    ++session_;
    interfaces_.clear();
    input_.clear();
}

void SimWallet::arrive(Mode mode)
{
    rebooting_ = false;
    mode_ = mode;
    on_bus_ = true;
    ++session_;
    input_.clear();
    assembler_.reset();
    authenticated_ = false;
    erased_ = false;
    refused_ = false;
    crc_checks_ = crc_passed_ = crc_failed_ = 0;
    assignPaths();
    if (mode == Mode::Bootloader && faults_.stray_report) {
        input_.push_back({status_report(0, true), bus_now()});
    }
}

void SimWallet::assignPaths()
{
    interfaces_.clear();
    const int count = mode_ == Mode::Application ? 2 : 1;
    if (path_style_ == PathStyle::Linux) {
        for (int i = 0; i < count; ++i) {
            interfaces_.push_back({QStringLiteral("/dev/hidraw%1").arg((*hidraw_counter_)++), i});
        }
        return;
    }
    // Each wallet sits on its own root-hub port, so the location differs.
    const QString location = QString::number(0x14000000 + location_ * 0x100000, 16);
    const QString port = QStringLiteral("%1HS%2@%3/")
                             .arg(QLatin1String(kMacPrefix))
                             .arg(location_, 2, 10, QLatin1Char('0'))
                             .arg(location);
    if (mode_ == Mode::Application) {
        const QString device = port + QStringLiteral("%1@%2/").arg(QLatin1String(kAppProductString), location);
        interfaces_.push_back(
            {device + QLatin1String(kAppCommandInterface) + QStringLiteral("/AppleUSBHostHIDDevice"), 0});
        interfaces_.push_back(
            {device + QLatin1String(kAppOtherInterface) + QStringLiteral("/AppleUSBHostHIDDevice"), 1});
    } else {
        interfaces_.push_back({port
                                   + QStringLiteral("%1 Bootloader@%2/IOUSBHostInterface@0/AppleUSBHostHIDDevice")
                                         .arg(QLatin1String(kAppProductString), location),
                               0});
    }
}

void SimWallet::unplugForGood()
{
    rebooting_ = false;
    mode_ = Mode::Unplugged;
    leaveBus();
}

Mode SimWallet::mode() const
{
    Lock lock(mutex_);
    const_cast<SimWallet*>(this)->settle();
    return on_bus_ ? mode_ : Mode::Unplugged;
}

QByteArray SimWallet::flashAt(unsigned int address, unsigned int size) const
{
    Lock lock(mutex_);
    if (address < kFlashBase || address >= kFlashEnd) {
        return QByteArray();
    }
    const unsigned int offset = address - kFlashBase;
    return flash_.mid(int(offset), int(qMin(size, kFlashSize - offset)));
}

QByteArray SimWallet::firmware() const
{
    Lock lock(mutex_);
    return firmware_;
}

int SimWallet::firmwareUpdates() const
{
    Lock lock(mutex_);
    return firmware_updates_;
}

bool SimWallet::authenticated() const
{
    Lock lock(mutex_);
    return authenticated_;
}

bool SimWallet::erased() const
{
    Lock lock(mutex_);
    return erased_;
}

bool SimWallet::refusedSinceErase() const
{
    Lock lock(mutex_);
    return refused_;
}

int SimWallet::commandCount(unsigned char command) const
{
    Lock lock(mutex_);
    const auto it = command_counts_.find(command);
    return it == command_counts_.end() ? 0 : it->second;
}

int SimWallet::reportsReceived() const
{
    Lock lock(mutex_);
    return received_;
}

std::vector<QString> SimWallet::errors() const
{
    Lock lock(mutex_);
    return errors_;
}

std::vector<QString> SimWallet::paths() const
{
    Lock lock(mutex_);
    const_cast<SimWallet*>(this)->settle();
    std::vector<QString> result;
    for (const InterfaceInfo& info : interfaces_) {
        result.push_back(info.path);
    }
    return result;
}

QString SimWallet::listedSerial() const
{
    if (faults_.no_serial) {
        return QString();
    }
    return faults_.bootloader_serial_differs && mode_ == Mode::Bootloader ? serial_ + QStringLiteral("-BL") : serial_;
}

QString SimWallet::port() const
{
    if (path_style_ == PathStyle::Linux) {
        return QStringLiteral("1-%1").arg(location_);
    }
    return QStringLiteral("0x%1").arg(0x14000000 + location_ * 0x100000, 8, 16, QLatin1Char('0'));
}

unsigned short SimWallet::productId() const
{
    return mode_ == Mode::Bootloader ? kBootloaderProductId : kAppProductId;
}

QString SimWallet::productString() const
{
    const QString product = QString::fromLatin1(kAppProductString);
    return mode_ == Mode::Bootloader ? product + QStringLiteral(" Bootloader") : product;
}

bool SimWallet::receive(int interface_number, const unsigned char* data, std::size_t length)
{
    const int number = ++writes_;
    if (faults_.unplug_at == number) {
        unplugForGood();
    }
    if (faults_.write_error_at == number || faults_.unplug_at == number) {
        return false;
    }
    QByteArray report(kOutputBufferSize, '\0');
    std::memcpy(report.data(), data, qMin<std::size_t>(length, kOutputBufferSize));
    if (faults_.flip_bit_at == number) {
        report[32] = char(report[32] ^ 0x01);
    }
    ++received_;
    if (interface_number == 0) {
        if (mode_ == Mode::Application) {
            handleApplicationReport(report);
        } else {
            handleBootloaderReport(report);
        }
    }
    if (faults_.unplug_after > 0 && number >= faults_.unplug_after && mode_ != Mode::Unplugged) {
        unplugForGood();
    }
    return true;
}

void SimWallet::handleApplicationReport(const QByteArray& report)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(report.constData());
    if (bytes[1] == kFrameTag && bytes[5] == 0) {
        ++command_counts_[bytes[3]];
    }
    static const QByteArray goto_rom = goto_rom_frame();
    if (report != goto_rom) {
        return;
    }
    leaveBus();
    if (faults_.no_bootloader) {
        mode_ = Mode::Unplugged;
        return;
    }
    rebooting_ = true;
    reboot_due_ = bus_now() + std::chrono::milliseconds(faults_.reboot_ms);
    if (faults_.reboot_ms <= 0) {
        arrive(Mode::Bootloader);
    }
}

void SimWallet::handleBootloaderReport(const QByteArray& report)
{
    switch (assembler_.feed(reinterpret_cast<const unsigned char*>(report.constData()))) {
    case FrameAssembler::Result::Pending:
        return;
    case FrameAssembler::Result::Malformed:
        refuse(QStringLiteral("malformed frame: ") + assembler_.problem());
        return;
    case FrameAssembler::Result::Complete:
        ++command_counts_[assembler_.code()];
        execute(assembler_.code(), assembler_.payload());
        return;
    }
}

void SimWallet::error(const QString& why)
{
    errors_.push_back(why);
}

void SimWallet::refuse(const QString& why)
{
    error(why);
    refused_ = true;
}

void SimWallet::reply(unsigned char code, bool success)
{
    const Clock::time_point due = bus_now() + std::chrono::milliseconds(faults_.reply_delay_ms);
    if (faults_.stray_before_reply) {
        // A late success for another command: a host that takes the first
        // report for the answer reads a success whatever the wallet said.
        input_.push_back({status_report(code == kErase ? kCheckCrc : kErase, true), due});
    }
    input_.push_back({status_report(code, success), due});
}

void SimWallet::execute(unsigned char code, const QByteArray& payload)
{
    const CommandSize* known = std::find_if(std::begin(kCommandSizes), std::end(kCommandSizes),
                                            [code](const CommandSize& row) { return row.code == code; });
    if (known == std::end(kCommandSizes)) {
        error(QStringLiteral("unknown command %1").arg(hex(code)));
        return;
    }
    const int size = payload.size();
    if (size < known->min || size > known->max) {
        refuse(QStringLiteral("malformed frame: %1 bytes for command %2").arg(size).arg(hex(code)));
        return;
    }
    switch (code) {
    case kAuth:
        doAuth(payload);
        break;
    case kErase:
        doErase(payload);
        break;
    case kWrite:
        doWrite(payload);
        break;
    case kCheckCrc:
        doCheckCrc(payload);
        break;
    case kFinish:
        doFinish();
        break;
    default: // kGotoRom: already in the bootloader
        break;
    }
}

void SimWallet::doAuth(const QByteArray& payload)
{
    const QByteArray nonce = payload.mid(kAuthDigestSize, kAuthNonceSize);
    const QByteArray digest
        = QCryptographicHash::hash(QByteArray(kAuthKey, kAuthKeySize) + nonce, QCryptographicHash::Sha256);
    authenticated_ = digest.left(kAuthDigestSize) == payload.left(kAuthDigestSize);
    if (!authenticated_) {
        error(QStringLiteral("authentication digest does not match"));
    }
}

void SimWallet::doErase(const QByteArray& payload)
{
    bool ok = true;
    if (!authenticated_) {
        refuse(QStringLiteral("erase refused: not authenticated"));
        ok = false;
    } else if (faults_.refuse_erase) {
        refuse(QStringLiteral("erase refused: fault"));
        ok = false;
    } else if (payload != QByteArray(reinterpret_cast<const char*>(kErasePayload), sizeof kErasePayload)) {
        refuse(QStringLiteral("erase refused: offset %1, %2 pages")
                   .arg(hex(u32_at(payload, 0), 8))
                   .arg(u16_at(payload, 4)));
        ok = false;
    }
    if (ok) {
        const int from = int(kEraseOffset);
        const int bytes = int(kErasePages * kPageSize);
        flash_.replace(from, bytes, QByteArray(bytes, '\xFF'));
        std::fill(written_.begin(), written_.end(), false);
        erased_ = true;
        refused_ = false;
        crc_checks_ = crc_passed_ = crc_failed_ = 0;
    }
    if (!faults_.no_erase_reply) {
        reply(kErase, ok);
    }
}

void SimWallet::doWrite(const QByteArray& payload)
{
    const unsigned int address = u32_at(payload, 0);
    const unsigned int size = unsigned(payload.size() - kBlockHeader);
    if (!authenticated_) {
        refuse(QStringLiteral("write refused: not authenticated"));
        return;
    }
    if (!erased_) {
        refuse(QStringLiteral("write refused: flash not erased"));
        return;
    }
    if (address < kAppBase || address >= kFlashEnd || size > kFlashEnd - address) {
        refuse(QStringLiteral("write refused: %1 bytes at %2 outside the application").arg(size).arg(hex(address, 8)));
        return;
    }
    const unsigned int offset = address - kFlashBase;
    for (unsigned int i = 0; i < size; ++i) {
        if (written_[offset + i]) {
            refuse(QStringLiteral("write refused: %1 already written since the erase").arg(hex(address + i, 8)));
            return;
        }
    }
    for (unsigned int i = 0; i < size; ++i) {
        flash_[int(offset + i)] = payload[int(kBlockHeader + i)];
        written_[offset + i] = true;
    }
}

void SimWallet::doCheckCrc(const QByteArray& payload)
{
    const unsigned int address = u32_at(payload, 0);
    const unsigned int size = u32_at(payload, 4);
    const unsigned short expected = u16_at(payload, 8);
    const int index = crc_checks_++;
    bool ok = authenticated_ && erased_ && !refused_;
    if (!ok) {
        error(QStringLiteral("CRC check %1 refused: not authenticated, not erased or refused since erase").arg(index));
    } else if (address < kFlashBase || address >= kFlashEnd || size > kFlashEnd - address) {
        error(QStringLiteral("CRC check %1 refused: %2 bytes at %3 outside flash")
                  .arg(index)
                  .arg(size)
                  .arg(hex(address, 8)));
        ok = false;
    } else {
        const auto* from = reinterpret_cast<const unsigned char*>(flash_.constData()) + (address - kFlashBase);
        const unsigned short actual = crc16_x25(from, size);
        if (actual != expected) {
            error(QStringLiteral("CRC check %1 at %2: flash has %3, host sent %4")
                      .arg(index)
                      .arg(hex(address, 8))
                      .arg(hex(actual, 4))
                      .arg(hex(expected, 4)));
            ok = false;
        } else if (index == faults_.refuse_crc) {
            error(QStringLiteral("CRC check %1 refused by fault").arg(index));
            ok = false;
        }
    }
    ++(ok ? crc_passed_ : crc_failed_);
    if (!faults_.no_crc_reply && index != faults_.no_crc_reply_to) {
        reply(kCheckCrc, ok);
    }
}

void SimWallet::doFinish()
{
    if (!authenticated_ || !erased_ || crc_passed_ == 0 || crc_failed_ > 0 || refused_) {
        refuse(QStringLiteral("finish refused: %1 CRC checks passed, %2 failed%3")
                   .arg(crc_passed_)
                   .arg(crc_failed_)
                   .arg(refused_ ? QStringLiteral(", refusals since erase") : QString()));
        return;
    }
    // The application image runs to the last byte that is not erased flash.
    int end = flash_.size();
    const int app = int(kAppBase - kFlashBase);
    while (end > app && static_cast<unsigned char>(flash_[end - 1]) == 0xFF) {
        --end;
    }
    firmware_ = flash_.mid(app, end - app);
    ++firmware_updates_;
    leaveBus();
    arrive(Mode::Application);
}

} // namespace sim
