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
    Row& cause(const QString& text)
    {
        row_.cause = text;
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
    // The wallet owner's next steps, shared by the rows they end.
    const QString press_again = QStringLiteral("再按“自动升级”。");
    const QString untouched = QStringLiteral("钱包未被改动。");
    const QString waits
        = QStringLiteral("钱包正在升级模式中等待，并没有损坏：请重新插好钱包，再按“自动升级”完成更新。");
    const QString not_erased = QStringLiteral("钱包还没有被擦除，固件没有改动。");
    const QString support = QStringLiteral("若一直如此，请联系厂商客服。");
    const QString rule
        = QStringLiteral("请安装本程序附带的设备规则（udev 规则），重新插拔钱包，并在这台电脑本机的屏幕前"
                         "登录使用（不要通过远程桌面）");
    const QString stopped_line = QStringLiteral("Send 下载被中断");
    const UpdateFailure f = failure;
    switch (failure) {
    case UpdateFailure::None:
        return Row(f, "none", EXIT_OK, Wallet::Erased)
            .autoBox(QStringLiteral("更新完成"))
            .manualStatus(QStringLiteral("下载成功"))
            .log({QStringLiteral("Send CRC校验成功"), QStringLiteral("Send 程序下载成功")})
            .reason(QStringLiteral("the wallet verified every segment and was told to finish"))
            .cause(QStringLiteral("钱包已更新并通过校验，现在可以拔下钱包。"));
    case UpdateFailure::FolderUnwritable:
        return Row(f, "folder-unwritable", EXIT_SERVER, Wallet::Untouched)
            .autoBox(QStringLiteral("文件打开失败"))
            .reason(QStringLiteral("the firmware folder {detail} cannot be written or is full{because}") + not_touched)
            .cause(QStringLiteral("无法在固件文件夹 {detail} "
                                  "中保存固件：该文件夹不可写入，或磁盘已满。请腾出磁盘空间或检查该文件夹的权限，然后")
                   + press_again + untouched);
    case UpdateFailure::ReleaseNoAnswer:
        return Row(f, "release-no-answer", EXIT_SERVER, Wallet::Untouched)
            .autoBox(fetch_box)
            .reason(QStringLiteral("the release query got no answer: {detail}") + not_touched)
            .cause(
                QStringLiteral("连接不上固件服务器：这台电脑可能没有联网，或服务器暂时无法访问。请检查网络连接，稍后")
                + press_again + untouched);
    case UpdateFailure::ReleaseTlsRefused:
        return Row(f, "release-tls-refused", EXIT_SERVER, Wallet::Untouched)
            .autoBox(fetch_box)
            .reason(QStringLiteral("the firmware server's certificate is not trusted: {detail}") + not_touched)
            .cause(QStringLiteral("固件服务器出示的证书不受信任{server}"
                                  "，为安全起见已停止连接。如果您在使用公司或学校的网络，代理可能替换了证书：请换一个网"
                                  "络（例如手机热点）后")
                   + press_again + untouched);
    case UpdateFailure::ReleaseHttpStatus:
        return Row(f, "release-http-status", EXIT_SERVER, Wallet::Untouched)
            .autoBox(fetch_box)
            .reason(QStringLiteral("the release query was answered with an error: {detail}") + not_touched)
            .cause(QStringLiteral("固件服务器返回了错误（HTTP 状态 {server}），暂时无法获取固件信息。请稍后")
                   + press_again + support + untouched);
    case UpdateFailure::AnswerRefused:
        return Row(f, "answer-refused", EXIT_SERVER, Wallet::Untouched)
            .autoBox(fetch_box)
            .reason(QStringLiteral("the release answer is refused: {detail}") + not_touched)
            .cause(
                QStringLiteral(
                    "固件服务器的回答无法使用（格式不对、内容过大，或给出的文件名无法保存），因此没有下载固件。请稍后")
                + press_again + support + untouched);
    case UpdateFailure::DownloadFailed:
        return Row(f, "download-failed", EXIT_SERVER, Wallet::Untouched)
            .autoBox(QStringLiteral("网络连接出错"))
            .reason(QStringLiteral("the firmware download failed: {detail}") + not_touched)
            .cause(QStringLiteral("下载固件时连接中断或服务器出错。请检查网络连接，稍后") + press_again + untouched);
    case UpdateFailure::DigestMismatch:
        return Row(f, "digest-mismatch", EXIT_SERVER, Wallet::Untouched)
            .autoBox(QStringLiteral("文件下载错误"))
            .reason(QStringLiteral("the firmware's MD5 does not match the release answer: {detail}") + not_touched)
            .cause(QStringLiteral(
                       "下载的固件与服务器给出的校验值不符，可能是传输出错或服务器正在更新，因此没有写入钱包。请稍后")
                   + press_again);
    case UpdateFailure::DownloadedImageRefused:
        return Row(f, "downloaded-image-refused", EXIT_SERVER, Wallet::Untouched)
            .autoBox(image_box)
            .reason(QStringLiteral("the downloaded firmware image is refused: {detail}") + not_touched)
            .cause(QStringLiteral("下载的固件文件内容有误，因此没有写入钱包。请稍后") + press_again + support);
    case UpdateFailure::ImageUnreadable:
        return Row(f, "image-unreadable", EXIT_IMAGE, Wallet::Untouched)
            .autoBox(image_box)
            .log({image_line})
            .reason(QStringLiteral("the image cannot be read: {detail}") + not_touched)
            .cause(QStringLiteral("无法读取固件文件 {file}：文件不存在或无法打开。请确认文件后重试。") + untouched);
    case UpdateFailure::ImageRefused:
        return Row(f, "image-refused", EXIT_IMAGE, Wallet::Untouched)
            .autoBox(image_box)
            .log({image_line})
            .reason(QStringLiteral("the image is refused: {detail}") + not_touched)
            .cause(QStringLiteral("固件文件 {file} 格式错误（{detail}），没有写入钱包。请选择正确的固件文件。"));
    case UpdateFailure::NoWallet:
        return Row(f, "no-wallet", EXIT_NO_WALLET, Wallet::Untouched)
            .autoBox(wallet_box)
            .reason(QStringLiteral("no wallet attached{because}"))
            .cause(QStringLiteral("没有找到钱包。请把钱包插到这台电脑上，然后") + press_again);
    case UpdateFailure::SeveralWallets:
        // The windows take the first wallet listed.
        return Row(f, "several-wallets", EXIT_NO_WALLET, Wallet::Untouched)
            .reason(QStringLiteral("several wallets attached ({detail}); name one with --device PATH or --port PORT"))
            .cause(QStringLiteral("连接了不止一个钱包。请只留下要更新的那一个，拔下其他钱包后再试。"));
    case UpdateFailure::NoWalletOnPort:
        return Row(f, "no-wallet-on-port", EXIT_NO_WALLET, Wallet::Untouched)
            .reason(QStringLiteral("no wallet on port {detail}; 'tessaro-flash devices' lists the ports"))
            .cause(QStringLiteral(
                "所指定的端口 {detail} 上没有钱包。请把钱包插到该端口，或指定钱包实际所在的端口后再试。"));
    case UpdateFailure::WalletNotConnected:
        return Row(f, "wallet-not-connected", EXIT_NO_WALLET, Wallet::Untouched)
            .manualBox(NoticeKind::Warning, QStringLiteral("下载文件"), QStringLiteral("设备未打开"))
            .log({QStringLiteral("Send 设备未打开")})
            .reason(QStringLiteral("no wallet is connected") + not_touched)
            .cause(QStringLiteral("还没有连接钱包。请在列表中选择钱包并按“连接设备”，然后再按“下载”。"));
    case UpdateFailure::NotCommandInterface:
        // Another interface would take the restart, ignore it, and leave the
        // search to time out.
        return Row(f, "not-a-command-interface", EXIT_NO_WALLET, Wallet::Untouched)
            .reason(QStringLiteral("{detail} is neither a wallet's command interface nor a bootloader; "
                                   "'tessaro-flash devices' lists them")
                    + not_touched)
            .cause(QStringLiteral("所选的设备不是钱包的升级接口。请在列表中重新选择钱包。") + untouched);
    case UpdateFailure::WalletUnopenable:
        return Row(f, "wallet-unopenable", EXIT_NO_WALLET, Wallet::Untouched)
            .autoBox(wallet_box)
            .reason(QStringLiteral("the wallet {detail} cannot be opened{because}") + not_touched)
            .cause(
                QStringLiteral("找到了钱包，但无法打开它，它可能正被其他程序使用。请关闭其他钱包程序，重新插拔钱包后")
                + press_again + untouched);
    case UpdateFailure::WalletNoPermission:
        // Refused before anything was sent: the hint is the whole story.
        return Row(f, "wallet-no-permission", EXIT_NO_PERMISSION, Wallet::Untouched)
            .autoBox(wallet_box)
            .reason(QStringLiteral("{hint}"))
            .cause(QStringLiteral("找到了钱包，但这台电脑不允许本程序打开它。") + rule + QStringLiteral("，然后")
                   + press_again + untouched);
    case UpdateFailure::WalletBusy:
        // To the windows, a wallet that cannot be opened; the debug output
        // names the holder. {because} is the holder: " (pid 123 (tessaro-flash))".
        return Row(f, "wallet-busy", EXIT_BUSY, Wallet::Untouched)
            .autoBox(wallet_box)
            .reason(QStringLiteral("the wallet {detail} is being updated by another process{because}") + not_touched)
            .cause(QStringLiteral("这个钱包正由另一个程序更新。请等它完成后再试。") + untouched);
    case UpdateFailure::EntryNotSent:
        // The automatic path goes on to look for a bootloader that does not
        // come, and ends as BootloaderNotFound.
        return Row(f, "entry-not-sent", EXIT_FAILED, Wallet::Touched)
            .log({QStringLiteral("Send 打开设备失败")})
            .reason(QStringLiteral("the restart into the bootloader could not be sent{because}; "
                                   "the wallet's firmware is unchanged"))
            .cause(QStringLiteral("没能让钱包重启进入升级模式，钱包可能已被拔出。") + not_erased
                   + QStringLiteral("请重新插好钱包，") + press_again);
    case UpdateFailure::BootloaderNotFound:
        return Row(f, "bootloader-not-found", EXIT_FAILED, Wallet::Touched)
            .autoBox(bootloader_box)
            .manualBox(NoticeKind::Warning, QStringLiteral("下载"), list_box)
            .log({list_line})
            .reason(QStringLiteral("the wallet was restarted, but its bootloader did not appear or could not be "
                                   "opened{because}; nothing was written"))
            .cause(QStringLiteral("钱包重启后没有以升级模式重新出现。") + not_erased
                   + QStringLiteral("请拔下钱包再重新插上，然后") + press_again);
    case UpdateFailure::BootloaderNoPermission:
        return Row(f, "bootloader-no-permission", EXIT_FAILED, Wallet::Touched)
            .autoBox(bootloader_box)
            .manualBox(NoticeKind::Warning, QStringLiteral("下载"), list_box)
            .log({list_line})
            .reason(QStringLiteral("the wallet was restarted, but its bootloader could not be opened{because}; "
                                   "nothing was written; {hint}"))
            .cause(QStringLiteral("钱包已重启进入升级模式，但这台电脑不允许本程序打开它。") + not_erased + rule
                   + QStringLiteral("，然后") + press_again);
    case UpdateFailure::SeveralBootloaders:
        return Row(f, "several-bootloaders", EXIT_FAILED, Wallet::Touched)
            .autoBox(bootloader_box)
            .manualBox(NoticeKind::Warning, QStringLiteral("下载"), list_box)
            .log({list_line})
            .reason(QStringLiteral("several new bootloaders appeared and the restarted wallet cannot be told "
                                   "apart; nothing was written"))
            .cause(QStringLiteral("同时出现了多个处于升级模式的钱包，无法确定要更新哪一个。") + not_erased
                   + QStringLiteral("请只留下一个钱包，重新插拔后") + press_again);
    case UpdateFailure::AuthNotSent:
        return Row(f, "auth-not-sent", EXIT_FAILED, Wallet::Touched)
            .autoBox(update_box)
            .log({erase_line})
            .reason(QStringLiteral("the authentication could not be sent{because}; the wallet was not erased"))
            .cause(QStringLiteral("钱包在写入开始前被拔出或没有响应。") + not_erased
                   + QStringLiteral("请重新插好钱包，") + press_again);
    case UpdateFailure::EraseNoReply:
        // Whether the erase was done is unknown: counted as done.
        return Row(f, "erase-no-reply", EXIT_FAILED, Wallet::Erased)
            .autoBox(update_box)
            .log({erase_line})
            .reason(QStringLiteral("no reply to the erase{because}; the wallet may be erased and waits in its "
                                   "bootloader"))
            .cause(QStringLiteral("钱包在擦除时没有响应，可能已被拔出，固件可能已被擦除。") + waits);
    case UpdateFailure::EraseRefused:
        return Row(f, "erase-refused", EXIT_FAILED, Wallet::Touched)
            .autoBox(update_box)
            .log({erase_line})
            .reason(QStringLiteral("the wallet refused the erase; it waits in its bootloader"))
            .cause(QStringLiteral("钱包拒绝了擦除，固件没有被擦除。钱包正在升级模式中等待：请重新插拔钱包，")
                   + press_again);
    case UpdateFailure::WriteFailed:
        return Row(f, "write-failed", EXIT_FAILED, Wallet::Erased)
            .autoBox(update_box)
            .log({crc_line})
            .reason(QStringLiteral("the wallet was gone or refused report {report} during the write{because}") + erased)
            .cause(QStringLiteral("写入过程中钱包被拔出，或拒绝了数据。固件已被擦除。") + waits);
    case UpdateFailure::CrcNoReply:
        return Row(f, "crc-no-reply", EXIT_FAILED, Wallet::Erased)
            .autoBox(update_box)
            .log({crc_line})
            .reason(QStringLiteral("no reply to the CRC check of segment {segment}{because}") + erased)
            .cause(QStringLiteral("写入后钱包没有回应校验，可能已被拔出。") + waits);
    case UpdateFailure::CrcRefused:
        return Row(f, "crc-refused", EXIT_FAILED, Wallet::Erased)
            .autoBox(update_box)
            .log({QStringLiteral("Send CRC校验错误")})
            .reason(QStringLiteral("the wallet refused the CRC check of segment {segment}") + erased)
            .cause(QStringLiteral("钱包校验写入的固件时发现不一致，没有启用新固件。钱包正在升级模式中等待：请")
                   + press_again + QStringLiteral("如果再次失败，请联系厂商客服。"));
    case UpdateFailure::FinishNotSent:
        return Row(f, "finish-not-sent", EXIT_FAILED, Wallet::Erased)
            .autoBox(update_box)
            .log({QStringLiteral("Send 程序下载失败")})
            .reason(QStringLiteral("the end of the update could not be sent{because}; the wallet stays in its "
                                   "bootloader"))
            .cause(QStringLiteral("固件已写入并通过校验，但结束更新的指令没有送到钱包，钱包可能已被拔出。") + waits);
    // Where the stop came, and so what it left, varies: the row counts the
    // wallet as untouched, and {detail} tells. The windows never stop this way.
    case UpdateFailure::Interrupted:
        return Row(f, "interrupted", EXIT_INTERRUPTED, Wallet::Untouched)
            .log({stopped_line})
            .reason(QStringLiteral("interrupted by Ctrl-C (SIGINT) {detail}"))
            .cause(QStringLiteral(
                "更新在进行中被中断（按下了中断键）。若钱包已被擦除，它正在升级模式中等待：请重新插好钱包，"
                "再运行一次更新。"));
    case UpdateFailure::Terminated:
        return Row(f, "terminated", EXIT_TERMINATED, Wallet::Untouched)
            .log({stopped_line})
            .reason(QStringLiteral("stopped by SIGTERM {detail}"))
            .cause(QStringLiteral(
                "更新被系统终止。若钱包已被擦除，它正在升级模式中等待：请重新插好钱包，再运行一次更新。"));
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

QString fill_failure_text(const QString& text, const FailureFacts& facts)
{
    // An empty field is named as such: the owner sees what was missing.
    const QString file = facts.file.isEmpty() ? QStringLiteral("（未填写文件路径）") : facts.file;
    QString filled = QString(text).replace(QLatin1String("{server}"), facts.server_said);
    return fill_failure_text(filled.replace(QLatin1String("{file}"), file), facts.detail, facts.system_error,
                             facts.segment, facts.report);
}

QString failure_cause(UpdateFailure failure, const FailureFacts& facts)
{
    return fill_failure_text(failure_row(failure).cause, facts);
}

void show_auto_box(UpdateFailure failure, const FailureFacts& facts)
{
    const FailureRow& row = failure_row(failure);
    if (!row.auto_box.isEmpty()) {
        // The box keeps its title and text; only a failure's icon warns.
        const NoticeKind kind = failure == UpdateFailure::None ? NoticeKind::Information : NoticeKind::Warning;
        show_notice(kind, QStringLiteral("提示"), row.auto_box, failure_cause(failure, facts));
    }
}

void show_manual_box(UpdateFailure failure, const FailureFacts& facts)
{
    const FailureRow& row = failure_row(failure);
    if (!row.manual_box.isEmpty()) {
        show_notice(row.manual_box_kind, row.manual_box_title, row.manual_box, failure_cause(failure, facts));
    }
}
