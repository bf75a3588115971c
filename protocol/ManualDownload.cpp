#include "console/UsbManager.h"

#include "image/ImageCheck.h"
#include "log/MyLog.h"
#include "protocol/Authentication.h"
#include "protocol/BlockWriter.h"
#include "protocol/BootloaderSteps.h"
#include "protocol/Commands.h"
#include "protocol/Framing.h"
#include "protocol/HIDHelper.h"
#include "protocol/Wait.h"

#include <QApplication>
#include <QDebug>
#include <QMessageBox>

#include <cstdio>

namespace {

void log_line(const QString& text)
{
    MyLog::GetInstance()->WriteLog(text);
}

// Boxes only where a window can exist; the command line gets the text on stderr.
void tell(bool warning, const QString& title, const QString& text)
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        if (warning) {
            QMessageBox::warning(nullptr, title, text, QMessageBox::Ok);
        } else {
            QMessageBox::information(nullptr, title, text, QMessageBox::Ok);
        }
        return;
    }
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// The bootloader's path, searched as the automatic update does.
QString find_bootloader_path()
{
    for (int attempt = 0; attempt < BOOTLOADER_SEARCH_ATTEMPTS; ++attempt) {
        if (attempt > 0) {
            msleep(BOOTLOADER_SEARCH_WAIT_MS);
        }
        hid_device_info* list = hid_enumerate(VENDOR_ID, BOOTLOADER_PRODUCT_ID);
        if (list != nullptr) {
            const QString path = QString::fromUtf8(list->path);
            hid_free_enumeration(list);
            return path;
        }
    }
    return QString();
}

} // namespace

void UsbManager::Send(const QString& path, const QString& file)
{
    HIDHelper* writer = flash_writer_.data();
    // Every failure ends the same way: its run-log line, if it has one, then
    // the one outcome signal.
    const auto failed = [writer](const QString& line) {
        if (!line.isEmpty()) {
            log_line(line);
        }
        emit writer->sig_OnDownloadFinished(false);
    };
    log_line(QStringLiteral("Send begin"));

    // A refused image never reaches the wallet, so it keeps its firmware.
    const ImageCheckResult verdict = check_hex_image(file);
    if (!verdict.valid) {
        return failed(QStringLiteral("Send 固件文件格式错误 ") + verdict.message());
    }

    if (dev_handle_ == nullptr || !dev_opened_) {
        tell(false, QStringLiteral("下载文件"), QStringLiteral("设备未打开"));
        return failed(QStringLiteral("Send 设备未打开"));
    }

    QString error;
    if (!OpenDevice(path, error)) {
        // OpenDevice has logged the attempt; there is no line of our own.
        return failed(QString());
    }
    if (!hid_send_data(dev_handle_, CMD_GOTO_ROM, 0, nullptr)) {
        return failed(QStringLiteral("Send 打开设备失败"));
    }
    tell(false, QStringLiteral("Download"), QStringLiteral("即将进行下载，请勿断开设备"));

    const QString boot_path = find_bootloader_path();
    if (boot_path.isEmpty()) {
        tell(true, QStringLiteral("下载"), QStringLiteral("获取设备列表失败"));
        return failed(QStringLiteral("Send 获取设备列表失败"));
    }
    QList<QString> listed;
    GetDeviceList(error, listed);
    qDebug().noquote() << "获取设备列表: " << listed.size();

    if (!OpenDevice(boot_path, error)) {
        return failed(QStringLiteral("Send 打开设备失败"));
    }

    if (!send_authentication(dev_handle_)) {
        return failed(QStringLiteral("Send 程序擦除失败"));
    }
    const ReplyOutcome erased = erase_application(dev_handle_, 64);
    if (erased != ReplyOutcome::NoReply) {
        qDebug().noquote() << "接受擦除信息";
        log_line(QStringLiteral("Send 接受擦除信息"));
    } else {
        qDebug().noquote() << "没有接受擦除信息";
        log_line(QStringLiteral("Send 没有接受擦除信息"));
    }
    if (erased != ReplyOutcome::Success) {
        qDebug().noquote() << "程序擦除失败";
        return failed(QStringLiteral("Send 程序擦除失败"));
    }
    qDebug().noquote() << "程序擦除成功";
    log_line(QStringLiteral("Send 程序擦除成功"));

    qDebug().noquote() << "程序正在下载...";
    writer->DownloadFlash(dev_handle_, file);

    // Every segment is verified, not only the first.
    const ReplyOutcome verified = check_segment_crcs(dev_handle_, file, read_write_columns(file));
    if (verified == ReplyOutcome::NoReply) {
        qDebug().noquote() << "CRC读取失败";
        return failed(QStringLiteral("Send CRC读取失败"));
    }
    if (verified != ReplyOutcome::Success) {
        qDebug().noquote() << "CRC校验错误";
        return failed(QStringLiteral("Send CRC校验错误"));
    }
    qDebug().noquote() << "CRC校验成功";
    log_line(QStringLiteral("Send CRC校验成功"));
    if (!hid_send_data(dev_handle_, CMD_FINISH, 0, nullptr)) {
        // The wallet never heard it is finished; it stays in its bootloader.
        return failed(QStringLiteral("Send 程序下载失败"));
    }
    log_line(QStringLiteral("Send 程序下载成功"));
    emit writer->sig_OnDownloadFinished(true);
}
