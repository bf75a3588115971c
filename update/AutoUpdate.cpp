#include "update/AutoUpdate.h"

#include "image/FirmwareImage.h"
#include "log/Failure.h"
#include "log/Notice.h"
#include "log/StopRequest.h"
#include "net/FirmwareDownload.h"
#include "net/FirmwareGlobals.h"
#include "net/TestNet.h"
#include "protocol/BootloaderEntry.h"
#include "protocol/BootloaderUpdate.h"
#include "protocol/UpdateObserver.h"

#include <QDebug>
#include <QFile>

namespace {

// The main window's bar: the share of data reports sent, after each block.
class BarObserver : public ObserverChain
{
public:
    BarObserver(const FlashProgress& progress, UpdateObserver* watcher)
        : ObserverChain(watcher)
        , progress_(progress)
    {
    }
    void dataStarted(int records, int reports) override
    {
        if (progress_.setRange) {
            progress_.setRange(0, 100);
        }
        ObserverChain::dataStarted(records, reports);
    }
    void reportsSent(int sent, int total) override
    {
        if (progress_.setValue && total > 0) {
            progress_.setValue(static_cast<int>(100LL * sent / total));
        }
        ObserverChain::reportsSent(sent, total);
    }

private:
    const FlashProgress& progress_;
};

} // namespace

UpdateOutcome flash_update(const FirmwareImage& image, const BootloaderTarget& target, const FlashProgress& progress,
                           UpdateObserver* watcher)
{
    // An image the writer would misplace is refused before the wallet is
    // erased, so a bad file never leaves it without firmware.
    const UpdateOutcome verdict = image_outcome(image);
    if (!verdict.ok()) {
        qWarning().noquote() << verdict.row().auto_box + ':' << verdict.detail;
        show_auto_box(verdict.failure, verdict.facts());
        return verdict;
    }
    BarObserver observer(progress, watcher);
    observer.stepStarted(UpdateStep::BootloaderSearch);
    const SearchResult found = find_bootloader(AUTOMATIC_SEARCH, target);
    if (found.device == nullptr) {
        show_auto_box(found.outcome.failure, found.outcome.facts());
        return found.outcome;
    }
    const UpdateOutcome outcome = update_bootloader(found.device, image, observer);
    hid_close(found.device);
    if (!outcome.ok()) {
        qDebug().noquote() << "update failed:" << outcome.reason();
    }
    show_auto_box(outcome.failure, outcome.facts());
    if (outcome.ok() && !image.path().isEmpty()) {
        QFile::remove(image.path());
    }
    return outcome;
}

bool flash_update(const QString& path, const FlashProgress& progress)
{
    return flash_update(FirmwareImage::fromFile(path), BootloaderTarget(), progress).ok();
}

UpdateOutcome run_auto_update(const Flasher& flash, UpdateObserver* watcher, const QString& device)
{
    ObserverChain report(watcher);
    // Until the restart nothing was sent: a stop of either level ends the
    // run, and a network wait it cut short is no failure of the server's.
    const auto stopped_before_wallet
        = [](const char* where) { return UpdateOutcome::stopped(QString::fromLatin1(where), false, false); };
    if (stop_requested(StopLevel::NoNewWallets)) {
        return stopped_before_wallet("before the release query");
    }
    report.stepStarted(UpdateStep::ReleaseQuery);
    TestNet net;
    API_DATA = net.get_latest();
    if (stop_requested(StopLevel::NoNewWallets)) {
        return stopped_before_wallet("during the release query");
    }
    if (net.lastFailure() != UpdateFailure::None) {
        // What a failed query leaves is no answer to parse (at best an error
        // page): the user is told the query's own failure.
        UpdateOutcome outcome = UpdateOutcome::failed(net.lastFailure(), net.lastError());
        outcome.server_said = net.lastServerFact();
        show_auto_box(outcome.failure, outcome.facts());
        return outcome;
    }
    report.stepStarted(UpdateStep::Download);
    FirmwareImage image;
    FetchFailure fetched;
    const bool fetched_ok = fetch_firmware(&image, &fetched);
    if (stop_requested(StopLevel::NoNewWallets)) {
        return stopped_before_wallet("during the download");
    }
    if (!fetched_ok) {
        UpdateOutcome outcome = UpdateOutcome::failed(fetched.failure, fetched.detail);
        outcome.device_error = fetched.system_error;
        return outcome;
    }
    report.stepStarted(UpdateStep::Verify);
    if (stop_requested(StopLevel::NoNewWallets)) {
        return stopped_before_wallet("before the restart into the bootloader");
    }
    report.stepStarted(UpdateStep::BootloaderEntry);
    EntryResult entry;
    if (!goto_rom(&entry, device)) {
        return entry.outcome;
    }
    show_notice(QStringLiteral("即将进行下载，请勿断开设备"));
    return flash(image, entry.target);
}
