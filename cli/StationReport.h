#pragma once

#include "cli/CliReport.h"
#include "log/Notice.h"
#include "log/StopRequest.h"
#include "protocol/UpdateObserver.h"
#include "protocol/UpdateOutcome.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <mutex>

#include <atomic>
#include <vector>

class QTextStream;

// One wallet of a run over several, as its report tells it.
struct StationWallet
{
    QString port; // empty where it cannot be told
    QString serial;
    QString path;
    // How its lines and the run log name it: the port, or the path without one.
    QString label() const { return port.isEmpty() ? path : port; }

    QElapsedTimer clock;
    std::atomic<int> step {-1};
    std::atomic<int> sent {0};
    std::atomic<int> total {0};
    std::atomic<bool> ended {false};
    UpdateOutcome outcome; // set before `ended`
    int exit = 0;
    QString reason;
    double seconds = 0;
    // The progress told: JSON events as they fall due, plain lines a tenth apart.
    ProgressPace pace;
    int tenth_told = -1;
};

// What `flash --all` and `flash --watch` tell as they run, from the threads of
// all the wallets at once: a line per wallet as it is taken and as it ends,
// every event with its wallet's port under --json, a progress line per port
// on a terminal, and a summary at the end. Every write is whole and one at a
// time. While it lives it is the process's notice sink; a notice names the
// wallet whose thread shows it.
class StationReport : public NoticeSink
{
public:
    StationReport(QTextStream& out, QTextStream& err, bool json, bool interactive);
    ~StationReport() override;
    StationReport(const StationReport&) = delete;
    StationReport& operator=(const StationReport&) = delete;

    void start(const QString& image, bool watch, const QStringList& ports);
    // A line for the operator, above the progress lines.
    void say(const QString& text);
    // The stop the operator asked for, once a level.
    void tellStop(int running);

    // `wallet` is taken: from here on it is index `index` of the run.
    void walletTaken(StationWallet& wallet, int index);
    void stepStarted(StationWallet& wallet, UpdateStep step);
    void reportsSent(StationWallet& wallet, int sent, int total);
    void walletEnded(StationWallet& wallet, const UpdateOutcome& outcome, const QString& suffix);

    // Redraws the progress lines of the wallets still shown (terminal only).
    void drawBoard(const std::vector<const StationWallet*>& shown);
    // The end: a table, or the summary event, and the run's exit status.
    // `why`, when not ok, is why no wallet was taken at all; its reason goes
    // between `prefix` and `suffix`.
    int summary(const std::vector<const StationWallet*>& wallets, const UpdateOutcome& why, const QString& prefix,
                const QString& suffix);

    void show(NoticeKind kind, const QString& title, const QString& text, const QString& informative) override;

private:
    void event(const QString& type, QJsonObject fields, const StationWallet* wallet);
    void line(const QString& text);
    void clearBoard();
    void redrawBoard();

    QTextStream& out_;
    QTextStream& err_;
    QTextStream& human_;
    bool json_;
    bool interactive_;
    NoticeSink* previous_sink_;
    std::mutex mutex_;
    std::vector<StationWallet*> taken_; // by index
    QStringList board_; // the progress lines drawn last
    StopLevel told_stop_ = StopLevel::None;
    bool watch_ = false;
};

// A wallet's update as its report hears it.
class StationObserver : public UpdateObserver
{
public:
    StationObserver(StationReport& report, StationWallet& wallet)
        : report_(report)
        , wallet_(wallet)
    {
    }
    void stepStarted(UpdateStep step) override { report_.stepStarted(wallet_, step); }
    void dataStarted(int, int reports) override { report_.reportsSent(wallet_, 0, reports); }
    void reportsSent(int sent, int total) override { report_.reportsSent(wallet_, sent, total); }

private:
    StationReport& report_;
    StationWallet& wallet_;
};
