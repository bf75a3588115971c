#pragma once

#include <QElapsedTimer>
#include <QString>

class QTextStream;

// A progress bar on the terminal: redrawn in place on a terminal, with the
// bytes sent, the rate and the time left; one plain line per tenth otherwise
// (logs, pipes), so a factory log still shows how far a transfer got.
class TerminalProgress
{
public:
    TerminalProgress(QTextStream& stream, bool interactive);
    // `unit_bytes`: the bytes one step of the value stands for.
    void setRange(int low, int high, int unit_bytes = 0);
    void setValue(int value);
    // Ends the bar's line if one was drawn.
    void finish();

private:
    QTextStream& stream_;
    bool interactive_;
    int low_ = 0;
    int high_ = 100;
    int unit_bytes_ = 0;
    int shown_ = -1; // percent last drawn
    QElapsedTimer clock_;
    bool drawn_ = false;
};

// "[####......]": `percent` of `width` filled.
QString progress_bar(int percent, int width);

// True when stderr is a terminal.
bool stderr_is_terminal();
