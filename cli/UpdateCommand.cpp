#include "cli/UpdateCommand.h"

#include "cli/CliReport.h"
#include "cli/FlashTool.h"
#include "cli/WalletListing.h"
#include "image/FirmwareImage.h"
#include "log/Settings.h"
#include "net/ServerConfig.h"
#include "update/AutoUpdate.h"

#include <QTextStream>

int run_update(const QString& server, const QString& ca, bool json, QTextStream& out, QTextStream& err)
{
    if (!server.isEmpty()) {
        settings().server_base = normalized_base(server);
    }
    QString error;
    if (!ca.isEmpty() && !add_trusted_ca_file(ca, &error)) {
        err << "tessaro-flash: " << error << '\n';
        return EXIT_USAGE;
    }
    // Under --json stdout carries the events only.
    QTextStream& human = json ? err : out;
    CliReport report(out, err, json);
    report.start(QStringLiteral("update"), QString(), QString());
    human << "Release query: " << release_address() << '\n';
    human.flush();
    // Taken before the restart, which the warning is about.
    const bool application = listed_mode(QString()) == WalletMode::Application;
    const UpdateOutcome outcome = run_auto_update(
        [&](const FirmwareImage& image, const BootloaderTarget& target) {
            if (application) {
                report.warnWithoutUdevRule();
            }
            human << "Writing " << image.path() << '\n';
            human.flush();
            return flash_update(image, target, FlashProgress(), &report);
        },
        &report);
    return report.end(exit_status(outcome), failure_reason(outcome));
}
