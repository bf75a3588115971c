#include "cli/UpdateCommand.h"

#include "app/AutoUpdate.h"
#include "cli/FlashTool.h"
#include "cli/TerminalProgress.h"
#include "image/FirmwareImage.h"
#include "log/Settings.h"
#include "net/ServerConfig.h"

#include <QTextStream>

int run_update(const QString& server, const QString& ca, QTextStream& out, QTextStream& err)
{
    if (!server.isEmpty()) {
        settings().server_base = normalized_base(server);
    }
    QString error;
    if (!ca.isEmpty() && !add_trusted_ca_file(ca, &error)) {
        err << "tessaro-flash: " << error << '\n';
        return EXIT_USAGE;
    }
    // No notice sink: every message becomes a line on stderr that needs no answer.
    out << "Release query: " << release_address() << '\n';
    out.flush();

    TerminalProgress bar(err, stderr_is_terminal());
    const UpdateOutcome outcome = run_auto_update([&](const FirmwareImage& image, const BootloaderTarget& target) {
        out << "Writing " << image.path() << '\n';
        out.flush();
        FlashProgress progress;
        progress.setRange = [&](int low, int high) { bar.setRange(low, high); };
        progress.setValue = [&](int value) { bar.setValue(value); };
        const UpdateOutcome flashed = flash_update(image, target, progress);
        bar.finish();
        return flashed;
    });
    if (!outcome.ok()) {
        err << "tessaro-flash: " << outcome.reason() << '\n';
    }
    err.flush();
    return outcome.ok() ? EXIT_OK : EXIT_FAILED;
}
