#include "cli/CliReport.h"

#include "cli/FlashTool.h"
#include "log/Settings.h"
#include "protocol/DeviceAccess.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QTextStream>

#include <utility>

CliReport::CliReport(QTextStream& out, QTextStream& err, bool json)
    : out_(out)
    , err_(err)
    , json_(json)
    , previous_sink_(settings().notices)
    , bar_(err, stderr_is_terminal())
{
    settings().notices = this;
    stop_connection_
        = QObject::connect(StopNotifier::instance(), &StopNotifier::requested, [this](StopLevel) { tellStop(); });
}

CliReport::~CliReport()
{
    QObject::disconnect(stop_connection_);
    settings().notices = previous_sink_;
}

void CliReport::tellStop()
{
    const StopLevel level = stop_level();
    if (level == told_stop_) {
        return;
    }
    told_stop_ = level;
    QString text;
    switch (level) {
    case StopLevel::None:
        return;
    case StopLevel::NoNewWallets:
        text = wallet_taken_ ? QStringLiteral("interrupted: the running update goes on to its end; interrupt "
                                              "again to stop it at the next block boundary")
                             : QStringLiteral("interrupted: stopping before anything is sent to the wallet");
        break;
    case StopLevel::AtBlockBoundary:
        text = QStringLiteral("stopping at the next block boundary: a restarted wallet will wait in its bootloader");
        break;
    }
    bar_.finish();
    err_ << "tessaro-flash: " << text << '\n';
    err_.flush();
    event(QStringLiteral("stop"), {{QStringLiteral("level"), stop_level_name(level)}});
}

bool ProgressPace::due(int sent, int total)
{
    const int percent = total > 0 ? static_cast<int>(100LL * sent / total) : 100;
    if (sent != total && percent == percent_ && since_.isValid() && since_.elapsed() < 100) {
        return false;
    }
    percent_ = percent;
    since_.start();
    return true;
}

QString stop_level_name(StopLevel level)
{
    switch (level) {
    case StopLevel::None:
        break;
    case StopLevel::NoNewWallets:
        return QStringLiteral("no-new-wallets");
    case StopLevel::AtBlockBoundary:
        return QStringLiteral("block-boundary");
    }
    return QString();
}

void write_event(QTextStream& out, const QString& type, QJsonObject fields, const QJsonValue& port)
{
    fields.insert(QStringLiteral("event"), type);
    fields.insert(QStringLiteral("schema"), CliReport::kSchemaVersion);
    fields.insert(QStringLiteral("port"), port);
    out << QJsonDocument(fields).toJson(QJsonDocument::Compact) << '\n';
    out.flush();
}

QJsonObject end_fields(int exit_code, const QString& reason, const QString& failure)
{
    QJsonObject fields {{QStringLiteral("outcome"), exit_code == EXIT_OK ? "success" : "failure"},
                        {QStringLiteral("exit"), exit_code}};
    if (exit_code != EXIT_OK) {
        fields.insert(QStringLiteral("reason"), reason);
        if (!failure.isEmpty()) {
            fields.insert(QStringLiteral("failure"), failure);
        }
    }
    return fields;
}

void CliReport::event(const QString& type, QJsonObject fields)
{
    if (json_) {
        write_event(out_, type, std::move(fields), port_);
    }
}

void CliReport::setPort(const QString& port)
{
    port_ = port.isEmpty() ? QJsonValue() : QJsonValue(port);
}

void CliReport::start(const QString& command, const QString& image, const QString& device)
{
    event(QStringLiteral("start"),
          {{QStringLiteral("command"), command},
           {QStringLiteral("image"), image.isEmpty() ? QJsonValue() : QJsonValue(image)},
           {QStringLiteral("device"), device.isEmpty() ? QJsonValue() : QJsonValue(device)}});
}

void CliReport::finishProgress()
{
    bar_.finish();
}

int CliReport::end(int exit_code, const QString& reason)
{
    return finish(exit_code, reason, QString());
}

int CliReport::end(const UpdateOutcome& outcome, const QString& prefix, const QString& suffix)
{
    const FailureRow& row = outcome.row();
    return finish(row.exit, outcome.ok() ? QString() : prefix + outcome.reason() + suffix, row.name);
}

int CliReport::finish(int exit_code, const QString& reason, const QString& failure)
{
    tellStop();
    bar_.finish();
    if (exit_code != EXIT_OK) {
        err_ << "tessaro-flash: " << reason << '\n';
        err_.flush();
    }
    event(QStringLiteral("end"), end_fields(exit_code, reason, failure));
    return exit_code;
}

void CliReport::warnWithoutUdevRule()
{
    const QString warning = missing_udev_rule_warning();
    if (!warning.isEmpty()) {
        bar_.finish();
        err_ << "tessaro-flash: " << warning << '\n';
        err_.flush();
    }
}

void CliReport::stepStarted(UpdateStep step)
{
    // The steps run in order: from the restart on, the wallet is taken.
    wallet_taken_ = wallet_taken_ || step >= UpdateStep::BootloaderEntry;
    tellStop();
    event(QStringLiteral("step"), {{QStringLiteral("step"), step_name(step)}});
}

void CliReport::dataStarted(int, int reports)
{
    // Each report is 64 bytes on the wire.
    bar_.setRange(0, reports, 64);
    bar_.setValue(0);
    progress_pace_.restart();
    reportsSent(0, reports);
}

void CliReport::reportsSent(int sent, int total)
{
    tellStop();
    bar_.setValue(sent);
    if (!progress_pace_.due(sent, total)) {
        return;
    }
    event(QStringLiteral("progress"), {{QStringLiteral("sent"), sent}, {QStringLiteral("total"), total}});
}

void CliReport::show(NoticeKind, const QString& title, const QString& text, const QString&)
{
    // The lines the command line has always printed for the window's boxes.
    // What the box adds below speaks of the window's button; the end line's
    // reason says what happened here.
    bar_.finish();
    err_ << QStringLiteral("提示: ") << text << '\n';
    err_.flush();
    event(QStringLiteral("notice"), {{QStringLiteral("title"), title}, {QStringLiteral("text"), text}});
}
