#include "cli/UpdateCommand.h"

#include "app/AutoUpdate.h"
#include "app/UserNotice.h"
#include "cli/FlashTool.h"
#include "cli/TerminalProgress.h"
#include "net/ServerConfig.h"
#include "protocol/FlashUpdate.h"

#include <QTextStream>

int run_update(const QString& server, const QString& ca, QTextStream& out, QTextStream& err)
{
    if (!server.isEmpty()) {
        set_server_base(server);
    }
    QString error;
    if (!ca.isEmpty() && !add_trusted_ca_file(ca, &error)) {
        err << "tessaro-flash: " << error << '\n';
        return EXIT_USAGE;
    }
    // Nothing here waits for an answer: every message becomes a line on stderr.
    set_notice_channel(NoticeChannel::Stderr);
    out << "Release query: " << release_address() << '\n';
    out.flush();

    TerminalProgress bar(err, stderr_is_terminal());
    const bool updated = run_auto_update([&](const QString& path) {
        out << "Writing " << path << '\n';
        out.flush();
        FlashProgress progress;
        progress.setRange = [&](int low, int high) { bar.setRange(low, high); };
        progress.setValue = [&](int value) { bar.setValue(value); };
        const bool ok = flash_update(path, progress);
        bar.finish();
        return ok;
    });
    err.flush();
    return updated ? EXIT_OK : EXIT_FAILED;
}
