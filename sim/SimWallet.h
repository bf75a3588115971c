#pragma once

#include "sim/FrameAssembler.h"
#include "sim/SimBus.h"
#include "sim/SimClock.h"

#include <chrono>
#include <deque>
#include <mutex>

namespace sim {

struct InputReport
{
    QByteArray data; // 64 bytes
    Clock::time_point ready_at;
};

struct InterfaceInfo
{
    QString path;
    int number = 0;
};

// One simulated wallet: its application, its bootloader, its flash and its own
// link. The bus owns it and serialises every call through one recursive mutex;
// the bus-side calls below expect that mutex held.
class SimWallet : public Wallet
{
public:
    SimWallet(std::recursive_mutex& mutex, int location, int* hidraw_counter, const WalletConfig& config);

    Mode mode() const override;
    Faults& faults() override { return faults_; }
    const QByteArray& flash() const override { return flash_; }
    QByteArray flashAt(unsigned int address, unsigned int size) const override;
    QByteArray firmware() const override;
    int firmwareUpdates() const override;
    bool authenticated() const override;
    bool erased() const override;
    bool refusedSinceErase() const override;
    int commandCount(unsigned char command) const override;
    int reportsReceived() const override;
    std::vector<QString> errors() const override;
    std::vector<QString> paths() const override;
    QString port() const override;

    // Bus side. settle() completes a reboot or a plug-in whose time has come,
    // and pulls the wallet out once its pull-ms has passed.
    void settle();
    // The bus time at which the wallet is pulled out; max() when never.
    Clock::time_point pulledAt() const;
    // The end of the link slot of the next report written to this wallet
    // (steady clock), `interval` after the previous slot's end or, when that
    // has already passed, after now. Each wallet has slots of its own, as each
    // device on a hub has its own frames.
    Clock::time_point takeLinkSlot(std::chrono::microseconds interval);
    void resetLinkSlot() { link_slot_end_ = {}; }
    bool onBus() const { return on_bus_; }
    // Grows each time the wallet leaves the bus; handles of an older session fail.
    unsigned long long session() const { return session_; }
    unsigned short productId() const;
    QString productString() const;
    QString serial() const { return serial_; }
    // The serial number the enumeration reports, as the faults have it.
    QString listedSerial() const;
    const std::vector<InterfaceInfo>& interfaces() const { return interfaces_; }
    std::deque<InputReport>& inputReports() { return input_; }

    // One output report from the host. False when the write fails on the wire.
    bool receive(int interface_number, const unsigned char* data, std::size_t length);
    void unplugForGood();

private:
    void leaveBus();
    void arrive(Mode mode);
    void assignPaths();
    void handleApplicationReport(const QByteArray& report);
    void handleBootloaderReport(const QByteArray& report);
    void execute(unsigned char code, const QByteArray& payload);
    void doAuth(const QByteArray& payload);
    void doErase(const QByteArray& payload);
    void doWrite(const QByteArray& payload);
    void doCheckCrc(const QByteArray& payload);
    void doFinish();
    void refuse(const QString& why);
    void error(const QString& why);
    void reply(unsigned char code, bool success);

    std::recursive_mutex& mutex_;
    const int location_;
    int* const hidraw_counter_;
    const QString serial_;
    const PathStyle path_style_;
    Faults faults_;

    Mode mode_ = Mode::Application;
    bool on_bus_ = false;
    bool rebooting_ = false;
    Mode arrival_mode_ = Mode::Bootloader; // what a wallet off the bus comes back as
    Clock::time_point reboot_due_;
    const Clock::time_point attached_at_; // bus time
    bool pulled_ = false;
    Clock::time_point link_slot_end_ {};
    unsigned long long session_ = 0;
    std::vector<InterfaceInfo> interfaces_;
    std::deque<InputReport> input_;

    QByteArray flash_;
    QByteArray firmware_;
    std::vector<bool> written_; // per byte, since the last erase
    int firmware_updates_ = 0;
    int writes_ = 0; // hid_write attempts on live handles, what the faults count
    int received_ = 0;
    std::map<unsigned char, int> command_counts_;
    std::vector<QString> errors_;

    FrameAssembler assembler_;
    bool authenticated_ = false;
    bool erased_ = false;
    bool refused_ = false;
    int crc_checks_ = 0;
    int crc_passed_ = 0;
    int crc_failed_ = 0;
};

} // namespace sim
