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
// empty path and, in `why`, the failure that there is none to take.
QString only_wallet(UpdateOutcome& why)
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
    if (!error.isEmpty() || wallets.isEmpty()) {
        why = UpdateOutcome::failed(UpdateFailure::NoWallet);
        why.device_error = error;
    } else {
        QStringList listed;
        for (const ListedInterface& wallet : qAsConst(wallets)) {
            listed << mode_name(wallet.mode) + QLatin1Char(' ') + wallet.path;
        }
        why = UpdateOutcome::failed(UpdateFailure::SeveralWallets, listed.join("; "));
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
    UpdateOutcome why;
    const QString path = device.isEmpty() ? only_wallet(why) : device;
    report.start(QStringLiteral("flash"), file, path);
    if (!image.readable()) {
        return report.end(UpdateOutcome::failed(UpdateFailure::ImageUnreadable, file + ": " + image.readError()));
    }
    QSharedPointer<UsbManager> manager = UsbManager::GetInstance();
    // A refused image goes no further than the download's own check, which
    // logs it; only an accepted one needs a wallet.
    if (image.accepted() && path.isEmpty()) {
        return report.end(why);
    }
    QString error;
    if (image.accepted() && !manager->OpenDevice(path, error)) {
        const QString reason = device_error_text(nullptr);
        return report.end(UpdateOutcome::unopenable(path, reason.isEmpty() ? error : reason));
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
    return report.end(outcome, file + QStringLiteral(": "), where);
}
