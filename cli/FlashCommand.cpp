#include "cli/FlashCommand.h"

#include "cli/CliReport.h"
#include "cli/FlashTool.h"
#include "cli/WalletListing.h"
#include "console/UsbManager.h"
#include "image/FirmwareImage.h"
#include "log/MyLog.h"
#include "protocol/DeviceAccess.h"
#include "protocol/Framing.h"

#include <QTextStream>

namespace {

// The only wallet on the bus, in its application or its bootloader; or an
// empty path and, in `why`, the reason there is none to take.
QString only_wallet(QString& why)
{
    QList<ListedInterface> entries;
    QString error;
    list_wallet_interfaces(entries, error);
    QList<ListedInterface> wallets;
    for (const ListedInterface& entry : qAsConst(entries)) {
        if (entry.mode != WalletMode::Other) {
            wallets << entry;
        }
    }
    if (wallets.size() == 1) {
        return wallets.first().path;
    }
    if (!error.isEmpty()) {
        why = error;
    } else if (wallets.isEmpty()) {
        why = QStringLiteral("no wallet attached");
    } else {
        QStringList listed;
        for (const ListedInterface& wallet : qAsConst(wallets)) {
            listed << mode_name(wallet.mode) + QLatin1Char(' ') + wallet.path;
        }
        why = QStringLiteral("several wallets attached (%1); name one with --device PATH").arg(listed.join("; "));
    }
    return QString();
}

} // namespace

int run_flash(const QString& file, const QString& device, bool json, QTextStream& out, QTextStream& err)
{
    QTextStream& human = json ? err : out;
    CliReport report(out, err, json);
    // The file is read once: what is checked here is what the wallet gets.
    const FirmwareImage image = FirmwareImage::fromFile(file);
    QString why;
    const QString path = device.isEmpty() ? only_wallet(why) : device;
    report.start(QStringLiteral("flash"), file, path);
    if (!image.readable()) {
        return report.end(EXIT_IMAGE, QStringLiteral("cannot read %1: %2").arg(file, image.readError()));
    }
    QSharedPointer<UsbManager> manager = UsbManager::GetInstance();
    // A refused image goes no further than the download's own check, which
    // logs it; only an accepted one needs a wallet.
    if (image.accepted() && path.isEmpty()) {
        return report.end(EXIT_NO_WALLET, why);
    }
    QString error;
    if (image.accepted() && !manager->OpenDevice(path, error)) {
        const QString reason = device_error_text(nullptr);
        if (is_permission_error(reason)) {
            return report.end(EXIT_NO_PERMISSION, permission_hint(path));
        }
        return report.end(EXIT_NO_WALLET,
                          QStringLiteral("cannot open %1: %2%3")
                              .arg(path, error, reason.isEmpty() ? QString() : " (" + reason + ")"));
    }
    if (image.accepted() && listed_mode(path) == WalletMode::Application) {
        report.warnWithoutUdevRule();
    }
    human << "Writing " << file << " to " << path << '\n';
    human.flush();
    const UpdateOutcome outcome = manager->Download(path, image, &report);
    manager->CloseDevice();
    report.finishProgress();
    human << (outcome.ok() ? QStringLiteral("下载成功") : QStringLiteral("下载失败")) << '\n';
    human.flush();
    const QString where = QStringLiteral("; every step is in the run log ") + MyLog::FileName();
    return report.end(exit_status(outcome), failure_reason(outcome, file + QStringLiteral(": "), where));
}
