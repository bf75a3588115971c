#include "cli/FlashCommand.h"

#include "cli/FlashTool.h"
#include "cli/TerminalProgress.h"
#include "cli/WalletListing.h"
#include "console/UsbManager.h"
#include "log/MyLog.h"
#include "protocol/HIDHelper.h"

#include <QFileInfo>
#include <QObject>
#include <QTextStream>

namespace {

// The only application-mode wallet, or an empty path after saying why not.
QString only_wallet(QTextStream& err)
{
    QList<ListedInterface> entries;
    QString error;
    if (!list_wallet_interfaces(entries, error)) {
        err << "tessaro-flash: " << error << '\n';
        return QString();
    }
    QStringList wallets;
    for (const ListedInterface& entry : qAsConst(entries)) {
        if (entry.mode == WalletMode::Application) {
            wallets << entry.path;
        }
    }
    if (wallets.size() == 1) {
        return wallets.first();
    }
    err << "tessaro-flash: " << (wallets.isEmpty() ? "no wallet in application mode found" : "several wallets found")
        << "; name one with --device PATH (see 'tessaro-flash devices')\n";
    return QString();
}

} // namespace

int run_flash(const QString& file, const QString& device, QTextStream& out, QTextStream& err)
{
    if (!QFileInfo(file).isFile()) {
        err << "tessaro-flash: cannot read " << file << '\n';
        return EXIT_USAGE;
    }
    const QString path = device.isEmpty() ? only_wallet(err) : device;
    if (path.isEmpty()) {
        return EXIT_USAGE;
    }
    QSharedPointer<UsbManager> manager = UsbManager::GetInstance();
    QString error;
    if (!manager->OpenDevice(path, error)) {
        err << "tessaro-flash: cannot open " << path << ": " << error << '\n';
        return EXIT_FAILED;
    }

    TerminalProgress bar(err, stderr_is_terminal());
    bool finished = false;
    bool succeeded = false;
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
    const auto outcome = QObject::connect(writer, &HIDHelper::sig_OnDownloadFinished, [&](bool ok) {
        finished = true;
        succeeded = ok;
    });
    out << "Writing " << file << " to " << path << '\n';
    out.flush();
    manager->Send(path, file);
    QObject::disconnect(range);
    QObject::disconnect(position);
    QObject::disconnect(outcome);
    bar.finish();
    manager->CloseDevice();

    const bool ok = finished && succeeded;
    out << (ok ? QStringLiteral("下载成功") : QStringLiteral("下载失败")) << '\n';
    if (!ok) {
        err << "tessaro-flash: the download failed; every step is in the run log " << MyLog::FileName() << '\n';
    }
    return ok ? EXIT_OK : EXIT_FAILED;
}
