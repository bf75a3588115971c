#include "cli/UpdateCommand.h"

#include "cli/CliReport.h"
#include "cli/FlashTool.h"
#include "cli/StopSignals.h"
#include "cli/WalletListing.h"
#include "image/FirmwareImage.h"
#include "net/NetSettings.h"
#include "net/ServerConfig.h"
#include "protocol/HidPort.h"
#include "update/AutoUpdate.h"

#include <QTextStream>
#include <QUrl>

int run_update(const QString& server, const QString& ca, const QString& device, const QString& port, bool json,
               QTextStream& out, QTextStream& err)
{
    if (!server.isEmpty()) {
        net_settings().server_base = normalized_base(server);
    }
    QString error;
    if (!ca.isEmpty() && !add_trusted_ca_file(ca, &error)) {
        err << "tessaro-flash: " << error << '\n';
        return EXIT_USAGE;
    }
    install_stop_signals();
    // Under --json stdout carries the events only.
    QTextStream& human = json ? err : out;
    CliReport report(out, err, json);
    // Which wallet is settled before the server is asked: with several and
    // none named, the run ends here, as flash's does.
    UpdateOutcome why;
    const QString path = chosen_wallet(device, port, why);
    report.setPort(path.isEmpty() ? QString() : hid_port(path));
    report.start(QStringLiteral("update"), QString(), path);
    // With no wallet at all the update runs on to the window's own box.
    if (path.isEmpty() && why.failure != UpdateFailure::NoWallet) {
        return report.end(why);
    }
    if (!device.isEmpty() && listed_mode(device) == WalletMode::Other) {
        return report.end(UpdateOutcome::failed(UpdateFailure::NotCommandInterface, device));
    }
    human << "Release query: " << release_address() << '\n';
    human.flush();
    // Taken before the restart, which the warning is about.
    const bool application = listed_mode(path) == WalletMode::Application;
    const UpdateOutcome outcome = run_auto_update(
        [&](const FirmwareImage& image, const BootloaderTarget& target) {
            if (application) {
                report.warnWithoutUdevRule();
            }
            human << "Writing " << image.path() << '\n';
            human.flush();
            return flash_update(image, target, FlashProgress(), &report);
        },
        &report, path);
    return report.end(outcome);
}

UpdateCommand::UpdateCommand()
    : Command(
        {"update",
         {},
         {CliOption::Device, CliOption::Port, CliOption::Server, CliOption::Ca, CliOption::Json, CliOption::Verbose},
         "the automatic update: the current release from the server onto the wallet",
         "The automatic update: the current release from the firmware server onto the wallet.\n"
         "With several wallets attached, --device or --port names the one to update.",
         "update --server https://fw.example --ca extra.pem --json"})
{
}

QString UpdateCommand::misuse(const CommandCall& call) const
{
    const QString misused = device_or_port(Command::misuse(call), call);
    const QString server = call.value(CliOption::Server);
    // The release query is HTTPS; only the download address it answers may be http.
    if (misused.isEmpty() && call.isSet(CliOption::Server)
        && QUrl(server).scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0) {
        return QStringLiteral("--server takes an https:// address, not '%1'").arg(server);
    }
    return misused;
}

int UpdateCommand::run(const CommandCall& call) const
{
    return run_update(call.value(CliOption::Server), call.value(CliOption::Ca), call.value(CliOption::Device),
                      call.value(CliOption::Port), call.isSet(CliOption::Json), call.out, call.err);
}
