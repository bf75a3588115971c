#include "log/Failure.h"

namespace {

// What an update left of the wallet.
enum class Wallet { Untouched, Touched, Erased };

// One row, written as a table's line: the failure, its name, its exit status
// and the wallet, then each front end's words.
class Row
{
public:
    Row(UpdateFailure failure, const char* name, ExitCode exit, Wallet wallet)
    {
        row_.failure = failure;
        row_.name = QString::fromLatin1(name);
        row_.exit = exit;
        row_.touched = wallet != Wallet::Untouched;
        row_.erased = wallet == Wallet::Erased;
        row_.manual_status = QStringLiteral("下载失败");
    }
    Row& autoBox(const QString& text)
    {
        row_.auto_box = text;
        return *this;
    }
    Row& manualBox(NoticeKind kind, const QString& title, const QString& text)
    {
        row_.manual_box_kind = kind;
        row_.manual_box_title = title;
        row_.manual_box = text;
        return *this;
    }
    Row& manualStatus(const QString& text)
    {
        row_.manual_status = text;
        return *this;
    }
    Row& log(const QStringList& lines)
    {
        row_.log_lines = lines;
        return *this;
    }
    Row& reason(const QString& text)
    {
        row_.reason = text;
        return *this;
    }
    operator FailureRow() const { return row_; }

private:
    FailureRow row_;
};

// The row of `failure`; a row with no name for a value out of the enumeration.
FailureRow describe(UpdateFailure failure)
{
    const QString not_touched = QStringLiteral("; the wallet was not touched");
    const QString erased = QStringLiteral("; the wallet is erased and waits in its bootloader for another update");
    const QString fetch_box = QStringLiteral("获取固件信息失败");
    const QString image_box = QStringLiteral("固件文件格式错误");
    const QString image_line = QStringLiteral("Send 固件文件格式错误 {detail}");
    const QString wallet_box = QStringLiteral("设备未找到");
    // The lost-bootloader rows share the windows' words.
    const QString bootloader_box = QStringLiteral("更新设备未找到");
    const QString list_box = QStringLiteral("获取设备列表失败");
    const QString list_line = QStringLiteral("Send 获取设备列表失败");
    const QString update_box = QStringLiteral("更新失败");
    const QString erase_line = QStringLiteral("Send 程序擦除失败");
    // The manual download has always shown a lost write as an unanswered check.
    const QString crc_line = QStringLiteral("Send CRC读取失败");
    const QString stopped_line = QStringLiteral("Send 下载被中断");
    const UpdateFailure f = failure;
    switch (failure) {
    case UpdateFailure::None:
        return Row(f, "none", EXIT_OK, Wallet::Erased)
            .autoBox(QStringLiteral("更新完成"))
            .manualStatus(QStringLiteral("下载成功"))
            .log({QStringLiteral("Send CRC校验成功"), QStringLiteral("Send 程序下载成功")})
            .reason(QStringLiteral("the wallet verified every segment and was told to finish"));
    case UpdateFailure::FolderUnwritable:
        return Row(f, "folder-unwritable", EXIT_SERVER, Wallet::Untouched)
            .autoBox(QStringLiteral("文件打开失败"))
            .reason(QStringLiteral("the firmware folder {detail} cannot be written or is full{because}") + not_touched);
    case UpdateFailure::ReleaseNoAnswer:
        return Row(f, "release-no-answer", EXIT_SERVER, Wallet::Untouched)
            .autoBox(fetch_box)
            .reason(QStringLiteral("the release query got no answer: {detail}") + not_touched);
    case UpdateFailure::ReleaseTlsRefused:
        return Row(f, "release-tls-refused", EXIT_SERVER, Wallet::Untouched)
            .autoBox(fetch_box)
            .reason(QStringLiteral("the firmware server's certificate is not trusted: {detail}") + not_touched);
    case UpdateFailure::ReleaseHttpStatus:
        return Row(f, "release-http-status", EXIT_SERVER, Wallet::Untouched)
            .autoBox(fetch_box)
            .reason(QStringLiteral("the release query was answered with an error: {detail}") + not_touched);
    case UpdateFailure::AnswerRefused:
        return Row(f, "answer-refused", EXIT_SERVER, Wallet::Untouched)
            .autoBox(fetch_box)
            .reason(QStringLiteral("the release answer is refused: {detail}") + not_touched);
    case UpdateFailure::DownloadFailed:
        return Row(f, "download-failed", EXIT_SERVER, Wallet::Untouched)
            .autoBox(QStringLiteral("网络连接出错"))
            .reason(QStringLiteral("the firmware download failed: {detail}") + not_touched);
    case UpdateFailure::DigestMismatch:
        return Row(f, "digest-mismatch", EXIT_SERVER, Wallet::Untouched)
            .autoBox(QStringLiteral("文件下载错误"))
            .reason(QStringLiteral("the firmware's MD5 does not match the release answer: {detail}") + not_touched);
    case UpdateFailure::DownloadedImageRefused:
        return Row(f, "downloaded-image-refused", EXIT_SERVER, Wallet::Untouched)
            .autoBox(image_box)
            .reason(QStringLiteral("the downloaded firmware image is refused: {detail}") + not_touched);
    case UpdateFailure::ImageUnreadable:
        return Row(f, "image-unreadable", EXIT_IMAGE, Wallet::Untouched)
            .autoBox(image_box)
            .log({image_line})
            .reason(QStringLiteral("the image cannot be read: {detail}") + not_touched);
    case UpdateFailure::ImageRefused:
        return Row(f, "image-refused", EXIT_IMAGE, Wallet::Untouched)
            .autoBox(image_box)
            .log({image_line})
            .reason(QStringLiteral("the image is refused: {detail}") + not_touched);
    case UpdateFailure::NoWallet:
        return Row(f, "no-wallet", EXIT_NO_WALLET, Wallet::Untouched)
            .autoBox(wallet_box)
            .reason(QStringLiteral("no wallet attached{because}"));
    case UpdateFailure::SeveralWallets:
        // The windows take the first wallet listed.
        return Row(f, "several-wallets", EXIT_NO_WALLET, Wallet::Untouched)
            .reason(QStringLiteral("several wallets attached ({detail}); name one with --device PATH"));
    case UpdateFailure::WalletNotConnected:
        return Row(f, "wallet-not-connected", EXIT_NO_WALLET, Wallet::Untouched)
            .manualBox(NoticeKind::Information, QStringLiteral("下载文件"), QStringLiteral("设备未打开"))
            .log({QStringLiteral("Send 设备未打开")})
            .reason(QStringLiteral("no wallet is connected") + not_touched);
    case UpdateFailure::NotCommandInterface:
        // Another interface would take the restart, ignore it, and leave the
        // search to time out.
        return Row(f, "not-a-command-interface", EXIT_NO_WALLET, Wallet::Untouched)
            .reason(QStringLiteral("{detail} is neither a wallet's command interface nor a bootloader; "
                                   "'tessaro-flash devices' lists them")
                    + not_touched);
    case UpdateFailure::WalletUnopenable:
        return Row(f, "wallet-unopenable", EXIT_NO_WALLET, Wallet::Untouched)
            .autoBox(wallet_box)
            .reason(QStringLiteral("the wallet {detail} cannot be opened{because}") + not_touched);
    case UpdateFailure::WalletNoPermission:
        // Refused before anything was sent: the hint is the whole story.
        return Row(f, "wallet-no-permission", EXIT_NO_PERMISSION, Wallet::Untouched)
            .autoBox(wallet_box)
            .reason(QStringLiteral("{hint}"));
    case UpdateFailure::EntryNotSent:
        // The automatic path goes on to look for a bootloader that does not
        // come, and ends as BootloaderNotFound.
        return Row(f, "entry-not-sent", EXIT_FAILED, Wallet::Touched)
            .log({QStringLiteral("Send 打开设备失败")})
            .reason(QStringLiteral("the restart into the bootloader could not be sent{because}; "
                                   "the wallet's firmware is unchanged"));
    case UpdateFailure::BootloaderNotFound:
        return Row(f, "bootloader-not-found", EXIT_FAILED, Wallet::Touched)
            .autoBox(bootloader_box)
            .manualBox(NoticeKind::Warning, QStringLiteral("下载"), list_box)
            .log({list_line})
            .reason(QStringLiteral("the wallet was restarted, but its bootloader did not appear or could not be "
                                   "opened{because}; nothing was written"));
    case UpdateFailure::BootloaderNoPermission:
        return Row(f, "bootloader-no-permission", EXIT_FAILED, Wallet::Touched)
            .autoBox(bootloader_box)
            .manualBox(NoticeKind::Warning, QStringLiteral("下载"), list_box)
            .log({list_line})
            .reason(QStringLiteral("the wallet was restarted, but its bootloader could not be opened{because}; "
                                   "nothing was written; {hint}"));
    case UpdateFailure::SeveralBootloaders:
        return Row(f, "several-bootloaders", EXIT_FAILED, Wallet::Touched)
            .autoBox(bootloader_box)
            .manualBox(NoticeKind::Warning, QStringLiteral("下载"), list_box)
            .log({list_line})
            .reason(QStringLiteral("several new bootloaders appeared and the restarted wallet cannot be told "
                                   "apart; nothing was written"));
    case UpdateFailure::AuthNotSent:
        return Row(f, "auth-not-sent", EXIT_FAILED, Wallet::Touched)
            .autoBox(update_box)
            .log({erase_line})
            .reason(QStringLiteral("the authentication could not be sent{because}; the wallet was not erased"));
    case UpdateFailure::EraseNoReply:
        // Whether the erase was done is unknown: counted as done.
        return Row(f, "erase-no-reply", EXIT_FAILED, Wallet::Erased)
            .autoBox(update_box)
            .log({erase_line})
            .reason(QStringLiteral("no reply to the erase{because}; the wallet may be erased and waits in its "
                                   "bootloader"));
    case UpdateFailure::EraseRefused:
        return Row(f, "erase-refused", EXIT_FAILED, Wallet::Touched)
            .autoBox(update_box)
            .log({erase_line})
            .reason(QStringLiteral("the wallet refused the erase; it waits in its bootloader"));
    case UpdateFailure::WriteFailed:
        return Row(f, "write-failed", EXIT_FAILED, Wallet::Erased)
            .autoBox(update_box)
            .log({crc_line})
            .reason(QStringLiteral("the wallet was gone or refused report {report} during the write{because}")
                    + erased);
    case UpdateFailure::CrcNoReply:
        return Row(f, "crc-no-reply", EXIT_FAILED, Wallet::Erased)
            .autoBox(update_box)
            .log({crc_line})
            .reason(QStringLiteral("no reply to the CRC check of segment {segment}{because}") + erased);
    case UpdateFailure::CrcRefused:
        return Row(f, "crc-refused", EXIT_FAILED, Wallet::Erased)
            .autoBox(update_box)
            .log({QStringLiteral("Send CRC校验错误")})
            .reason(QStringLiteral("the wallet refused the CRC check of segment {segment}") + erased);
    case UpdateFailure::FinishNotSent:
        return Row(f, "finish-not-sent", EXIT_FAILED, Wallet::Erased)
            .autoBox(update_box)
            .log({QStringLiteral("Send 程序下载失败")})
            .reason(QStringLiteral("the end of the update could not be sent{because}; the wallet stays in its "
                                   "bootloader"));
    // Where the stop came, and so what it left, varies: the row counts the
    // wallet as untouched, and {detail} tells. The windows never stop this way.
    case UpdateFailure::Interrupted:
        return Row(f, "interrupted", EXIT_INTERRUPTED, Wallet::Untouched)
            .log({stopped_line})
            .reason(QStringLiteral("interrupted by Ctrl-C (SIGINT) {detail}"));
    case UpdateFailure::Terminated:
        return Row(f, "terminated", EXIT_TERMINATED, Wallet::Untouched)
            .log({stopped_line})
            .reason(QStringLiteral("stopped by SIGTERM {detail}"));
    }
    return FailureRow();
}

} // namespace

