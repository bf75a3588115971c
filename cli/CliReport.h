#pragma once

#include "cli/TerminalProgress.h"
#include "log/Notice.h"
#include "log/StopRequest.h"
#include "protocol/UpdateObserver.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>

class QTextStream;

// When a progress event is due: at most one a percent or a tenth of a second,
// and always the last.
class ProgressPace
{
public:
    bool due(int sent, int total);
    void restart() { percent_ = -1; }

private:
    int percent_ = -1;
    QElapsedTimer since_;
};

// One event as a JSON line: its type, the schema and the wallet's port (null
// where it is not known, or the run is not about one wallet) added to `fields`.
void write_event(QTextStream& out, const QString& type, QJsonObject fields, const QJsonValue& port);
// How a `stop` event names the level taken up: "no-new-wallets" or
// "block-boundary"; empty for none.
QString stop_level_name(StopLevel level);
// The fields of an end event: the outcome, the exit status and, for a
// failure, the reason and the failure row's name.
QJsonObject end_fields(int exit_code, const QString& reason, const QString& failure);

// What `flash` and `update` tell their user or script as they run: steps,
// progress, the notices the window would show, and one end. Human output goes
// to stderr; with --json every event is also one JSON object a line on stdout
// (docs/CLI.md). While it lives it is the process's notice sink.
class CliReport : public UpdateObserver, public NoticeSink
{
public:
    static constexpr int kSchemaVersion = 1;

    CliReport(QTextStream& out, QTextStream& err, bool json);
    ~CliReport() override;

    void start(const QString& command, const QString& image, const QString& device);
    // The port of the wallet the run took, carried by every event from here on.
    void setPort(const QString& port);
    // The last line on stderr names the failure; the JSON end event repeats it.
    int end(int exit_code, const QString& reason = QString());
    // The end of an update: the exit status and the reason from the failure's
    // row, the reason between `prefix` and `suffix`; the JSON end event names
    // the failure by its row's name.
    int end(const UpdateOutcome& outcome, const QString& prefix = QString(), const QString& suffix = QString());
    // Ends the progress bar's line, so that what follows starts a line of its own.
    void finishProgress();
    // Before an application-mode wallet restarts: one line when no udev rule
    // will let the user open its bootloader.
    void warnWithoutUdevRule();

    void stepStarted(UpdateStep step) override;
    void dataStarted(int records, int reports) override;
    void reportsSent(int sent, int total) override;
    void show(NoticeKind kind, const QString& title, const QString& text, const QString& informative) override;

private:
    void event(const QString& type, QJsonObject fields);
    int finish(int exit_code, const QString& reason, const QString& failure);

    QTextStream& out_;
    QTextStream& err_;
    bool json_;
    QJsonValue port_;
    NoticeSink* previous_sink_;
    // Tells the operator what the stop they asked for will do, once a level:
    // as the event loop hears of it, or at the next step, progress or end,
    // whichever comes first (a wait for a reply runs no event loop).
    void tellStop();

    TerminalProgress bar_;
    QMetaObject::Connection stop_connection_;
    StopLevel told_stop_ = StopLevel::None;
    bool wallet_taken_ = false; // the restart into the bootloader has begun
    ProgressPace progress_pace_;
};
