#include "cli/FlashStation.h"

#include "cli/FlashCommand.h"
#include "cli/StationReport.h"
#include "cli/StopSignals.h"
#include "cli/TerminalProgress.h"
#include "cli/WalletListing.h"
#include "image/FirmwareImage.h"
#include "log/MyLog.h"
#include "log/WalletThread.h"
#include "protocol/BootloaderEntry.h"
#include "protocol/BootloaderUpdate.h"
#include "protocol/Commands.h"
#include "protocol/DeviceAccess.h"
#include "protocol/DeviceSession.h"
#include "protocol/DeviceSettings.h"
#include "protocol/HIDHelper.h"
#include "protocol/HidGlobal.h"
#include "update/ManualDownload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QVector>

#include <algorithm>
#include <chrono>
#include <deque>
#include <memory>
#include <thread>

namespace {

// How often the station looks at its wallets, and lists the bus for new ones.
constexpr std::chrono::milliseconds kTick {50};
constexpr qint64 kListEveryMs = 250;

// One wallet the run took, its thread, and when its port last held it.
struct Slot
{
    StationWallet wallet;
    std::thread thread;
    QString key;
    qint64 last_seen_ms = 0;
    bool joined = false;
};

// A port's numbers in turn, so that 1-2 comes before 1-10 and 1-2.3 after 1-2.
QVector<qulonglong> port_order(const QString& port)
{
    QVector<qulonglong> numbers;
    static const QRegularExpression number(QStringLiteral("[0-9A-Fa-fx]+"));
    for (QRegularExpressionMatchIterator it = number.globalMatch(port); it.hasNext();) {
        numbers << it.next().captured().toULongLong(nullptr, 0);
    }
    return numbers;
}

// A wallet's command interface as the bus lists it now, quietly: a station
// lists several times a second, and the run log keeps only what is done.
QList<ListedInterface> attached_wallets(const QStringList& ports)
{
    QList<ListedInterface> wallets;
    hid_device_info* list = hid_list(VENDOR_ID, 0);
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        if (wallet_mode(*info) == WalletMode::Other || info->path == nullptr) {
            continue;
        }
        const ListedInterface entry = listed_interface(*info);
        if (ports.isEmpty() || ports.contains(entry.port)) {
            wallets << entry;
        }
    }
    hid_free_enumeration(list);
    // In port order, so the run takes and reports them as they sit on the hub.
    std::stable_sort(wallets.begin(), wallets.end(), [](const ListedInterface& a, const ListedInterface& b) {
        return port_order(a.port) < port_order(b.port);
    });
    return wallets;
}

// What follows a wallet across its restarts: its port, or its serial without one.
QString wallet_key(const ListedInterface& entry)
{
    if (!entry.port.isEmpty()) {
        return QStringLiteral("port ") + entry.port;
    }
    return entry.serial.isEmpty() ? QString() : QStringLiteral("serial ") + entry.serial;
}

// One wallet's whole update, on its own thread, with its own handle.
void update_wallet(StationWallet& wallet, int index, const FirmwareImage& image, StationReport& report,
                   const QString& suffix)
{
    const WalletThread tag(wallet.label(), index);
    DeviceSession session(true);
    HIDHelper writer;
    StationObserver observer(report, wallet);
    UpdateOutcome outcome = open_wallet(session, wallet.path);
    if (outcome.ok()) {
        outcome = run_manual_download(session, &writer, wallet.path, image, &observer);
    }
    session.Release();
    report.walletEnded(wallet, outcome, suffix);
}

class Station
{
public:
    Station(const StationPlan& plan, const FirmwareImage& image, StationReport& report, const QString& suffix)
        : plan_(plan)
        , image_(image)
        , report_(report)
        , suffix_(suffix)
    {
        clock_.start();
    }
    ~Station()
    {
        for (const std::unique_ptr<Slot>& slot : slots_) {
            if (slot->thread.joinable()) {
                slot->thread.join();
            }
        }
    }
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // The wallets attached now; with --all, a port asked for and empty ends
    // as its own failure. False when there is nothing at all to take.
    bool takeAttached()
    {
        const QList<ListedInterface> attached = attached_wallets(plan_.ports);
        for (const ListedInterface& entry : attached) {
            consider(entry);
        }
        if (!plan_.watch) {
            for (const QString& port : plan_.ports) {
                if (std::none_of(attached.begin(), attached.end(),
                                 [&port](const ListedInterface& entry) { return entry.port == port; })) {
                    auto slot = std::make_unique<Slot>();
                    slot->wallet.port = port;
                    slot->joined = true;
                    report_.walletEnded(slot->wallet, UpdateOutcome::failed(UpdateFailure::NoWalletOnPort, port),
                                        suffix_);
                    slots_.push_back(std::move(slot));
                }
            }
        }
        return plan_.watch || !slots_.empty();
    }

    // Until every wallet taken has ended; with --watch, until --count have
    // ended or the operator stops it.
    void run()
    {
        qint64 listed_at = clock_.elapsed();
        for (;;) {
            QCoreApplication::processEvents();
            report_.tellStop(running());
            reap();
            if (finished()) {
                return;
            }
            if (plan_.watch && clock_.elapsed() - listed_at >= kListEveryMs) {
                listed_at = clock_.elapsed();
                follow(attached_wallets(plan_.ports));
            }
            report_.drawBoard(shown());
            std::this_thread::sleep_for(kTick);
        }
    }

