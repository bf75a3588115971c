#include "console/UsbManager.h"

#include "image/FirmwareImage.h"
#include "log/MyLog.h"
#include "log/Notice.h"
#include "protocol/BootloaderSearch.h"
#include "protocol/BootloaderUpdate.h"
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

// The run-log line of a failed update, as the manual download has always
// written it: a write the wallet did not take shows as an unanswered CRC check.
QString log_text(const UpdateOutcome& outcome)
{
    switch (outcome.failure) {
    case UpdateFailure::ImageUnreadable:
    case UpdateFailure::ImageRefused:
        return QStringLiteral("Send 固件文件格式错误 ") + outcome.detail;
    case UpdateFailure::WalletNotFound:
    case UpdateFailure::FirmwareNotFetched:
        return QString();
    case UpdateFailure::EntryNotSent:
        return QStringLiteral("Send 打开设备失败");
    case UpdateFailure::BootloaderNotFound:
    case UpdateFailure::SeveralBootloaders:
        return QStringLiteral("Send 获取设备列表失败");
    case UpdateFailure::AuthNotSent:
    case UpdateFailure::EraseNoReply:
    case UpdateFailure::EraseRefused:
        return QStringLiteral("Send 程序擦除失败");
    case UpdateFailure::WriteFailed:
    case UpdateFailure::CrcNoReply:
        return QStringLiteral("Send CRC读取失败");
    case UpdateFailure::CrcRefused:
        return QStringLiteral("Send CRC校验错误");
    case UpdateFailure::FinishNotSent:
        return QStringLiteral("Send 程序下载失败");
    case UpdateFailure::None:
        break;
    }
    return QString();
}

} // namespace

void UsbManager::Send(const QString& path, const QString& file)
{
    Download(path, FirmwareImage::fromFile(file));
}

UpdateOutcome UsbManager::Download(const QString& path, const FirmwareImage& image, UpdateObserver* watcher)
{
    HIDHelper* writer = flash_writer_.data();
    // Every way out logs its line, if it has one, then emits the one outcome signal.
    const auto finished = [this, writer](const UpdateOutcome& outcome) {
        if (outcome.ok()) {
            log_line(QStringLiteral("Send 程序下载成功"));
        } else {
            const QString line = log_text(outcome);
            if (!line.isEmpty()) {
                qDebug().noquote() << line.mid(5);
                log_line(line);
            }
        }
        last_outcome_ = outcome;
        emit writer->sig_OnDownloadFinished(outcome.ok());
        return outcome;
    };
    log_line(QStringLiteral("Send begin"));

    // A refused image never reaches the wallet, so it keeps its firmware.
    const UpdateOutcome verdict = image_outcome(image);
    if (!verdict.ok()) {
        return finished(verdict);
    }
    if (dev_handle_ == nullptr || !dev_opened_) {
        show_notice(NoticeKind::Information, QStringLiteral("下载文件"), QStringLiteral("设备未打开"));
        log_line(QStringLiteral("Send 设备未打开"));
        last_outcome_ = UpdateOutcome::failed(UpdateFailure::WalletNotFound, QStringLiteral("no device is connected"));
        emit writer->sig_OnDownloadFinished(false);
        return last_outcome_;
    }
    QString error;
    if (!OpenDevice(path, error)) {
        // OpenDevice has logged the attempt; there is no line of our own.
        UpdateOutcome outcome = UpdateOutcome::failed(UpdateFailure::WalletNotFound, path);
        outcome.device_error = device_error_text(nullptr);
        return finished(outcome);
    }

    // Only a bootloader that was not there before is the wallet restarted here.
    ManualObserver observer(writer, watcher);
    observer.stepStarted(UpdateStep::BootloaderEntry);
    const BootloaderTarget target = bootloaders_besides(path);
    if (!hid_send_data(dev_handle_, CMD_GOTO_ROM, 0, nullptr)) {
        UpdateOutcome outcome = UpdateOutcome::failed(UpdateFailure::EntryNotSent, path);
        outcome.device_error = device_error_text(dev_handle_);
        return finished(outcome);
    }
    show_notice(NoticeKind::Information, QStringLiteral("Download"), QStringLiteral("即将进行下载，请勿断开设备"));

    observer.stepStarted(UpdateStep::BootloaderSearch);
    const SearchResult found = find_bootloader(MANUAL_SEARCH, target, [this](const QString& boot_path) {
        QString open_error;
        return OpenDevice(boot_path, open_error) ? dev_handle_ : nullptr;
    });
    if (found.device == nullptr) {
        show_notice(NoticeKind::Warning, QStringLiteral("下载"), QStringLiteral("获取设备列表失败"));
        return finished(found.outcome);
    }
    QList<QString> listed;
    GetDeviceList(error, listed);
    qDebug().noquote() << "获取设备列表: " << listed.size();

    UpdateOptions options;
    options.erase_reply_buffer = 64;
    const UpdateOutcome outcome = update_bootloader(dev_handle_, image, observer, options);
    if (outcome.ok()) {
        qDebug().noquote() << "CRC校验成功";
        log_line(QStringLiteral("Send CRC校验成功"));
    }
    return finished(outcome);
}
