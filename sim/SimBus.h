#pragma once

// The simulated HID bus. It implements hidapi's C API (hidapi.h) in-process,
// so the updater's own code runs unchanged against simulated Tessaro wallets.
// Tests and the -sim executables attach wallets, set faults and read back what
// each wallet received; nothing in the updater includes this header.

#include <QByteArray>
#include <QString>

#include <array>
#include <map>
#include <memory>
#include <vector>

namespace sim {

enum class PathStyle { MacOS, Linux };
enum class Mode { Application, Bootloader, Unplugged };

// Faults of a wallet, its cable or its hub. Report numbers count the output
// reports written to this wallet since it was attached, from 1, in both modes.
struct Faults
{
    int unplug_after = 0; // the wallet is gone for good after this many reports (0: never)
    int unplug_at = 0; // the wallet is gone for good as this report is written; the report is lost
    int write_error_at = 0; // hid_write of this report returns -1 and the report is lost
    int flip_bit_at = 0; // this report reaches the wallet with one bit flipped
    bool no_erase_reply = false;
    bool refuse_erase = false; // the erase is refused (and nothing erased)
    bool no_crc_reply = false;
    int no_crc_reply_to = -1; // the CRC check of this segment (0-based, since the erase) gets no reply
    int refuse_crc = -1; // the CRC check of this segment (0-based, since the erase) is refused
    bool no_bootloader = false; // after CMD_GOTO_ROM the wallet never comes back
    int reboot_ms = 0; // time from CMD_GOTO_ROM until the bootloader appears
    int plug_in_ms = 0; // the wallet is plugged in this long after it was attached (0: at once)
    // The wallet is pulled out for good this long after it was attached,
    // whatever it is doing then (0: never).
    int pull_ms = 0;
    bool no_port = false; // the device layer cannot tell the port it is plugged into
    bool no_serial = false; // the enumeration reports no serial number
    bool bootloader_serial_differs = false; // the bootloader reports its serial with "-BL" appended
    bool open_denied = false; // hid_open_path and hid_open fail, as without permission
    // Only the bootloader's node cannot be opened: a udev rule that names the
    // application's product ID alone.
    bool bootloader_open_denied = false;
    bool deniedIn(Mode mode) const { return open_denied || (bootloader_open_denied && mode == Mode::Bootloader); }
    bool stray_report = false; // an unsolicited input report waits when the bootloader starts
    bool stray_before_reply = false; // a late success for another command comes before each reply
    int reply_delay_ms = 0; // replies become readable this long after their command
};

struct WalletConfig
{
    PathStyle path_style = PathStyle::MacOS;
    Mode mode = Mode::Application;
    QString serial = QStringLiteral("TS0000001");
    QByteArray firmware; // application image the wallet reports, empty by default
    Faults faults;
};

// Bootloader memory map: 1 MiB of flash at 0x08000000; the bootloader's own
// 16 KiB below 0x08004000, the application above.
constexpr unsigned int kFlashBase = 0x08000000;
constexpr unsigned int kFlashSize = 0x100000;
constexpr unsigned int kAppBase = 0x08004000;
constexpr unsigned int kPageSize = 1024;
constexpr unsigned short kAppProductId = 0x0810;

// Each call takes the bus's mutex, so a test may ask while other threads
// write; faults() and flash() hand out references, so set faults and read the
// flash while no thread writes to the wallet.
class Wallet
{
public:
    virtual ~Wallet() = default;

    // Unplugged whenever the wallet is off the bus, including while it reboots.
    virtual Mode mode() const = 0;
    virtual Faults& faults() = 0;

    // Whole flash, kFlashSize bytes from kFlashBase.
    virtual const QByteArray& flash() const = 0;
    // Flash contents from `address`, `size` bytes.
    virtual QByteArray flashAt(unsigned int address, unsigned int size) const = 0;
    // The application image the wallet runs (flash from kAppBase after a finished update).
    virtual QByteArray firmware() const = 0;
    virtual int firmwareUpdates() const = 0; // finished updates since attach

    virtual bool authenticated() const = 0;
    virtual bool erased() const = 0;
    // A command was refused or malformed since the last erase; no CRC check passes then.
    virtual bool refusedSinceErase() const = 0;
    virtual int commandCount(unsigned char command) const = 0;
    virtual int reportsReceived() const = 0;
    virtual std::vector<QString> errors() const = 0;
    virtual std::vector<QString> paths() const = 0; // current interface paths, empty while off the bus
    // The USB port it is plugged into, the same in both modes: "1-N" with
    // Linux paths, a location ID such as "0x14100000" with macOS paths.
    virtual QString port() const = 0;
};

class Bus
{
public:
    static Bus& instance();

    // Removes every device, forgets the trace, and makes time real again.
    void reset();

    Wallet& attachWallet(const WalletConfig& config = WalletConfig());
    // Unplugs a wallet now: it leaves the bus and its handles fail.
    void unplug(Wallet& wallet);
    // Wallets attached since the last reset, in attach order.
    int walletCount() const;
    Wallet& wallet(int index);

    // Output reports handed to hid_write, in order, across all devices. A
    // reference: read it while no thread writes.
    const std::vector<QByteArray>& trace() const;
    void setTraceEnabled(bool enabled);
    void clearTrace();
    bool writeTrace(const QString& path) const;

    // Moves the bus's clock forward: reboots and delayed replies that fall due
    // happen as if the time had passed.
    void advanceTime(int milliseconds);

    // Microseconds each hid_write takes, as an interrupt endpoint would.
    void setLinkIntervalUs(int us);

    // Raises `signal` in this process as the hid_write of output report
    // `report` (counted over the bus from 1, as the trace orders them)
    // returns (0: as the first handle is opened, before any report): an
    // operator's Ctrl-C landing at an exact point of an update. Each once.
    void raiseSignalAt(int report, int signal);

    // hid_init fails while set.
    void setInitFails(bool fails);

    int openHandles() const;
    int initCount() const; // hid_init minus hid_exit calls

private:
    Bus() = default;
};

} // namespace sim
