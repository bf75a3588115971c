#include "update/ManualDownload.h"

#include "image/FirmwareImage.h"
#include "log/Failure.h"
#include "log/MyLog.h"
#include "log/Notice.h"
#include "log/StopRequest.h"
#include "protocol/BootloaderSearch.h"
#include "protocol/BootloaderUpdate.h"
#include "protocol/DeviceAccess.h"
#include "protocol/DeviceSession.h"
#include "protocol/Framing.h"
#include "protocol/HIDHelper.h"
#include "protocol/UpdateObserver.h"

#include <QDebug>

namespace {

void log_line(const QString& text)
{
    MyLog::GetInstance()->WriteLog(text);
}

// The manual download's view of the update: the writer's progress signals,
// and the run-log lines of the erase.
class ManualObserver : public WriterSignals
{
public:
    ManualObserver(HIDHelper* writer, UpdateObserver* watcher)
        : WriterSignals(writer, watcher)
    {
    }
    void eraseAnswered(bool replied) override
    {
        WriterSignals::eraseAnswered(replied);
        const QString text = replied ? QStringLiteral("接受擦除信息") : QStringLiteral("没有接受擦除信息");
        qDebug().noquote() << text;
        log_line(QStringLiteral("Send ") + text);
    }
    void stepStarted(UpdateStep step) override
    {
        WriterSignals::stepStarted(step);
        if (step == UpdateStep::Write) {
            qDebug().noquote() << "程序擦除成功";
            log_line(QStringLiteral("Send 程序擦除成功"));
            qDebug().noquote() << "程序正在下载...";
        }
    }
};

} // namespace

UpdateOutcome run_manual_download(DeviceSession& session, HIDHelper* writer, const QString& path,
                                  const FirmwareImage& image, UpdateObserver* watcher, UpdateOutcome* last)
{
    // Every way out shows its box and logs its lines, as its row has them,
    // then emits the one outcome signal.
    const auto finished = [writer, last](const UpdateOutcome& outcome) {
        show_manual_box(outcome.failure, outcome.facts());
        for (const QString& line : outcome.logLines()) {
            qDebug().noquote() << line.mid(5);
            log_line(line);
        }
        if (last != nullptr) {
            *last = outcome;
        }
        emit writer->sig_OnDownloadFinished(outcome.ok());
        return outcome;
    };
    log_line(QStringLiteral("Send begin"));

    // A refused image never reaches the wallet, so it keeps its firmware.
    const UpdateOutcome verdict = image_outcome(image);
    if (!verdict.ok()) {
        return finished(verdict);
    }
    if (session.handle() == nullptr) {
        return finished(UpdateOutcome::failed(UpdateFailure::WalletNotConnected));
    }
    QString error;
    if (!session.OpenDevice(path, error)) {
        // OpenDevice has logged the attempt; there is no line of our own.
        return finished(UpdateOutcome::unopenable(path, device_error_text(nullptr)));
    }

    // The last point at which a stop leaves the wallet as it was.
    if (stop_requested(StopLevel::NoNewWallets)) {
        return finished(UpdateOutcome::stopped(QStringLiteral("before the restart into the bootloader"), false, false));
    }
    // Only a bootloader that was not there before is the wallet restarted here.
    ManualObserver observer(writer, watcher);
    observer.stepStarted(UpdateStep::BootloaderEntry);
    BootloaderTarget target;
    const UpdateOutcome prepared = prepare_restart(path, &target);
    if (!prepared.ok()) {
        // As a wallet that cannot be opened: no line of its own.
        return finished(prepared);
    }
    if (!hid_send_data(session.handle(), CMD_GOTO_ROM, 0, nullptr)) {
        UpdateOutcome outcome = UpdateOutcome::failed(UpdateFailure::EntryNotSent, path);
        outcome.device_error = device_error_text(session.handle());
        return finished(outcome);
    }
    show_notice(NoticeKind::Information, QStringLiteral("Download"), QStringLiteral("即将进行下载，请勿断开设备"));

    observer.stepStarted(UpdateStep::BootloaderSearch);
    const SearchResult found = find_bootloader(MANUAL_SEARCH, target, [&session](const QString& boot_path) {
        QString open_error;
        return session.OpenDevice(boot_path, open_error) ? session.handle() : nullptr;
    });
    if (found.device == nullptr) {
        return finished(found.outcome);
    }
    QList<QString> listed;
    session.GetDeviceList(error, listed);
    qDebug().noquote() << "获取设备列表: " << listed.size();

    UpdateOptions options;
    options.erase_reply_buffer = 64;
    return finished(update_bootloader(session.handle(), image, observer, options));
}
