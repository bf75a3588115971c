#pragma once

#include "protocol/UpdateObserver.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QLabel;

// The main window's status line during the automatic update: what is going
// on, step by step, the write counted in KiB with the time left once it can be
// estimated, and at the end what became of it. The line keeps one width, so
// the button beside it stays where it is; a text too long for it is cut, and
// whole in its tooltip.
class UpdateStatusLine : public QObject, public UpdateObserver
{
    Q_OBJECT
public:
    // Goes with `label`.
    explicit UpdateStatusLine(QLabel* label);

    // The image about to be written: its data bytes, for the KiB counts.
    void setImageBytes(qint64 bytes) { image_bytes_ = bytes; }
    // What became of the update.
    void finished(const UpdateOutcome& outcome);
    // The window was asked to close while the update runs.
    void closeRefused();
    // The firmware download has brought this many bytes so far.
    void received(qint64 bytes);
    // The server has sent nothing for a while.
    void serverSilent();

    void stepStarted(UpdateStep step) override;
    void dataStarted(int records, int reports) override;
    void reportsSent(int sent, int total) override;

    // The texts the line shows, one for each kind: the longest of them sets
    // its width.
    static QString stepText(UpdateStep step);
    static QString outcomeText(UpdateFailure failure);
    static QString writeText(qint64 done_bytes, qint64 total_bytes, qint64 left_ms);
    static QString closeRefusedText();
    static QString silentServerText();

signals:
    // A new text went up: what a screen reader reads out next.
    void said(const QString& text);

private:
    void show(const QString& text);

    QLabel* label_;
    qint64 image_bytes_ = 0;
    UpdateStep step_ = UpdateStep::ReleaseQuery;
    QElapsedTimer write_clock_;
    QElapsedTimer close_answer_; // since the last close request was answered
};
