#include "cli/StationReport.h"

#include "cli/CliReport.h"
#include "cli/TerminalProgress.h"
#include "log/ExitStatus.h"
#include "log/Settings.h"
#include "log/WalletThread.h"
#include "protocol/UpdateStep.h"

#include <QJsonArray>
#include <QTextStream>

namespace {

constexpr int kBarWidth = 30;

QString percent_bar(int sent, int total)
{
    const int percent = total > 0 ? static_cast<int>(100LL * sent / total) : 0;
    return QStringLiteral("%1 %2%  %3/%4 KiB")
        .arg(progress_bar(percent, kBarWidth))
        .arg(percent, 3)
        .arg(sent * 64 / 1024.0, 0, 'f', 1)
        .arg(total * 64 / 1024.0, 0, 'f', 1);
}

QJsonValue text_or_null(const QString& text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

StationReport::StationReport(QTextStream& out, QTextStream& err, bool json, bool interactive)
    : out_(out)
    , err_(err)
    , human_(json ? err : out)
    , json_(json)
    , interactive_(interactive)
    , previous_sink_(settings().notices)
{
    settings().notices = this;
}

StationReport::~StationReport()
{
    settings().notices = previous_sink_;
}

void StationReport::event(const QString& type, QJsonObject fields, const StationWallet* wallet)
{
    if (json_) {
        write_event(out_, type, std::move(fields), wallet != nullptr ? text_or_null(wallet->port) : QJsonValue());
    }
}

void StationReport::clearBoard()
{
    if (!board_.isEmpty()) {
        // Up over the progress lines, and erase them and all below.
        err_ << QStringLiteral("\x1b[%1A\x1b[J").arg(board_.size());
        err_.flush();
    }
}

void StationReport::redrawBoard()
{
    for (const QString& text : qAsConst(board_)) {
        err_ << text << '\n';
    }
    err_.flush();
}

void StationReport::line(const QString& text)
{
    clearBoard();
    human_ << text << '\n';
    human_.flush();
    redrawBoard();
}

void StationReport::say(const QString& text)
{
    const std::lock_guard<std::mutex> locked(mutex_);
    line(text);
}

void StationReport::start(const QString& image, bool watch, const QStringList& ports)
{
    const std::lock_guard<std::mutex> locked(mutex_);
    watch_ = watch;
    QJsonArray limited;
    for (const QString& port : ports) {
        limited.append(port);
    }
    event(QStringLiteral("start"),
          {{QStringLiteral("command"), QStringLiteral("flash")},
           {QStringLiteral("image"), image},
           {QStringLiteral("device"), QJsonValue()},
           {QStringLiteral("mode"), watch ? QStringLiteral("watch") : QStringLiteral("all")},
           {QStringLiteral("ports"), ports.isEmpty() ? QJsonValue() : QJsonValue(limited)}},
          nullptr);
    const QString where = ports.isEmpty() ? QStringLiteral("every wallet")
                                          : QStringLiteral("every wallet on port ") + ports.join(QStringLiteral(", "));
    line(QStringLiteral("Writing %1 to %2 %3: every wallet taken will be erased and rewritten.")
             .arg(image, where,
                  watch ? QStringLiteral("attached now or plugged in later") : QStringLiteral("attached")));
    if (watch) {
        line(QStringLiteral("Ctrl-C once: take no new wallet and let the running updates end; twice: stop them at "
                            "the next block boundary."));
    }
}

void StationReport::tellStop(int running)
{
    const StopLevel level = stop_level();
    const std::lock_guard<std::mutex> locked(mutex_);
    if (level == told_stop_) {
        return;
    }
    told_stop_ = level;
    QString text;
    switch (level) {
    case StopLevel::None:
        return;
    case StopLevel::NoNewWallets:
        text = running > 0 ? QStringLiteral("interrupted: no new wallet is taken; the %1 running update(s) go on to "
                                            "their end; interrupt again to stop them at the next block boundary")
                                 .arg(running)
                           : QStringLiteral("interrupted: no wallet is being updated; stopping");
        break;
    case StopLevel::AtBlockBoundary:
        text = QStringLiteral("stopping every running update at the next block boundary: a restarted wallet will "
                              "wait in its bootloader");
        break;
    }
    line(QStringLiteral("tessaro-flash: ") + text);
    event(QStringLiteral("stop"), {{QStringLiteral("level"), stop_level_name(level)}}, nullptr);
}

void StationReport::walletTaken(StationWallet& wallet, int index)
{
    const std::lock_guard<std::mutex> locked(mutex_);
    if (taken_.size() <= std::size_t(index)) {
        taken_.resize(std::size_t(index) + 1, nullptr);
    }
    taken_[std::size_t(index)] = &wallet;
    wallet.clock.start();
    event(QStringLiteral("wallet"),
          {{QStringLiteral("device"), wallet.path}, {QStringLiteral("serial"), text_or_null(wallet.serial)}}, &wallet);
    line(QStringLiteral("%1: writing to %2%3")
             .arg(wallet.label(), wallet.path,
                  wallet.serial.isEmpty() ? QString() : QStringLiteral(" (serial %1)").arg(wallet.serial)));
}

void StationReport::stepStarted(StationWallet& wallet, UpdateStep step)
{
    wallet.step = static_cast<int>(step);
    const std::lock_guard<std::mutex> locked(mutex_);
    event(QStringLiteral("step"), {{QStringLiteral("step"), step_name(step)}}, &wallet);
}

void StationReport::reportsSent(StationWallet& wallet, int sent, int total)
{
    wallet.sent = sent;
    wallet.total = total;
    const int percent = total > 0 ? static_cast<int>(100LL * sent / total) : 100;
    const std::lock_guard<std::mutex> locked(mutex_);
    if (json_ && wallet.pace.due(sent, total)) {
        event(QStringLiteral("progress"), {{QStringLiteral("sent"), sent}, {QStringLiteral("total"), total}}, &wallet);
    }
    // Off a terminal a line a tenth, so a station's log shows how far each got.
    if (!interactive_ && percent / 10 != wallet.tenth_told) {
        wallet.tenth_told = percent / 10;
        line(QStringLiteral("%1: %2%").arg(wallet.label()).arg(percent));
    }
}

void StationReport::walletEnded(StationWallet& wallet, const UpdateOutcome& outcome, const QString& suffix)
{
    const std::lock_guard<std::mutex> locked(mutex_);
    const FailureRow& row = outcome.row();
    wallet.outcome = outcome;
    wallet.exit = row.exit;
    wallet.reason = outcome.ok() ? QString() : outcome.reason() + suffix;
    wallet.seconds = wallet.clock.isValid() ? wallet.clock.elapsed() / 1000.0 : 0.0;
    QJsonObject fields = end_fields(wallet.exit, wallet.reason, row.name);
    fields.insert(QStringLiteral("seconds"), wallet.seconds);
    event(QStringLiteral("end"), fields, &wallet);
    line(outcome.ok() ? QStringLiteral("%1: 下载成功 (%2 s)").arg(wallet.label()).arg(wallet.seconds, 0, 'f', 1)
                      : QStringLiteral("%1: 下载失败: %2").arg(wallet.label(), wallet.reason));
    wallet.ended = true;
}

void StationReport::drawBoard(const std::vector<const StationWallet*>& shown)
{
    if (!interactive_) {
        return;
    }
    QStringList lines;
    for (const StationWallet* wallet : shown) {
        QString state;
        if (wallet->ended) {
            // A station lets it be until it is unplugged; the operator is told to.
            state = (wallet->exit == EXIT_OK ? QStringLiteral("done, verified")
                                             : QStringLiteral("failed (exit %1)").arg(wallet->exit))
                + (watch_ ? QStringLiteral(": unplug it") : QString());
        } else if (wallet->step == static_cast<int>(UpdateStep::Write) && wallet->total > 0) {
            state = percent_bar(wallet->sent, wallet->total);
        } else if (wallet->step >= 0) {
            state = step_name(static_cast<UpdateStep>(int(wallet->step)));
        } else {
            state = QStringLiteral("starting");
        }
        lines << QStringLiteral("%1  %2").arg(wallet->label(), -12).arg(state);
    }
    const std::lock_guard<std::mutex> locked(mutex_);
    if (lines == board_) {
        return;
    }
    clearBoard();
    board_ = lines;
    redrawBoard();
}

int StationReport::summary(const std::vector<const StationWallet*>& wallets, const UpdateOutcome& why,
                           const QString& prefix, const QString& suffix)
{
    const std::lock_guard<std::mutex> locked(mutex_);
    clearBoard();
    board_.clear();
    QVector<int> codes;
    QJsonArray rows;
    for (const StationWallet* wallet : wallets) {
        codes << wallet->exit;
        rows.append(QJsonObject {{QStringLiteral("port"), text_or_null(wallet->port)},
                                 {QStringLiteral("serial"), text_or_null(wallet->serial)},
                                 {QStringLiteral("outcome"), wallet->exit == EXIT_OK ? "success" : "failure"},
                                 {QStringLiteral("failure"), wallet->outcome.row().name},
                                 {QStringLiteral("exit"), wallet->exit},
                                 {QStringLiteral("touched"), wallet->outcome.touched()},
                                 {QStringLiteral("erased"), wallet->outcome.erased()},
                                 {QStringLiteral("reason"), text_or_null(wallet->reason)},
                                 {QStringLiteral("seconds"), wallet->seconds}});
    }
    if (!why.ok()) {
        codes << why.row().exit;
    }
    const int exit_code = worst_exit(codes);
    QJsonObject fields {{QStringLiteral("wallets"), rows}, {QStringLiteral("exit"), exit_code}};
    if (!why.ok()) {
        fields.insert(QStringLiteral("reason"), prefix + why.reason() + suffix);
        fields.insert(QStringLiteral("failure"), why.row().name);
    }
    event(QStringLiteral("summary"), fields, nullptr);
    if (!wallets.empty()) {
        human_ << QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                      .arg(QStringLiteral("PORT"), -12)
                      .arg(QStringLiteral("SERIAL"), -14)
                      .arg(QStringLiteral("OUTCOME"), -8)
                      .arg(QStringLiteral("EXIT"), 4)
                      .arg(QStringLiteral("SECONDS"), 7)
                      .arg(QStringLiteral("REASON"));
        for (const StationWallet* wallet : wallets) {
            human_ << QStringLiteral("%1  %2  %3  %4  %5  %6\n")
                          .arg(wallet->port.isEmpty() ? QStringLiteral("-") : wallet->port, -12)
                          .arg(wallet->serial.isEmpty() ? QStringLiteral("-") : wallet->serial, -14)
                          .arg(wallet->exit == EXIT_OK ? QStringLiteral("success") : QStringLiteral("failure"), -8)
                          .arg(wallet->exit, 4)
                          .arg(wallet->seconds, 7, 'f', 1)
                          .arg(wallet->outcome.ok() ? QString() : wallet->outcome.row().name);
        }
        human_.flush();
    }
    int verified = 0;
    for (const StationWallet* wallet : wallets) {
        verified += wallet->exit == EXIT_OK ? 1 : 0;
    }
    if (!why.ok()) {
        err_ << "tessaro-flash: " << prefix << why.reason() << suffix << '\n';
    } else if (exit_code != EXIT_OK) {
        err_ << QStringLiteral("tessaro-flash: %1 of %2 wallets verified; exit status %3: %4%5\n")
                    .arg(verified)
                    .arg(wallets.size())
                    .arg(exit_code)
                    .arg(exit_meaning(ExitCode(exit_code)), suffix);
    } else {
        human_ << QStringLiteral("%1 of %1 wallets verified%2\n").arg(wallets.size()).arg(suffix);
    }
    human_.flush();
    err_.flush();
    return exit_code;
}

void StationReport::show(NoticeKind, const QString& title, const QString& text, const QString&)
{
    const std::lock_guard<std::mutex> locked(mutex_);
    const int index = WalletThread::index();
    const StationWallet* wallet
        = index >= 0 && std::size_t(index) < taken_.size() ? taken_[std::size_t(index)] : nullptr;
    event(QStringLiteral("notice"), {{QStringLiteral("title"), title}, {QStringLiteral("text"), text}}, wallet);
    line((wallet != nullptr ? wallet->label() + QStringLiteral(": ") : QString()) + QStringLiteral("提示: ") + text);
}
