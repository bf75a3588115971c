#include "log/Failure.h"

namespace {

const char* const kNotTouched = "; the wallet was not touched";
const char* const kErased = "; the wallet is erased and waits in its bootloader for another update";

struct Facts
{
    const char* name;
    ExitCode exit;
    bool touched;
    bool erased;
    QString reason;
};

FailureRow make(UpdateFailure failure, const Facts& facts)
{
    FailureRow row;
    row.failure = failure;
    row.name = QString::fromLatin1(facts.name);
    row.exit = facts.exit;
    row.touched = facts.touched;
    row.erased = facts.erased;
    row.reason = facts.reason;
    row.manual_status = QStringLiteral("下载失败");
    return row;
}

// The lost-bootloader rows share the windows' words.
FailureRow bootloader_missing(FailureRow row)
{
    row.auto_box = QStringLiteral("更新设备未找到");
    row.manual_box_kind = NoticeKind::Warning;
    row.manual_box_title = QStringLiteral("下载");
    row.manual_box = QStringLiteral("获取设备列表失败");
    row.log_lines = QStringList {QStringLiteral("Send 获取设备列表失败")};
    return row;
}

FailureRow with_auto_box(FailureRow row, const QString& box, const QStringList& log_lines = QStringList())
{
    row.auto_box = box;
    row.log_lines = log_lines;
    return row;
}

// The row of `failure`; a row with no name for a value out of the enumeration.
FailureRow describe(UpdateFailure failure)
{
    const QString not_touched = QString::fromLatin1(kNotTouched);
    const QString erased = QString::fromLatin1(kErased);
    const QString image_refused = QStringLiteral("固件文件格式错误");
    const QString fetch_box = QStringLiteral("获取固件信息失败");
    const QString update_failed = QStringLiteral("更新失败");
    const QString wallet_missing = QStringLiteral("设备未找到");
    const UpdateFailure f = failure;
    switch (failure) {
    case UpdateFailure::None: {
        FailureRow row = make(
            f,
            {"none", EXIT_OK, true, true, QStringLiteral("the wallet verified every segment and was told to finish")});
        row.manual_status = QStringLiteral("下载成功");
        return with_auto_box(row, QStringLiteral("更新完成"),
                             {QStringLiteral("Send CRC校验成功"), QStringLiteral("Send 程序下载成功")});
    }
    case UpdateFailure::FolderUnwritable:
        return with_auto_box(
            make(f,
                 {"folder-unwritable", EXIT_SERVER, false, false,
                  QStringLiteral("the firmware folder {detail} cannot be written or is full{because}") + not_touched}),
            QStringLiteral("文件打开失败"));
    case UpdateFailure::ReleaseNoAnswer:
        return with_auto_box(make(f,
                                  {"release-no-answer", EXIT_SERVER, false, false,
                                   QStringLiteral("the release query got no answer: {detail}") + not_touched}),
                             fetch_box);
    case UpdateFailure::ReleaseTlsRefused:
        return with_auto_box(
            make(f,
                 {"release-tls-refused", EXIT_SERVER, false, false,
                  QStringLiteral("the firmware server's certificate is not trusted: {detail}") + not_touched}),
            fetch_box);
    case UpdateFailure::ReleaseHttpStatus:
        return with_auto_box(
            make(f,
                 {"release-http-status", EXIT_SERVER, false, false,
                  QStringLiteral("the release query was answered with an error: {detail}") + not_touched}),
            fetch_box);
    case UpdateFailure::AnswerRefused:
        return with_auto_box(make(f,
                                  {"answer-refused", EXIT_SERVER, false, false,
                                   QStringLiteral("the release answer is refused: {detail}") + not_touched}),
                             fetch_box);
    case UpdateFailure::DownloadFailed:
        return with_auto_box(make(f,
                                  {"download-failed", EXIT_SERVER, false, false,
                                   QStringLiteral("the firmware download failed: {detail}") + not_touched}),
                             QStringLiteral("网络连接出错"));
    case UpdateFailure::DigestMismatch:
        return with_auto_box(
            make(f,
                 {"digest-mismatch", EXIT_SERVER, false, false,
                  QStringLiteral("the firmware's MD5 does not match the release answer: {detail}") + not_touched}),
            QStringLiteral("文件下载错误"));
    case UpdateFailure::DownloadedImageRefused:
        return with_auto_box(make(f,
                                  {"downloaded-image-refused", EXIT_SERVER, false, false,
                                   QStringLiteral("the downloaded firmware image is refused: {detail}") + not_touched}),
                             image_refused);
    case UpdateFailure::ImageUnreadable:
        return with_auto_box(make(f,
                                  {"image-unreadable", EXIT_IMAGE, false, false,
                                   QStringLiteral("the image cannot be read: {detail}") + not_touched}),
                             image_refused, {QStringLiteral("Send 固件文件格式错误 {detail}")});
    case UpdateFailure::ImageRefused:
        return with_auto_box(make(f,
                                  {"image-refused", EXIT_IMAGE, false, false,
                                   QStringLiteral("the image is refused: {detail}") + not_touched}),
                             image_refused, {QStringLiteral("Send 固件文件格式错误 {detail}")});
    case UpdateFailure::NoWallet:
        return with_auto_box(
            make(f, {"no-wallet", EXIT_NO_WALLET, false, false, QStringLiteral("no wallet attached{because}")}),
            wallet_missing);
    case UpdateFailure::SeveralWallets:
        // The window takes the first wallet listed.
        return make(f,
                    {"several-wallets", EXIT_NO_WALLET, false, false,
                     QStringLiteral("several wallets attached ({detail}); name one with --device PATH")});
    case UpdateFailure::WalletNotConnected: {
        FailureRow row = make(f,
                              {"wallet-not-connected", EXIT_NO_WALLET, false, false,
                               QStringLiteral("no wallet is connected") + not_touched});
        row.manual_box_title = QStringLiteral("下载文件");
        row.manual_box = QStringLiteral("设备未打开");
        row.log_lines = QStringList {QStringLiteral("Send 设备未打开")};
        return row;
    }
    case UpdateFailure::WalletUnopenable:
        return with_auto_box(
            make(f,
                 {"wallet-unopenable", EXIT_NO_WALLET, false, false,
                  QStringLiteral("the wallet {detail} cannot be opened{because}; it was not touched")}),
            wallet_missing);
    case UpdateFailure::WalletNoPermission:
        // Refused before anything was sent: the hint is the whole story.
        return with_auto_box(make(f, {"wallet-no-permission", EXIT_NO_PERMISSION, false, false, "{hint}"}),
                             wallet_missing);
    case UpdateFailure::EntryNotSent:
        // The automatic path goes on to look for a bootloader that does not
        // come, and ends as BootloaderNotFound.
        return with_auto_box(make(f,
                                  {"entry-not-sent", EXIT_FAILED, true, false,
                                   QStringLiteral("the restart into the bootloader could not be sent{because}; "
                                                  "the wallet's firmware is unchanged")}),
                             QString(), {QStringLiteral("Send 打开设备失败")});
    case UpdateFailure::BootloaderNotFound:
        return bootloader_missing(
            make(f,
                 {"bootloader-not-found", EXIT_FAILED, true, false,
                  QStringLiteral("the wallet was restarted, but its bootloader did not appear or could not be "
                                 "opened{because}; nothing was written")}));
    case UpdateFailure::BootloaderNoPermission:
        return bootloader_missing(make(f,
                                       {"bootloader-no-permission", EXIT_FAILED, true, false,
                                        QStringLiteral("the wallet was restarted, but its bootloader could not be "
                                                       "opened{because}; nothing was written; {hint}")}));
    case UpdateFailure::SeveralBootloaders:
        return bootloader_missing(
            make(f,
                 {"several-bootloaders", EXIT_FAILED, true, false,
                  QStringLiteral("several new bootloaders appeared and the restarted wallet cannot be told apart; "
                                 "nothing was written")}));
    case UpdateFailure::AuthNotSent:
        return with_auto_box(make(f,
                                  {"auth-not-sent", EXIT_FAILED, true, false,
                                   QStringLiteral("the authentication could not be sent{because}; "
                                                  "the wallet was not erased")}),
                             update_failed, {QStringLiteral("Send 程序擦除失败")});
    case UpdateFailure::EraseNoReply:
        // Whether the erase was done is unknown: counted as done.
        return with_auto_box(make(f,
                                  {"erase-no-reply", EXIT_FAILED, true, true,
                                   QStringLiteral("no reply to the erase{because}; the wallet may be erased and "
                                                  "waits in its bootloader")}),
                             update_failed, {QStringLiteral("Send 程序擦除失败")});
    case UpdateFailure::EraseRefused:
        return with_auto_box(make(f,
                                  {"erase-refused", EXIT_FAILED, true, false,
                                   QStringLiteral("the wallet refused the erase; it waits in its bootloader")}),
                             update_failed, {QStringLiteral("Send 程序擦除失败")});
    case UpdateFailure::WriteFailed:
        // The manual download has always shown a lost write as an unanswered check.
        return with_auto_box(
            make(f,
                 {"write-failed", EXIT_FAILED, true, true,
                  QStringLiteral("the wallet was gone or refused report {report} during the write{because}") + erased}),
            update_failed, {QStringLiteral("Send CRC读取失败")});
    case UpdateFailure::CrcNoReply:
        return with_auto_box(make(f,
                                  {"crc-no-reply", EXIT_FAILED, true, true,
                                   QStringLiteral("no reply to the CRC check of segment {segment}{because}") + erased}),
                             update_failed, {QStringLiteral("Send CRC读取失败")});
    case UpdateFailure::CrcRefused:
        return with_auto_box(make(f,
                                  {"crc-refused", EXIT_FAILED, true, true,
                                   QStringLiteral("the wallet refused the CRC check of segment {segment}") + erased}),
                             update_failed, {QStringLiteral("Send CRC校验错误")});
    case UpdateFailure::FinishNotSent:
        return with_auto_box(make(f,
                                  {"finish-not-sent", EXIT_FAILED, true, true,
                                   QStringLiteral("the end of the update could not be sent{because}; "
                                                  "the wallet stays in its bootloader")}),
                             update_failed, {QStringLiteral("Send 程序下载失败")});
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