    std::vector<const StationWallet*> wallets() const
    {
        std::vector<const StationWallet*> all;
        for (const std::unique_ptr<Slot>& slot : slots_) {
            all.push_back(&slot->wallet);
        }
        return all;
    }

private:
    int running() const
    {
        return int(std::count_if(slots_.begin(), slots_.end(),
                                 [](const std::unique_ptr<Slot>& slot) { return !slot->joined; }));
    }

    bool finished() const
    {
        const int ended = int(slots_.size()) - running();
        if (!plan_.watch) {
            return running() == 0;
        }
        if (plan_.count > 0 && ended >= plan_.count) {
            return true;
        }
        return stop_requested(StopLevel::NoNewWallets) && running() == 0;
    }

    void reap()
    {
        for (const std::unique_ptr<Slot>& slot : slots_) {
            if (!slot->joined && slot->wallet.ended) {
                slot->thread.join();
                slot->joined = true;
                slot->last_seen_ms = clock_.elapsed();
            }
        }
    }

    bool mayTakeMore() const
    {
        return !stop_requested(StopLevel::NoNewWallets) && (plan_.count == 0 || int(slots_.size()) < plan_.count);
    }

    // A wallet on the bus: taken unless the run already holds it.
    void consider(const ListedInterface& entry)
    {
        QString key = wallet_key(entry);
        if (key.isEmpty()) {
            if (plan_.watch) {
                if (!untold_.contains(entry.path)) {
                    untold_.insert(entry.path);
                    report_.say(QStringLiteral("tessaro-flash: the wallet at %1 has neither port nor serial: a "
                                               "station cannot follow it across its restart, so it is not taken")
                                    .arg(entry.path));
                }
                return;
            }
            key = QStringLiteral("path ") + entry.path;
        }
        // The port decides, as it does after a restart: a bootloader may tell
        // another serial than its application.
        if (Slot* held = held_.value(key)) {
            held->last_seen_ms = clock_.elapsed();
            return;
        }
        if (!mayTakeMore()) {
            return;
        }
        if (!udev_checked_ && entry.mode == WalletMode::Application) {
            udev_checked_ = true;
            const QString warning = missing_udev_rule_warning();
            if (!warning.isEmpty()) {
                report_.say(QStringLiteral("tessaro-flash: ") + warning);
            }
        }
        auto slot = std::make_unique<Slot>();
        slot->wallet.port = entry.port;
        slot->wallet.serial = entry.serial;
        slot->wallet.path = entry.path;
        slot->key = key;
        slot->last_seen_ms = clock_.elapsed();
        const int index = int(slots_.size());
        report_.walletTaken(slot->wallet, index);
        slot->thread
            = std::thread(update_wallet, std::ref(slot->wallet), index, std::cref(image_), std::ref(report_), suffix_);
        held_.insert(key, slot.get());
        slots_.push_back(std::move(slot));
    }

    // A station's listing: new wallets taken, and ended ones whose port stayed
    // empty longer than a restart let go, so the next one there is taken.
    void follow(const QList<ListedInterface>& present)
    {
        for (const ListedInterface& entry : present) {
            consider(entry);
        }
        const qint64 now = clock_.elapsed();
        for (auto it = held_.begin(); it != held_.end();) {
            Slot* slot = it.value();
            if (slot->joined && now - slot->last_seen_ms > device_settings().unplugged_after_ms) {
                it = held_.erase(it);
            } else {
                ++it;
            }
        }
    }

    // The progress lines: with --watch the wallets the station still holds,
    // otherwise every one.
    std::vector<const StationWallet*> shown() const
    {
        std::vector<const StationWallet*> lines;
        for (const std::unique_ptr<Slot>& slot : slots_) {
            if (!plan_.watch || held_.value(slot->key) == slot.get()) {
                lines.push_back(&slot->wallet);
            }
        }
        return lines;
    }

    const StationPlan& plan_;
    const FirmwareImage& image_;
    StationReport& report_;
    QString suffix_;
    QElapsedTimer clock_;
    std::deque<std::unique_ptr<Slot>> slots_;
    QHash<QString, Slot*> held_;
    QSet<QString> untold_;
    bool udev_checked_ = false;
};

} // namespace

int run_flash_station(const StationPlan& plan, QTextStream& out, QTextStream& err)
{
    install_stop_signals();
    StationReport report(out, err, plan.json, stderr_is_terminal());
    // Read and checked once: every wallet gets what was checked here.
    const FirmwareImage image = FirmwareImage::fromFile(plan.file);
    report.start(plan.file, plan.watch, plan.ports);
    const QString log_warning = run_log_warning();
    if (!log_warning.isEmpty()) {
        report.say(QStringLiteral("tessaro-flash: ") + log_warning);
    }
    const QString suffix = run_log_suffix(log_warning);
    const QString prefix = plan.file + QStringLiteral(": ");
    if (!image.readable()) {
        return report.summary(
            {}, UpdateOutcome::failed(UpdateFailure::ImageUnreadable, plan.file + ": " + image.readError()), QString(),
            suffix);
    }
    const UpdateOutcome verdict = image_outcome(image);
    if (!verdict.ok()) {
        for (const QString& line : verdict.logLines()) {
            MyLog::GetInstance()->WriteLog(line);
        }
        return report.summary({}, verdict, prefix, suffix);
    }
    Station station(plan, image, report, suffix);
    if (!station.takeAttached()) {
        return report.summary({}, UpdateOutcome::failed(UpdateFailure::NoWallet), QString(), suffix);
    }
    station.run();
    return report.summary(station.wallets(), UpdateOutcome(), QString(), suffix);
}
