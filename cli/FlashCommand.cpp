#include "cli/FlashCommand.h"

#include "cli/CliReport.h"
#include "cli/FlashStation.h"
#include "cli/FlashTool.h"
#include "cli/StopSignals.h"
#include "cli/WalletListing.h"
#include "image/FirmwareImage.h"
#include "log/MyLog.h"
#include "protocol/DeviceAccess.h"
#include "protocol/DeviceSession.h"
#include "protocol/HIDHelper.h"
#include "protocol/HidPort.h"
#include "update/ManualDownload.h"

#include <QTextStream>

QString run_log_warning()
{
    const QSharedPointer<MyLog> log = MyLog::GetInstance();
    if (log->IsOpen()) {
        return QString();
    }
    return QStringLiteral("warning: the run log %1 cannot be written (%2); the steps are kept nowhere")
        .arg(MyLog::FileName(), log->OpenError());
}

QString run_log_suffix(const QString& log_warning)
{
    return log_warning.isEmpty() ? QStringLiteral("; every step is in the run log ") + MyLog::FileName()
                                 : QStringLiteral("; ") + log_warning;
}

int run_flash(const QString& file, const QString& device, const QString& port, bool json, QTextStream& out,
              QTextStream& err)
{
    install_stop_signals();
    QTextStream& human = json ? err : out;
    CliReport report(out, err, json);
    // The file is read once: what is checked here is what the wallet gets.
    const FirmwareImage image = FirmwareImage::fromFile(file);
    UpdateOutcome why;
    const QString path = chosen_wallet(device, port, why);
    report.setPort(path.isEmpty() ? QString() : hid_port(path));
    report.start(QStringLiteral("flash"), file, path);
    const QString log_warning = run_log_warning();
    if (!log_warning.isEmpty()) {
        err << "tessaro-flash: " << log_warning << '\n';
        err.flush();
    }
    // Whatever ends the run, its last line says the steps were kept nowhere.
    const QString unlogged = log_warning.isEmpty() ? QString() : QStringLiteral("; ") + log_warning;
    if (!image.readable()) {
        return report.end(UpdateOutcome::failed(UpdateFailure::ImageUnreadable, file + ": " + image.readError()),
                          QString(), unlogged);
    }
    // The tool's own session and writer: the window's manager is not linked here.
    DeviceSession session(hid_init() == 0);
    HIDHelper writer(nullptr);
    // A refused image goes no further than the download's own check, which
    // logs it; only an accepted one needs a wallet.
    if (image.accepted() && path.isEmpty()) {
        return report.end(why, QString(), unlogged);
    }
    // Any other interface would take the restart report, ignore it, and leave
    // the search to time out; so nothing is sent to it.
    if (image.accepted() && !device.isEmpty() && listed_mode(device) == WalletMode::Other) {
        return report.end(UpdateOutcome::failed(UpdateFailure::NotCommandInterface, device), QString(), unlogged);
    }
    if (image.accepted()) {
        const UpdateOutcome opened = open_wallet(session, path);
        if (!opened.ok()) {
            return report.end(opened, QString(), unlogged);
        }
    }
    if (image.accepted() && listed_mode(path) == WalletMode::Application) {
        report.warnWithoutUdevRule();
    }
    human << "Writing " << file << " to " << path << '\n';
    human.flush();
    const UpdateOutcome outcome = run_manual_download(session, &writer, path, image, &report);
    session.CloseDevice();
    report.finishProgress();
    human << (outcome.ok() ? QStringLiteral("下载成功") : QStringLiteral("下载失败")) << '\n';
    human.flush();
    if (outcome.ok() && !log_warning.isEmpty()) {
        err << "tessaro-flash: " << log_warning << '\n';
    }
    return report.end(outcome, file + QStringLiteral(": "), run_log_suffix(log_warning));
}

FlashCommand::FlashCommand()
    : Command({"flash",
               {QStringLiteral("FILE.hex")},
               {CliOption::Device, CliOption::Port, CliOption::All, CliOption::Watch, CliOption::Count, CliOption::Json,
                CliOption::Verbose},
               "write a local image to a wallet",
               "Writes a local image to a wallet, as the advanced window's download does. Without\n"
               "--device or --port it takes the one wallet attached, in its application or its\n"
               "bootloader; --device names a wallet's command interface (its application's\n"
               "interface 0) or a bootloader, --port the USB port it is plugged into. Only the\n"
               "bootloader on the restarted wallet's port is written; a wallet another process is\n"
               "updating is left alone (exit status 7).\n"
               "--all writes every wallet attached, each on a thread of its own, side by side; --watch\n"
               "makes a station that also takes each wallet plugged in later, and lets a wallet it\n"
               "has ended be until it is unplugged. Either ends with a table, or under --json a\n"
               "summary event, and the exit status of the worst wallet.",
               "flash fw.hex --device /dev/hidraw3 --json"})
{
}

QString FlashCommand::misuse(const CommandCall& call) const
{
    const QString misused = Command::misuse(call);
    if (!misused.isEmpty()) {
        return misused;
    }
    const bool several = call.isSet(CliOption::All) || call.isSet(CliOption::Watch);
    if (several && call.isSet(CliOption::Device)) {
        return QStringLiteral("--device names one wallet; --all and --watch take every wallet, --port limits them");
    }
    if (!several && call.values(CliOption::Port).size() > 1) {
        return QStringLiteral("--port names one wallet; give it more than once only with --all or --watch");
    }
    if (call.isSet(CliOption::Count)) {
        bool number = false;
        const int count = call.value(CliOption::Count).toInt(&number);
        if (!call.isSet(CliOption::Watch)) {
            return QStringLiteral("--count goes with --watch");
        }
        if (!number || count < 1) {
            return QStringLiteral("--count takes a number of wallets, 1 or more, not '%1'")
                .arg(call.value(CliOption::Count));
        }
    }
    return device_or_port(misused, call);
}

int FlashCommand::run(const CommandCall& call) const
{
    if (call.isSet(CliOption::All) || call.isSet(CliOption::Watch)) {
        StationPlan plan;
        plan.file = call.arguments.first();
        plan.ports = call.values(CliOption::Port);
        plan.watch = call.isSet(CliOption::Watch);
        plan.count = call.value(CliOption::Count).toInt();
        plan.json = call.isSet(CliOption::Json);
        return run_flash_station(plan, call.out, call.err);
    }
    return run_flash(call.arguments.first(), call.value(CliOption::Device), call.value(CliOption::Port),
                     call.isSet(CliOption::Json), call.out, call.err);
}
