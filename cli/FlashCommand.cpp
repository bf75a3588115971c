#include "cli/FlashCommand.h"

#include "cli/FlashTool.h"
#include "cli/TerminalProgress.h"
#include "cli/WalletListing.h"
#include "console/UsbManager.h"
#include "image/FirmwareImage.h"
#include "log/MyLog.h"
#include "protocol/Framing.h"
#include "protocol/HIDHelper.h"

#include <QObject>
#include <QTextStream>

namespace {

// The only wallet on the bus, in its application or its bootloader, or an
// empty path after saying why not.
QString only_wallet(QTextStream& err)
{
    QList<ListedInterface> entries;
    QString error;
    if (!list_wallet_interfaces(entries, error)) {
        err << "tessaro-flash: " << (error.isEmpty() ? QStringLiteral("no wallet attached") : error) << '\n';
        return QString();
    }
    QList<ListedInterface> wallets;
    for (const ListedInterface& entry : qAsConst(entries)) {
        if (entry.mode != WalletMode::Other) {
            wallets << entry;
        }
    }
    if (wallets.size() == 1) {
        return wallets.first().path;
    }
    if (wallets.isEmpty()) {
        err << "tessaro-flash: no wallet attached\n";
        return QString();
    }
    err << "tessaro-flash: several wallets attached; name one with --device PATH:\n";
    for (const ListedInterface& wallet : qAsConst(wallets)) {
        err << "  " << mode_name(wallet.mode) << '\t' << wallet.path << '\n';
    }
    return QString();
}

} // namespace

int run_flash(const QString& file, const QString& device, QTextStream& out, QTextStream& err)
{
    // The file is read once: what is checked here is what the wallet gets.
    const FirmwareImage image = FirmwareImage::fromFile(file);
    if (!image.readable()) {
        err << "tessaro-flash: cannot read " << file << ": " << image.readError() << '\n';
        return EXIT_USAGE;
    }
    const QString path = device.isEmpty() ? only_wallet(err) : device;
    if (path.isEmpty()) {
        return EXIT_USAGE;
    }
    QSharedPointer<UsbManager> manager = UsbManager::GetInstance();
    QString error;
    if (!manager->OpenDevice(path, error)) {
        const QString why = device_error_text(nullptr);
        err << "tessaro-flash: cannot open " << path << ": " << error << (why.isEmpty() ? QString() : " (" + why + ")")
            << '\n';
        return EXIT_FAILED;
    }

    TerminalProgress bar(err, stderr_is_terminal());
    HIDHelper* writer = manager->flash_writer_.data();
    // The writer reports a range, then one increment per record sent.
    int position_now = 0;
    const auto range = QObject::connect(writer, &HIDHelper::sig_OnSetRange, [&](int low, int high) {
        bar.setRange(low, high);
        position_now = low;
        bar.setValue(position_now);
    });
    const auto position = QObject::connect(writer, &HIDHelper::sig_OnOffetPos, [&](int step) {
        position_now += step;
        bar.setValue(position_now);
    });
    out << "Writing " << file << " to " << path << '\n';
    out.flush();
    const UpdateOutcome outcome = manager->Download(path, image);
    QObject::disconnect(range);
    QObject::disconnect(position);
    bar.finish();
    manager->CloseDevice();

    out << (outcome.ok() ? QStringLiteral("下载成功") : QStringLiteral("下载失败")) << '\n';
    if (!outcome.ok()) {
        err << "tessaro-flash: " << outcome.reason() << "; every step is in the run log " << MyLog::FileName() << '\n';
    }
    return outcome.ok() ? EXIT_OK : EXIT_FAILED;
}
