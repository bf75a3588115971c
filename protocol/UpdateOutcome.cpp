#include "protocol/UpdateOutcome.h"

#include "log/StopRequest.h"
#include "protocol/DeviceAccess.h"

UpdateOutcome UpdateOutcome::failed(UpdateFailure failure, const QString& detail)
{
    UpdateOutcome outcome;
    outcome.failure = failure;
    outcome.detail = detail;
    return outcome;
}

UpdateOutcome UpdateOutcome::unopenable(const QString& path, const QString& device_error)
{
    UpdateOutcome outcome = failed(
        is_permission_error(device_error) ? UpdateFailure::WalletNoPermission : UpdateFailure::WalletUnopenable, path);
    outcome.device_error = device_error;
    return outcome;
}

UpdateOutcome UpdateOutcome::stopped(const QString& where, bool erased, bool restarted)
{
    QString left;
    if (!restarted) {
        left = QStringLiteral("; nothing was sent and the wallet was not touched");
    } else if (erased) {
        left = QStringLiteral("; the wallet is erased and waits in its bootloader for the next run");
    } else {
        left = QStringLiteral("; the wallet was not erased and waits in its bootloader for the next run");
    }
    UpdateOutcome outcome = failed(stop_failure(), where + left);
    outcome.stopped_ = true;
    outcome.stopped_restarted_ = restarted;
    outcome.stopped_erased_ = restarted && erased;
    return outcome;
}

QString UpdateOutcome::reason() const
{
    // A path holds no "{hint}", so the hint goes in first.
    QString text = row().reason;
    if (text.contains(QLatin1String("{hint}"))) {
        text.replace(QLatin1String("{hint}"), permission_hint(detail));
    }
    return fill_failure_text(text, detail, device_error, segment, report);
}

QStringList UpdateOutcome::logLines() const
{
    QStringList lines;
    for (const QString& line : row().log_lines) {
        lines << fill_failure_text(line, detail, device_error, segment, report);
    }
    return lines;
}

FailureFacts UpdateOutcome::facts() const
{
    FailureFacts facts;
    facts.detail = detail;
    facts.system_error = device_error;
    facts.file = file;
    facts.server_said = server_said;
    facts.segment = segment;
    facts.report = report;
    return facts;
}