const QVector<FailureRow>& failure_table()
{
    // The enumeration counts from 0 without gaps: its rows are read until the
    // first value that has none.
    static const QVector<FailureRow> rows = [] {
        QVector<FailureRow> all;
        for (int value = 0;; ++value) {
            FailureRow row = describe(static_cast<UpdateFailure>(value));
            if (row.name.isEmpty()) {
                return all;
            }
            all.append(row);
        }
    }();
    return rows;
}

const FailureRow& failure_row(UpdateFailure failure)
{
    return failure_table()[static_cast<int>(failure)];
}

QString fill_failure_text(QString text, const QString& detail, const QString& system_error, int segment, int report)
{
    const QString because = system_error.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(system_error);
    // The detail last: a path may hold anything, braces included.
    return text.replace(QLatin1String("{because}"), because)
        .replace(QLatin1String("{segment}"), QString::number(segment))
        .replace(QLatin1String("{report}"), QString::number(report))
        .replace(QLatin1String("{detail}"), detail);
}

void show_auto_box(UpdateFailure failure)
{
    const FailureRow& row = failure_row(failure);
    if (!row.auto_box.isEmpty()) {
        show_notice(row.auto_box);
    }
}

void show_manual_box(UpdateFailure failure)
{
    const FailureRow& row = failure_row(failure);
    if (!row.manual_box.isEmpty()) {
        show_notice(row.manual_box_kind, row.manual_box_title, row.manual_box);
    }
}
